#pragma once
// Outlook's, Office's and the VSTO runtime's own records of the add-in, outside the keys its
// installer writes, which keep a freshly installed add-in from loading: the machine's keys of
// the product as Click-to-Run's virtual hives hold them, the per-user settings key, the add-in's
// values in Outlook's lists (load times, the ribbon's validation cache, Office 2013's resiliency
// lists) and VSTO's solution and trust entries. Group Policy's lists (SOFTWARE\Policies) are the
// administrator's and are never touched.

#include <vector>

#include "registry/registry_pass.h"

// Removes those records, in each view the pass cleans, with the paths and patterns that the
// pass's rules give the same places: keys as the rules remove them, single values through
// RemoveRegistryValue. The machine's pass cleans the machine's and the current user's records;
// a user's pass (RegistryPass::forUser) the current user's records in that user's hives alone.
// Each search is for itself: these keys are none of the rules'.
void CleanOfficeRecords(const RegistryPass& pass);
