#pragma once
// Outlook's, Office's and the VSTO runtime's own records of the add-in, outside the keys its
// installer writes, which keep a freshly installed add-in from loading: the machine's keys of
// the product as Click-to-Run's virtual hives hold them, the per-user settings key, the add-in's
// values in Outlook's lists (load times, the ribbon's validation cache, Office 2013's resiliency
// lists) and VSTO's solution and trust entries. Group Policy's lists (SOFTWARE\Policies) are the
// administrator's and are never touched.

#include <vector>

#include "platform/registry_api.h"
#include "registry/registry_backup.h"
#include "registry/registry_rules.h"
#include "registry/user_hives.h"
#include "report/operations_logger.h"

// Removes those records for the machine and the current user, in both views under WOW64, with
// the paths and patterns that `rules` (the table, ended by a null root) gives the same places:
// keys as the rules remove them, single values through RemoveRegistryValue.
void CleanOfficeRecords(RegistryApi& registry, bool wow64, const RegistryRule* rules, OperationsLogger* logger,
                        RegistryBackup* backup);

// The same records of the current user's, in another user's hives alone.
void CleanUserOfficeRecords(RegistryApi& registry, bool wow64, const RegistryRule* rules, const UserHives& user,
                            OperationsLogger* logger, RegistryBackup* backup);
