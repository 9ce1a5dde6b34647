#include "registry/office_records.h"

#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "platform/planned_paths.h"
#include "platform/registry_key.h"
#include "platform/text.h"
#include "registry/backup_key_name.h"
#include "registry/registry_views.h"
#include "registry/remove_value.h"
#include "registry/user_hives.h"
#include "registry/value_match.h"

namespace {

// Value names and data are read as the rules' search reads them: a value whose name or data
// does not fit is not examined.
constexpr DWORD kValueNameBuffer = 4096;  // characters, the terminator included
constexpr DWORD kValueDataBuffer = 4096;  // bytes

// Click-to-Run Office keeps what its own processes write below HKLM\SOFTWARE in a virtual hive
// of its own, and reads add-ins from there: Microsoft 365's, and Office 2013's.
const wchar_t* const kClickToRunHives[] = {
    L"SOFTWARE\\Microsoft\\Office\\ClickToRun\\REGISTRY\\MACHINE\\",
    L"SOFTWARE\\Microsoft\\Office\\15.0\\ClickToRun\\REGISTRY\\MACHINE\\",
};
constexpr wchar_t kSoftware[] = L"SOFTWARE\\";
constexpr wchar_t kWow6432Node[] = L"Wow6432Node\\";
constexpr wchar_t kOutlookAddins[] = L"SOFTWARE\\Microsoft\\Office\\Outlook\\Addins";
constexpr wchar_t kPolicies[] = L"SOFTWARE\\POLICIES\\";
constexpr wchar_t kSolutionMetadata[] = L"SOFTWARE\\Microsoft\\VSTO\\SolutionMetadata";
constexpr wchar_t kInclusion[] = L"SOFTWARE\\Microsoft\\VSTO\\Security\\Inclusion";

// What marks one of the add-in's values in a list of Outlook's.
enum class ValueMatch {
    Name,        // its name holds the pattern
    BinaryText,  // it is REG_BINARY and its data, as UTF-16LE text, holds it in any letter case
};

struct DerivedRule {
    HKEY root;
    std::wstring path;
    std::wstring pattern;
    int mode;
};

struct ValueList {
    std::wstring path;  // below HKEY_CURRENT_USER
    std::wstring pattern;
    ValueMatch match;
};

// The path below SOFTWARE\ (and a Wow6432Node step) of a machine rule; empty for any other.
std::wstring BelowSoftware(const RegistryRule& rule) {
    const std::wstring path = rule.path;
    if (rule.root != HKEY_LOCAL_MACHINE || !StartsWithText(path, kSoftware)) return std::wstring();
    std::wstring rest = path.substr(std::wcslen(kSoftware));
    if (StartsWithText(rest, kWow6432Node)) rest = rest.substr(std::wcslen(kWow6432Node));
    return rest;
}

const RegistryRule* FindRule(const RegistryRule* rules, HKEY root, const std::wstring& path) {
    for (const RegistryRule* rule = rules; rule->root; ++rule) {
        if (rule->root == root && SameText(rule->path, path)) return rule;
    }
    return nullptr;
}

// The rows derived from the table: the product's machine keys (rules of RemoveKey on a key
// right below SOFTWARE) and the machine's Outlook add-ins key, below both virtual hives, in
// both placements; and the product's keys once more below the user's SOFTWARE.
std::vector<DerivedRule> DerivedRules(const RegistryRule* rules) {
    std::vector<DerivedRule> derived;
    std::set<std::wstring> seen;
    for (const RegistryRule* rule = rules; rule->root; ++rule) {
        const std::wstring below = BelowSoftware(*rule);
        const bool productKey = rule->mode == RemoveKey && !below.empty() && below.find(L'\\') == std::wstring::npos;
        if (!productKey && !SameText(std::wstring(kSoftware) + below, kOutlookAddins)) continue;
        for (const wchar_t* hive : kClickToRunHives) {
            for (const std::wstring& placed : {std::wstring(kSoftware) + below, kSoftware + (kWow6432Node + below)}) {
                const std::wstring path = hive + placed;
                if (seen.insert(FoldedName(path)).second) {
                    derived.push_back({HKEY_LOCAL_MACHINE, path, rule->pattern, rule->mode});
                }
            }
        }
        if (productKey && SameText(rule->path, kSoftware + below) &&
            seen.insert(L"HKCU\\" + FoldedName(rule->path)).second) {
            derived.push_back({HKEY_CURRENT_USER, rule->path, rule->pattern, rule->mode});
        }
    }
    return derived;
}

// The lists whose values name the add-in: those of the table's load-time and validation-cache
// rules, whose entries Outlook writes as values, and the resiliency lists of each Office
// version whose resiliency key no rule removes whole.
std::vector<ValueList> ValueLists(const RegistryRule* rules) {
    std::vector<ValueList> lists;
    for (const RegistryRule* rule = rules; rule->root; ++rule) {
        const std::wstring path = rule->path;
        if (rule->root != HKEY_CURRENT_USER) continue;
        const bool loadTimes = EndsWithText(path, L"\\Outlook\\AddInLoadTimes");
        if (loadTimes || EndsWithText(path, L"\\Common\\CustomUIValidationCache")) {
            lists.push_back({path, rule->pattern, ValueMatch::Name});
        }
        if (!loadTimes) continue;
        const std::wstring resiliency = path.substr(0, path.size() - std::wcslen(L"AddInLoadTimes")) + L"Resiliency";
        if (FindRule(rules, HKEY_CURRENT_USER, resiliency)) continue;
        lists.push_back({resiliency + L"\\DoNotDisableAddinList", rule->pattern, ValueMatch::Name});
        lists.push_back({resiliency + L"\\NotificationReminderAddinData", rule->pattern, ValueMatch::Name});
        lists.push_back({resiliency + L"\\DisabledItems", rule->pattern, ValueMatch::BinaryText});
        lists.push_back({resiliency + L"\\CrashingAddinList", rule->pattern, ValueMatch::BinaryText});
    }
    return lists;
}

// A root that value lists are cleaned below: the current user's, or another user's hive.
struct ValueRoot {
    HKEY key;
    std::wstring loggedName;  // after the mark: "HKCU", "HKU\<SID>"
    std::wstring backupName;  // "HKEY_CURRENT_USER", "HKEY_USERS\<SID>"
};

// The root of the current user's hive (`user` null), or of another user's; none when that user
// has no hive open.
std::vector<ValueRoot> ValueRootsOf(const UserHives* user) {
    if (!user) return {{HKEY_CURRENT_USER, L"HKCU", L"HKEY_CURRENT_USER"}};
    NamedRoot named;
    const wchar_t* below = nullptr;
    if (!UserRootOf(*user, L"SOFTWARE", &named, &below)) return {};
    return {{named.key, named.loggedName, named.backupName}};
}

// The text of a REG_SZ, up to its terminator; false for another type, or for data that is cut
// short (what follows is unknown).
bool TerminatedText(DWORD type, const BYTE* data, DWORD size, std::wstring* text) {
    if (type != REG_SZ || size % sizeof(wchar_t) != 0) return false;
    text->assign(size / sizeof(wchar_t), L'\0');
    for (size_t i = 0; i < text->size(); ++i) (*text)[i] = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
    const size_t end = text->find(L'\0');
    if (end == std::wstring::npos) return false;
    text->resize(end);
    return true;
}

// The braced GUID that a REG_SZ names; empty for anything else.
std::wstring NamedGuid(DWORD type, const BYTE* data, DWORD size) {
    std::wstring text;
    return TerminatedText(type, data, size, &text) && IsBracedGuid(text) ? text : std::wstring();
}

// Removes the values of root\path of `list`, in the view of `access`, that its match picks. A
// key that is there but whose values cannot all be read is reported by its logged path alone, as
// failed. `guids`, if given, receives the solution keys that the removed values name.
void RemoveMatchingValues(const RegistryPass& pass, const ValueRoot& root, const ValueList& list, REGSAM access,
                          std::set<std::wstring>* guids = nullptr) {
    RegistryApi& registry = pass.registry();
    const std::wstring& path = list.path;
    const std::wstring& pattern = list.pattern;
    const ValueMatch match = list.match;
    const std::wstring logged = LoggedKeyPath(root.loggedName, path.c_str(), pass.wow64());
    unique_registry_key key;
    // Reading the values and deleting some: no more rights than that. A list that is a link
    // is Outlook's no more: nothing of its target is read or removed.
    LSTATUS status = OpenKeyRefusingLink(registry, root.key, path.c_str(),
                                         KEY_READ | KEY_SET_VALUE | (access & kRegistryViewBits), key);
    if (KeyIsMissing(status)) return;
    if (status == kKeyIsLink) {
        pass.record(kRemoveRegistryValue, LoggedLinkPath(logged), kPassedOver);
        return;
    }
    RegistryKeyInfo info;
    if (status != ERROR_SUCCESS || registry.queryInfoKey(key.get().key, &info) != ERROR_SUCCESS) {
        pass.record(kRemoveRegistryValue, logged, 0);
        return;
    }
    const bool readData = match == ValueMatch::BinaryText || guids;
    std::vector<wchar_t> name(kValueNameBuffer);
    std::vector<BYTE> data(kValueDataBuffer);
    std::vector<std::wstring> collected;
    bool unread = false;
    // Names are collected first: each deletion shifts the indexes of the values after it.
    for (DWORD index = 0; index < info.values; ++index) {
        DWORD nameLength = kValueNameBuffer;
        DWORD type = REG_NONE;
        DWORD size = kValueDataBuffer;
        status = registry.enumValue(key.get().key, index, name.data(), &nameLength, &type,
                                    readData ? data.data() : nullptr, readData ? &size : nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_MORE_DATA) continue;  // too large to be examined
        if (status != ERROR_SUCCESS) {
            unread = true;
            continue;
        }
        const std::wstring found(name.data(), nameLength);
        const bool chosen = match == ValueMatch::Name
                                ? ValueNameHolds(found, pattern)
                                : type == REG_BINARY && Utf16DataHoldsAnyCase(data.data(), size, pattern);
        if (!chosen) continue;
        if (guids) {
            const std::wstring guid = NamedGuid(type, data.data(), size);
            if (!guid.empty()) guids->insert(FoldedName(guid));
        }
        collected.push_back(found);
    }
    const RecordNames keyNames{logged, root.backupName + L'\\' + path};
    for (const std::wstring& found : collected) {
        RemoveRegistryValue(pass, key.get().key, found, access, keyNames);
    }
    if (unread) pass.record(kRemoveRegistryValue, logged, 0);
}

// True when the Url value of trust entry `name` below `parent` holds the pattern: a REG_SZ
// read whole within the bound, up to its terminator.
bool UrlHolds(RegistryApi& registry, HKEY parent, const std::wstring& name, REGSAM access,
              const std::wstring& pattern) {
    unique_registry_key entry;
    if (OpenKeyRefusingLink(registry, parent, name.c_str(), KEY_READ | (access & kRegistryViewBits), entry) !=
        ERROR_SUCCESS) {
        return false;
    }
    std::vector<BYTE> data(kValueDataBuffer);
    DWORD type = REG_NONE;
    DWORD size = kValueDataBuffer;
    std::wstring text;
    return registry.queryValue(entry.get().key, L"Url", &type, data.data(), &size) == ERROR_SUCCESS &&
           TerminatedText(type, data.data(), size, &text) && ValueNameHolds(text, pattern);
}

}  // namespace

