#pragma once
// The registry's part of a run, in its order, for the machine and then for each other user:
// the installer's products found, the rules applied, the installer's registration of those
// products removed, then Outlook's and Office's records of the add-in.

#include <set>
#include <string>

#include "installer/registration.h"
#include "registry/registry_pass.h"
#include "report/progress_cleaner.h"

// The machine's and the current user's registry, through the machine's pass: the products are
// found first (the rules delete the keys that name them), then the rules are applied, their
// searches shared between rules (registry/candidate_knowledge.h), then what the installer keeps
// about those products goes, below UserData\<SID> and Managed\<SID> of the SIDs `owners` allows
// (installer/registration.h), then Office's records (registry/office_records.h). The progress
// (may be null) follows the rules. Returns the products, for their files and the other users.
InstalledProducts CleanRegistry(const RegistryPass& pass, ProgressCleaner* progress,
                                const InstallerDataOwners& owners = InstallerDataOwners());

// The same, each rule searching for itself alone: the reference the cleaner above is held to.
InstalledProducts CleanRegistryRuleByRule(const RegistryPass& pass, ProgressCleaner* progress,
                                          const InstallerDataOwners& owners = InstallerDataOwners());

// Another user's part, through a user's pass (RegistryPass::forUser), once the machine's is done:
// each rule of the current user's applied to the user's hives, the progress after each of those
// rules (weights done, sum of theirs); then the installer's keys in the user's hive of the
// `trusted` codes (InstalledProducts::inHive of the machine's part: the machine's codes and
// those of the user's own installer data) and of those the user's own hive names, then Office's
// records there.
void CleanUserRegistry(const RegistryPass& userPass, const std::set<std::wstring>& trusted, ProgressCleaner* progress);
