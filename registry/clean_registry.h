#pragma once
// The registry rules applied by a pass, in table order, each key they find removed, logged and
// backed up, the progress advanced rule by rule. The installer's records and Office's come
// after them; the session puts the steps in their order.

#include "registry/registry_pass.h"
#include "report/progress_cleaner.h"

// Applies every rule of the machine's pass, in both views under WOW64; or, for a user's pass
// (RegistryPass::forUser), every rule of the current user's (root HKEY_CURRENT_USER) to that
// user's hives. After each rule the progress (may be null) is (sum of the weights done, sum of
// those of the rules applied).
// A pass that shares its knowledge starts it on each rule in turn: a search made for one rule
// also answers the later rules that search the same keys, as long as nothing they could hold
// was deleted in between; the outcome is that of the rules applied one by one.
void ApplyRegistryRules(const RegistryPass& pass, ProgressCleaner* progress);