void CleanOfficeRecords(const RegistryPass& anyPass) {
    const RegistryPass pass = anyPass.alone();
    const RegistryRule* rules = pass.rules();
    const UserHives* user = pass.user();
    if (!pass.hasRules()) return;
    for (const DerivedRule& derived : DerivedRules(rules)) {
        if (StartsWithText(derived.path, kPolicies)) continue;  // Group Policy's keys are the administrator's
        const RegistryRule rule{derived.root, derived.path.c_str(), derived.pattern.c_str(), derived.mode, 0};
        if (!user) {
            ApplyRegistryRule(pass, rule);
        } else if (rule.root == HKEY_CURRENT_USER) {
            ApplyRuleToUser(pass, rule);
        }
    }

    const std::vector<ValueRoot> roots = ValueRootsOf(user);
    for (const ValueList& list : ValueLists(rules)) {
        if (StartsWithText(list.path, kPolicies)) continue;
        for (const ValueRoot& root : roots) {
            for (REGSAM access : pass.viewAccesses()) {
                RemoveMatchingValues(pass, root, list, access);
            }
        }
    }

    // VSTO's records: a value named by the manifest's URL, naming the solution's key beside it,
    // and the trust entry whose Url is the manifest's. The pattern is that of the add-in's
    // Outlook registration.
    const RegistryRule* addins = FindRule(rules, HKEY_CURRENT_USER, kOutlookAddins);
    if (!addins) return;
    const std::wstring pattern = addins->pattern;
    for (const ValueRoot& root : roots) {
        const NamedRoot named{root.key, root.loggedName, root.backupName};
        const auto removeChosen = [&](const wchar_t* path, const SubkeyChooser& chooser) {
            if (user) {
                RemoveChosenSubkeys(pass, named, path, chooser);
            } else {
                RemoveChosenSubkeys(pass, HKEY_CURRENT_USER, path, chooser);
            }
        };
        std::set<std::wstring> guids;
        for (REGSAM access : pass.viewAccesses()) {
            RemoveMatchingValues(pass, root, ValueList{kSolutionMetadata, pattern, ValueMatch::Name}, access, &guids);
        }
        if (!guids.empty()) {
            const SubkeyChooser namedByValue = [&](RegistryApi&, HKEY, const std::wstring& name, REGSAM) {
                return guids.count(FoldedName(name)) != 0;
            };
            removeChosen(kSolutionMetadata, namedByValue);
        }
        const SubkeyChooser trusted = [&](RegistryApi& api, HKEY parent, const std::wstring& name, REGSAM access) {
            return UrlHolds(api, parent, name, access, pattern);
        };
        removeChosen(kInclusion, trusted);
    }
}
