#include "registry/user_hives.h"

#include <windows.h>

#include <cwchar>

#include "registry/registry_views.h"

namespace {

constexpr wchar_t kClasses[] = L"SOFTWARE\\Classes";
constexpr size_t kClassesLength = sizeof kClasses / sizeof kClasses[0] - 1;

// The path below the classes hive when `path` lies below SOFTWARE\Classes, else null. Key
// names are compared without regard to case, as the registry does.
const wchar_t* BelowClasses(const wchar_t* path) {
    if (std::wcslen(path) < kClassesLength ||
        CompareStringOrdinal(path, static_cast<int>(kClassesLength), kClasses, static_cast<int>(kClassesLength),
                             TRUE) != CSTR_EQUAL) {
        return nullptr;
    }
    const wchar_t* rest = path + kClassesLength;
    if (*rest == L'\0') return rest;
    return *rest == L'\\' ? rest + 1 : nullptr;
}

}  // namespace

bool UserRootOf(const UserHives& user, const wchar_t* path, NamedRoot* root, const wchar_t** below) {
    const wchar_t* classesPath = BelowClasses(path);
    const std::wstring name = classesPath ? user.sid + L"_Classes" : user.sid;
    const HKEY key = classesPath ? user.classes : user.hive;
    if (!key) {
        return false;
    }
    *root = NamedRoot{key, L"HKU\\" + name, L"HKEY_USERS\\" + name};
    *below = classesPath ? classesPath : path;
    return true;
}

void ApplyRuleToUser(const RegistryPass& userPass, const RegistryRule& rule) {
    NamedRoot root;
    const wchar_t* below = nullptr;
    if (rule.root == HKEY_CURRENT_USER && userPass.user() && UserRootOf(*userPass.user(), rule.path, &root, &below)) {
        ApplyRegistryRule(userPass, root, RegistryRule{rule.root, below, rule.pattern, rule.mode, rule.weight});
    }
}
