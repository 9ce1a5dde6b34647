#pragma once
// The registry cleaner: applies every registry rule, in table order, and removes the keys
// of the product they find, logging each removal and advancing the progress rule by rule.

#include "platform/registry_api.h"
#include "installer/registration.h"
#include "registry/registry_backup.h"
#include "registry/registry_rules.h"
#include "registry/user_hives.h"
#include "report/operations_logger.h"
#include "report/progress_cleaner.h"

// Cleans the registry of the machine and of the current user through `registry`, in both
// views under WOW64 (`wow64`), for a table of rules ended by a row whose root is null, saving
// each key to `backup` before it is deleted. Any of the sinks may be null. After the rules,
// what Windows Installer keeps about the add-in's products goes (installer/registration.h),
// below UserData\<SID> and Managed\<SID> of the SIDs `owners` allows, then Outlook's and
// Office's own records of the add-in (registry/office_records.h); `installed`, if given,
// receives those products, for their files and for the other users.
// After each rule the progress is (sum of the weights done, sum of all).
// A search made for one rule also answers the later rules that search the same keys, as long
// as nothing they could hold was deleted in between; the outcome is that of the rules applied
// one by one.
void CleanRegistry(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                   const RegistryRule* rules = RegistryRuleTable(), RegistryBackup* backup = nullptr);
void CleanRegistry(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                   const RegistryRule* rules, RegistryBackup* backup, InstalledProducts* installed,
                   const InstallerDataOwners& owners = InstallerDataOwners());

// The same, each rule searching for itself alone: the reference the cleaner above is held to.
void CleanRegistryRuleByRule(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                             const RegistryRule* rules = RegistryRuleTable(), RegistryBackup* backup = nullptr);

// Another user's part, once the machine's is done: each rule of the current user's applied to
// `user`'s hives, the progress after each of those rules (weights done, sum of theirs); then the
// installer's keys in the user's hive of the `trusted` codes (InstalledProducts::inHive of the
// machine's part: the machine's codes and those of the user's own installer data) and of those
// the user's own hive names, then Office's records there.
void CleanUserRegistry(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                       const RegistryRule* rules, RegistryBackup* backup, const UserHives& user,
                       const std::set<std::wstring>& trusted);
