#pragma once
// Another user's registry, as the cleaner sees it: the user's hive (what HKCU is to that user)
// and the user's classes hive (what HKCU\SOFTWARE\Classes is to that user), each open wherever
// it happens to be loaded, and the names the log and the backup give them.

#include <string>
#include <vector>

#include "platform/registry_api.h"
#include "registry/registry_pass.h"
#include "registry/registry_rules.h"
#include "registry/rule_in_view.h"

struct UserHives {
    std::wstring sid;        // "S-1-5-21-..."
    HKEY hive = nullptr;     // null when the user has none open: the user's rules are passed over
    HKEY classes = nullptr;  // null when the user has no classes hive
};

// Where a path of the current user's lies for another user: below SOFTWARE\Classes in the
// user's classes hive, anything else in the user's hive. False when the user has no such hive
// open; otherwise `root` names it as the log and the backup do, and `below` is the path inside it.
bool UserRootOf(const UserHives& user, const wchar_t* path, NamedRoot* root, const wchar_t** below);

// Applies one rule of the current user's (root HKEY_CURRENT_USER) to the user of a user's pass
// (RegistryPass::forUser): rules below
// SOFTWARE\Classes in the user's classes hive, all others in the user's hive, in both views
// under WOW64. Keys are logged as "HKU\<SID>\..." (or "HKU\<SID>_Classes\...") and saved to the
// backup as "HKEY_USERS\<SID>\...", where they live while the user is logged on. Rules of
// other roots are the machine's, and pass the user over.
void ApplyRuleToUser(const RegistryPass& userPass, const RegistryRule& rule);
