#pragma once
// What Windows Installer keeps about an installed product besides the keys the rule table
// cleans: the product's features, its per-user data, the components and upgrade codes that
// only it uses, its Programs and Features entry, its managed (advertised) keys, and the
// cached package and icons on disk.
//
// The rules delete the installer's Products keys, which are what names the add-in's product
// codes, so the codes are found first, before the rules run, and the rest is removed after them.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/registry_api.h"
#include "registry/key_tree_mentions.h"
#include "registry/registry_pass.h"

// The add-in's products as the installer registered them.
struct InstalledProducts {
    // Packed product codes (upper case) named by the machine's own records, which only
    // administrators and the installer service write: these drive removals everywhere.
    std::set<std::wstring> packed;
    // Codes named only in one user's own hive ("" for HKEY_CURRENT_USER, else the user's SID):
    // anyone can write those, so they drive removals in that hive alone. HKEY_CURRENT_USER's
    // also holds those of `userData` of the user the program runs as.
    std::map<std::wstring, std::set<std::wstring>> ownHive;
    // Codes named only in UserData\<SID>\Products of one user (never the machine's S-1-5-18),
    // by SID. The installer service writes there, but for an install that the user chose (its
    // code, its name, its source): they drive removals in that user's installer data, hives,
    // icons and cached packages alone.
    std::map<std::wstring, std::set<std::wstring>> userData;
    // Each product's LocalPackage, as written, in the order found: the machine's codes' of every
    // SID's data read, and each user's own codes' of that user's data.
    std::vector<std::wstring> localPackages;

    // The braced codes of `packed`, in packed order.
    std::vector<std::wstring> bracedCodes() const;
    // The braced codes of `userData` of `sid`, in packed order.
    std::vector<std::wstring> bracedUserCodes(const std::wstring& sid) const;
    // The codes whose keys may go in the hive of `sid` ("" for HKEY_CURRENT_USER).
    std::set<std::wstring> inHive(const std::wstring& sid) const;
    // The codes whose keys may go below UserData\<sid>: the machine's and those of that
    // user's own data.
    std::set<std::wstring> inUserData(const std::wstring& sid) const;
};

// Whose installer data below UserData\<SID> and Managed\<SID> a run may read and remove: every
// SID's for a run for every user, otherwise only those listed (the user the program runs as,
// and the machine's S-1-5-18). Other users' data, and their cached packages, stay.
struct InstallerDataOwners {
    bool everyone = true;
    std::vector<std::wstring> sids;
    // The user the program runs as, whose hive is HKEY_CURRENT_USER (empty when unknown).
    std::wstring self;

    bool allows(const std::wstring& sid) const;
};

// The owners for a run: everyone when it cleans every user, else `ownSid` (the user the program
// runs as; none when unknown) and the machine. `ownSid` is `self` either way.
InstallerDataOwners InstallerDataOwnersOfRun(bool allUsers, const std::wstring& ownSid);

// The product codes of every installer Products key that a Products rule of the pass matches,
// and of every Programs and Features entry whose DisplayName holds one of the rules' patterns.
// Trusted (`packed`), as only administrators and the installer service write them for the
// machine: HKLM\SOFTWARE\Classes\Installer\Products (read there, not through HKCR, which merges
// the user's classes over it), UserData\S-1-5-18\Products, other HKLM Products rules, and the
// machine's entries in both views. UserData\<SID>\Products of a user's SID that `owners` allows
// names codes for that user alone (`userData`); the current user's Products keys and entries
// name codes for that hive only (`ownHive[""]`). Keys whose names are not codes name no
// product. Each trusted product's LocalPackage is read from UserData\<SID> of the SIDs
// `owners` allows, each user's own product's from that user's.
InstalledProducts FindInstalledProducts(const RegistryPass& pass,
                                        const InstallerDataOwners& owners = InstallerDataOwners());

// The codes that the Products keys and entries of the user of a user's pass name, found as the
// current user's are, less those of `trusted`: they drive removals in that user's hive alone.
std::set<std::wstring> FindOwnProducts(const RegistryPass& userPass, const std::set<std::wstring>& trusted);

// Removes what the installer keeps for `products`, in every view as the rules do: Features,
// UserData\<SID>\Products, the UserData\<SID>\Components and UpgradeCodes keys whose every value
// names one of `products`, Managed\<SID>\Installer\Products and Features (of the SIDs `owners`
// allows), and the Programs and Features entries of the products or whose DisplayName holds
// one of the rules' patterns; then the current user's Features, UpgradeCodes and entries. The
// machine's keys (Managed\<SID>, which administrators write, included) go for the trusted
// codes alone, a user's data below UserData\<SID> also for that user's own codes, the current
// user's hive also for the codes named in that hive. Each key is recorded as the pass records its
// removals. What the rules' search of the system's components read, when the pass shares its
// knowledge, answers for the components it left.
void RemoveInstallerRegistration(const RegistryPass& pass, const InstalledProducts& products,
                                 const InstallerDataOwners& owners = InstallerDataOwners());

// The same keys in the hives of the user of a user's pass: their Features and UpgradeCodes of
// `codes` (those of InstalledProducts::inHive and those FindOwnProducts found there), and their
// entries of those codes or that name the product.
void RemoveUserInstallerRegistration(const RegistryPass& userPass, const std::set<std::wstring>& codes);

// True when the key `name` below `parent` has no subkeys, at least one value, and every value's
// name is the packed code of one of `products` (letter case aside): a component or upgrade code
// that no other product uses. Anything that cannot be read keeps the key.
bool EveryValueNamesOneOf(RegistryApi& registry, HKEY parent, const std::wstring& name, REGSAM access,
                          const std::set<std::wstring>& products);

// The same verdict on what a search read of the key.
bool OnlyProductsNamed(const KeyValueNames& key, const std::set<std::wstring>& products);
