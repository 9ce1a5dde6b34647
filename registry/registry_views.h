#pragma once

#include "platform/registry_api.h"
#include "registry/registry_pass.h"
#include "registry/rule_in_view.h"

// Applies one rule in each view the pass cleans (under WOW64 the 64-bit view and then the 32-bit
// view, both passes always; otherwise the default view). The pass's knowledge, when it has one,
// is already started on this rule.
void ApplyRegistryRule(const RegistryPass& pass, const RegistryRule& rule);

// The same below a root of another user's, named as `root` says; `rule.path` is the path below
// it. Each view searches for itself alone: what a pass knows about candidates is about the
// current user's and the machine's keys.
void ApplyRegistryRule(const RegistryPass& pass, const NamedRoot& root, const RegistryRule& rule);

// Removes the direct subkeys of root\path that `chooser` picks, in the views and with the log
// lines and backup of a rule.
void RemoveChosenSubkeys(const RegistryPass& pass, HKEY root, const wchar_t* path, const SubkeyChooser& chooser);

// The same below another user's root, named as for that user's rules; each search for itself.
void RemoveChosenSubkeys(const RegistryPass& pass, const NamedRoot& root, const wchar_t* path,
                         const SubkeyChooser& chooser);
