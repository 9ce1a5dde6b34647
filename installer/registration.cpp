#include "installer/registration.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <string_view>

#include "installer/codes.h"
#include "platform/registry_key.h"
#include "platform/registry_value.h"
#include "platform/text.h"
#include "platform/user_profiles.h"
#include "registry/candidate_knowledge.h"
#include "registry/key_tree_mentions.h"
#include "registry/registry_views.h"
#include "registry/user_hives.h"

namespace {

constexpr wchar_t kInstallerData[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer";
constexpr wchar_t kUserData[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData";
constexpr wchar_t kManaged[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\Managed";
constexpr wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// The 32-bit view's entries by name, as rules 5 and 6 name that view's keys: so a 64-bit build of
// the cleaner finds a 32-bit package's entry too. Under WOW64 the views reach it first.
constexpr wchar_t kUninstall32[] = L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kMachineInstaller[] = L"SOFTWARE\\Classes\\Installer";  // HKCR\Installer
// The classes below HKLM and HKCU that HKCR merges; a rule of HKCR is read in each on its own.
constexpr wchar_t kClassesStep[] = L"SOFTWARE\\Classes\\";
constexpr wchar_t kUserInstaller[] = L"SOFTWARE\\Microsoft\\Installer";  // a user's, below HKCU
constexpr wchar_t kInstallerStep[] = L"Installer\\";
constexpr wchar_t kProductsStep[] = L"\\Products";
constexpr wchar_t kUserDataStep[] = L"\\UserData\\";

constexpr DWORD kKeyNameBuffer = 512;  // key names are at most 255 characters

// Where `step` begins in `text`, letter case aside; npos when it does not occur.
size_t FindStep(std::wstring_view text, std::wstring_view step) {
    for (size_t at = 0; at + step.size() <= text.size(); ++at) {
        if (SameText(text.substr(at, step.size()), step)) return at;
    }
    return std::wstring_view::npos;
}

// The names of the subkeys of root\path, opened with `access` (a view's reading access).
std::vector<std::wstring> SubkeyNames(RegistryApi& registry, HKEY root, const std::wstring& path, REGSAM access) {
    std::vector<std::wstring> names;
    unique_registry_key key;
    RegistryKeyInfo info;
    if (OpenRegistryKey(registry, root, path.c_str(), access, key) != ERROR_SUCCESS ||
        registry.queryInfoKey(key.get().key, &info) != ERROR_SUCCESS) {
        return names;
    }
    wchar_t name[kKeyNameBuffer];
    for (DWORD index = 0; index < info.subkeys; ++index) {
        DWORD length = kKeyNameBuffer;
        if (registry.enumKey(key.get().key, index, name, &length) == ERROR_SUCCESS) {
            names.emplace_back(name, length);
        }
    }
    return names;
}

// The SIDs below UserData (or Managed) in any view of the pass that `owners` allows, each once.
std::vector<std::wstring> SidsBelow(const RegistryPass& pass, const wchar_t* path, const InstallerDataOwners& owners) {
    std::vector<std::wstring> sids;
    for (REGSAM access : pass.viewAccesses()) {
        for (std::wstring& sid : SubkeyNames(pass.registry(), HKEY_LOCAL_MACHINE, path, access)) {
            if (owners.allows(sid) && std::none_of(sids.begin(), sids.end(),
                                                   [&](const std::wstring& known) { return SameText(known, sid); })) {
                sids.push_back(std::move(sid));
            }
        }
    }
    return sids;
}

// The distinct patterns of the rule table.
std::vector<std::wstring> TablePatterns(const RegistryRule* rules) {
    std::vector<std::wstring> patterns;
    for (const RegistryRule* rule = rules; rule && rule->root; ++rule) {
        if (std::find(patterns.begin(), patterns.end(), rule->pattern) == patterns.end()) {
            patterns.push_back(rule->pattern);
        }
    }
    return patterns;
}

bool HoldsAny(const std::wstring& text, const std::vector<std::wstring>& patterns) {
    return std::any_of(patterns.begin(), patterns.end(),
                       [&](const std::wstring& pattern) { return text.find(pattern) != std::wstring::npos; });
}

// An entry of Programs and Features that names the product: its DisplayName holds a pattern.
bool DisplayNameHolds(RegistryApi& registry, HKEY parent, const std::wstring& name, REGSAM access,
                      const std::vector<std::wstring>& patterns) {
    unique_registry_key entry;
    std::wstring displayName;
    return OpenKeyRefusingLink(registry, parent, name.c_str(), KEY_READ | (access & kRegistryViewBits), entry) ==
               ERROR_SUCCESS &&
           ReadStringValue(registry, entry.get().key, L"DisplayName", &displayName, kPlainString) &&
           HoldsAny(displayName, patterns);
}

// The installer's rules for Products keys: below an "Installer" key, ending in "Products".
bool IsProductsRule(const RegistryRule& rule) {
    return FindStep(rule.path, kInstallerStep) != std::wstring_view::npos && EndsWithText(rule.path, kProductsStep) &&
           rule.mode != RemoveKey;
}

// Each chooser asks about one set of codes: the machine's keys go for the trusted codes alone,
// a user's own keys for those and the codes named in that user's hive.
SubkeyChooser NamedByProduct(const std::set<std::wstring>& codes) {
    return [&codes](RegistryApi&, HKEY, const std::wstring& name, REGSAM) {
        return codes.count(NormalPackedCode(name)) != 0;
    };
}

SubkeyChooser UsedByProductsAlone(const std::set<std::wstring>& codes) {
    return [&codes](RegistryApi& api, HKEY parent, const std::wstring& name, REGSAM access) {
        return !codes.empty() && EveryValueNamesOneOf(api, parent, name, access, codes);
    };
}

SubkeyChooser EntryOfProduct(const std::set<std::wstring>& codes, const std::vector<std::wstring>& patterns) {
    return [&codes, &patterns](RegistryApi& api, HKEY parent, const std::wstring& name, REGSAM access) {
        return codes.count(PackedCode(name)) != 0 || DisplayNameHolds(api, parent, name, access, patterns);
    };
}

// The installer's keys in the hive of the pass for `codes`: the current user's (the machine's
// pass) or the user's of a user's pass. Features and upgrade codes only when some code is known;
// the Programs and Features entries that name the product always.
void RemoveUserKeys(const RegistryPass& pass, const std::set<std::wstring>& codes,
                    const std::vector<std::wstring>& patterns) {
    const UserHives* user = pass.user();
    const auto remove = [&](const std::wstring& path, const SubkeyChooser& chooser) {
        if (!user) {
            RemoveChosenSubkeys(pass, HKEY_CURRENT_USER, path.c_str(), chooser);
            return;
        }
        NamedRoot root;
        const wchar_t* below = nullptr;
        if (UserRootOf(*user, path.c_str(), &root, &below)) {
            RemoveChosenSubkeys(pass, root, below, chooser);
        }
    };
    const std::wstring installer = kUserInstaller;
    if (!codes.empty()) {
        remove(installer + L"\\Features", NamedByProduct(codes));
        remove(installer + L"\\UpgradeCodes", UsedByProductsAlone(codes));
    }
    remove(kUninstall, EntryOfProduct(codes, patterns));
}

std::vector<std::wstring> Braced(const std::set<std::wstring>& packed) {
    std::vector<std::wstring> codes;
    for (const std::wstring& code : packed) codes.push_back(BracedCode(code));
    return codes;
}

// The codes of `sid` in `bySid` (letter case aside), or none.
const std::set<std::wstring>& CodesOf(const std::map<std::wstring, std::set<std::wstring>>& bySid,
                                      const std::wstring& sid) {
    static const std::set<std::wstring> none;
    for (const auto& [owner, codes] : bySid) {
        if (SameText(owner, sid)) return codes;
    }
    return none;
}

class ProductSearch {
public:
    ProductSearch(const RegistryPass& pass, const InstallerDataOwners& owners)
        : pass_(pass),
          registry_(pass.registry()),
          rules_(pass.rules()),
          owners_(owners),
          patterns_(TablePatterns(pass.rules())) {}

    InstalledProducts run() {
        const std::vector<std::wstring> sids = SidsBelow(pass_, kUserData, owners_);
        std::set<std::wstring>& trusted = found_.packed;
        for (const RegistryRule* rule = rules_; rule && rule->root; ++rule) {
            if (!IsProductsRule(*rule)) continue;
            const std::wstring_view path = rule->path;
            const size_t userData = FindStep(path, kUserDataStep);
            if (userData != std::wstring_view::npos && rule->root == HKEY_LOCAL_MACHINE) {
                // The rule names the machine's data; every user's is searched alike, for that
                // user alone: what their own per-user install wrote there, they chose.
                for (const std::wstring& sid : sids) {
                    searchProducts(HKEY_LOCAL_MACHINE, std::wstring(kUserData) + L'\\' + sid + L"\\Products", *rule,
                                   SameText(sid, kSystemAccountSid) ? trusted : found_.userData[sid]);
                }
                continue;
            }
            if (rule->root == HKEY_CLASSES_ROOT) {
                // HKCR shows the user's classes over the machine's: each side is read on its own.
                searchProducts(HKEY_LOCAL_MACHINE, kClassesStep + std::wstring(rule->path), *rule, trusted);
                searchProducts(HKEY_CURRENT_USER, kClassesStep + std::wstring(rule->path), *rule, found_.ownHive[L""]);
                continue;
            }
            if (rule->root != HKEY_CURRENT_USER) {
                searchProducts(rule->root, rule->path, *rule, trusted);
                continue;
            }
            searchProducts(rule->root, rule->path, *rule, found_.ownHive[L""]);
        }
        searchEntries(HKEY_LOCAL_MACHINE, kUninstall, trusted);
        searchEntries(HKEY_LOCAL_MACHINE, kUninstall32, trusted);
        searchEntries(HKEY_CURRENT_USER, kUninstall, found_.ownHive[L""]);
        // A code the machine names is the machine's; what is left names one user's keys alone.
        for (auto user = found_.userData.begin(); user != found_.userData.end();) {
            for (const std::wstring& code : trusted) user->second.erase(code);
            user = user->second.empty() ? found_.userData.erase(user) : std::next(user);
        }
        // The current user's own data names codes for their hive, HKEY_CURRENT_USER.
        const std::set<std::wstring>& self = CodesOf(found_.userData, owners_.self);
        found_.ownHive[L""].insert(self.begin(), self.end());
        for (const std::wstring& code : trusted) found_.ownHive[L""].erase(code);
        if (found_.ownHive[L""].empty()) found_.ownHive.clear();
        readPackages(sids);
        return std::move(found_);
    }

    // The codes the hive of the user of a user's pass names, as the current user's are found,
    // less `trusted`.
    std::set<std::wstring> runForUser(const std::set<std::wstring>& trusted) {
        const UserHives& user = *pass_.user();
        std::set<std::wstring> own;
        for (const RegistryRule* rule = rules_; rule && rule->root; ++rule) {
            NamedRoot root;
            const wchar_t* below = nullptr;
            if (rule->root == HKEY_CURRENT_USER && IsProductsRule(*rule) &&
                UserRootOf(user, rule->path, &root, &below)) {
                searchProducts(root.key, below, *rule, own);
            }
        }
        if (user.hive) searchEntries(user.hive, kUninstall, own);
        for (const std::wstring& code : trusted) own.erase(code);
        return own;
    }

private:
    void searchProducts(HKEY root, const std::wstring& path, const RegistryRule& rule, std::set<std::wstring>& into) {
        for (REGSAM access : pass_.viewAccesses()) {
            unique_registry_key products;
            if (OpenRegistryKey(registry_, root, path.c_str(), access, products) != ERROR_SUCCESS) continue;
            for (const std::wstring& name : SubkeyNames(registry_, products.get().key, L"", access)) {
                const std::wstring code = NormalPackedCode(name);
                if (code.empty() || into.count(code)) continue;  // a key not named by a code names no product
                bool mentions = name.find(rule.pattern) != std::wstring::npos;
                unique_registry_key product;
                if (!mentions && rule.mode == MatchNameOrContent &&
                    OpenKeyRefusingLink(registry_, products.get().key, name.c_str(), access, product) ==
                        ERROR_SUCCESS) {
                    mentions = KeyTreeMentions(registry_, product.get().key, rule.pattern, access);
                }
                if (mentions) into.insert(code);
            }
        }
    }

    void searchEntries(HKEY root, const wchar_t* path, std::set<std::wstring>& into) {
        for (REGSAM access : pass_.viewAccesses()) {
            unique_registry_key entries;
            if (OpenRegistryKey(registry_, root, path, access, entries) != ERROR_SUCCESS) continue;
            for (const std::wstring& name : SubkeyNames(registry_, entries.get().key, L"", access)) {
                const std::wstring code = PackedCode(name);
                if (!code.empty() && DisplayNameHolds(registry_, entries.get().key, name, access, patterns_)) {
                    into.insert(code);
                }
            }
        }
    }

    void readPackages(const std::vector<std::wstring>& sids) {
        for (const std::wstring& sid : sids) {
            for (const std::wstring& code : found_.inUserData(sid)) {
                const std::wstring path =
                    std::wstring(kUserData) + L'\\' + sid + L"\\Products\\" + code + L"\\InstallProperties";
                for (REGSAM access : pass_.viewAccesses()) {
                    unique_registry_key properties;
                    std::wstring package;
                    if (OpenRegistryKey(registry_, HKEY_LOCAL_MACHINE, path.c_str(), access, properties) ==
                            ERROR_SUCCESS &&
                        ReadStringValue(registry_, properties.get().key, L"LocalPackage", &package, kPlainString) &&
                        !package.empty() &&
                        std::find(found_.localPackages.begin(), found_.localPackages.end(), package) ==
                            found_.localPackages.end()) {
                        found_.localPackages.push_back(package);
                    }
                }
            }
        }
    }

    const RegistryPass& pass_;
    RegistryApi& registry_;
    const RegistryRule* rules_;
    const InstallerDataOwners& owners_;
    std::vector<std::wstring> patterns_;
    InstalledProducts found_;
};

}  // namespace

std::vector<std::wstring> InstalledProducts::bracedCodes() const { return Braced(packed); }

std::vector<std::wstring> InstalledProducts::bracedUserCodes(const std::wstring& sid) const {
    return Braced(CodesOf(userData, sid));
}

std::set<std::wstring> InstalledProducts::inHive(const std::wstring& sid) const {
    std::set<std::wstring> codes = packed;
    for (const auto* own : {&CodesOf(ownHive, sid), &CodesOf(userData, sid)}) codes.insert(own->begin(), own->end());
    return codes;
}

std::set<std::wstring> InstalledProducts::inUserData(const std::wstring& sid) const {
    std::set<std::wstring> codes = packed;
    const std::set<std::wstring>& own = CodesOf(userData, sid);
    codes.insert(own.begin(), own.end());
    return codes;
}

bool InstallerDataOwners::allows(const std::wstring& sid) const {
    return everyone ||
           std::any_of(sids.begin(), sids.end(), [&](const std::wstring& allowed) { return SameText(allowed, sid); });
}

bool OnlyProductsNamed(const KeyValueNames& key, const std::set<std::wstring>& products) {
    return key.complete && key.subkeys == 0 && !key.names.empty() &&
           std::all_of(key.names.begin(), key.names.end(),
                       [&](const std::wstring& name) { return products.count(NormalPackedCode(name)) != 0; });
}

bool EveryValueNamesOneOf(RegistryApi& registry, HKEY parent, const std::wstring& name, REGSAM access,
                          const std::set<std::wstring>& products) {
    unique_registry_key key;
    RegistryKeyInfo info;
    if (OpenKeyRefusingLink(registry, parent, name.c_str(), KEY_READ | (access & kRegistryViewBits), key) !=
            ERROR_SUCCESS ||
        registry.queryInfoKey(key.get().key, &info) != ERROR_SUCCESS) {
        return false;
    }
    KeyValueNames read;
    read.subkeys = info.subkeys;
    wchar_t valueName[kKeyNameBuffer];
    for (DWORD index = 0; index < info.values && read.subkeys == 0; ++index) {
        DWORD length = kKeyNameBuffer;
        if (registry.enumValue(key.get().key, index, valueName, &length, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        read.names.emplace_back(valueName, length);
    }
    read.complete = read.names.size() == info.values;
    return OnlyProductsNamed(read, products);
}

InstallerDataOwners InstallerDataOwnersOfRun(bool allUsers, const std::wstring& ownSid) {
    InstallerDataOwners owners;
    owners.everyone = allUsers;
    owners.self = ownSid;
    if (!allUsers) {
        owners.sids.push_back(L"S-1-5-18");
        if (!ownSid.empty()) owners.sids.push_back(ownSid);
    }
    return owners;
}

InstalledProducts FindInstalledProducts(const RegistryPass& pass, const InstallerDataOwners& owners) {
    return ProductSearch(pass, owners).run();
}

std::set<std::wstring> FindOwnProducts(const RegistryPass& userPass, const std::set<std::wstring>& trusted) {
    if (!userPass.user()) return {};
    return ProductSearch(userPass, InstallerDataOwners()).runForUser(trusted);
}

void RemoveInstallerRegistration(const RegistryPass& pass, const InstalledProducts& products,
                                 const InstallerDataOwners& owners) {
    const std::set<std::wstring>& packed = products.packed;
    const std::vector<std::wstring> patterns = TablePatterns(pass.rules());
    CandidateKnowledge* knowledge = pass.knowledge();
    const auto remove = [&](const std::wstring& path, const SubkeyChooser& chooser) {
        RemoveChosenSubkeys(pass, HKEY_LOCAL_MACHINE, path.c_str(), chooser);
    };
    const std::wstring machine = kMachineInstaller;
    if (!packed.empty()) {
        remove(machine + L"\\Features", NamedByProduct(packed));
    }
    // Each SID's data, for the machine's codes and that user's own.
    if (!packed.empty() || !products.userData.empty()) {
        for (const std::wstring& sid : SidsBelow(pass, kUserData, owners)) {
            const std::set<std::wstring> codes = products.inUserData(sid);
            if (codes.empty()) continue;
            const std::wstring data = std::wstring(kUserData) + L'\\' + sid;
            remove(data + L"\\Products", NamedByProduct(codes));
            // The rule for the system's components read each of them already: what it read of
            // those it left is asked first.
            const std::wstring components = data + L"\\Components";
            const std::wstring family = CandidateKnowledge::FamilyName(HKEY_LOCAL_MACHINE, components);
            const SubkeyChooser alone = UsedByProductsAlone(codes);
            const SubkeyChooser componentOfProductsAlone = [&](RegistryApi& api, HKEY parent, const std::wstring& name,
                                                               REGSAM access) {
                const KeyValueNames* known = knowledge ? knowledge->valueNames(family, name, access) : nullptr;
                return known && known->complete ? OnlyProductsNamed(*known, codes) : alone(api, parent, name, access);
            };
            remove(components, componentOfProductsAlone);
        }
    }
    if (!packed.empty()) {
        remove(machine + L"\\UpgradeCodes", UsedByProductsAlone(packed));
        remove(std::wstring(kInstallerData) + L"\\UpgradeCodes", UsedByProductsAlone(packed));
        // What administrators assigned to a user: for the machine's codes alone.
        for (const std::wstring& sid : SidsBelow(pass, kManaged, owners)) {
            const std::wstring managed = std::wstring(kManaged) + L'\\' + sid + L"\\Installer";
            remove(managed + L"\\Products", NamedByProduct(packed));
            remove(managed + L"\\Features", NamedByProduct(packed));
        }
    }
    // An entry that names the product goes even when no product code led to it.
    remove(kUninstall, EntryOfProduct(packed, patterns));
    remove(kUninstall32, EntryOfProduct(packed, patterns));
    RemoveUserKeys(pass, products.inHive(L""), patterns);
}

void RemoveUserInstallerRegistration(const RegistryPass& userPass, const std::set<std::wstring>& codes) {
    if (!userPass.user()) return;
    RemoveUserKeys(userPass.alone(), codes, TablePatterns(userPass.rules()));
}
