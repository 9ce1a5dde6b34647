#pragma once
// What Windows Installer keeps about an installed product besides the keys the rule table
// cleans: the product's features, its per-user data, the components and upgrade codes that
// only it uses, its Programs and Features entry, its managed (advertised) keys, and the
// cached package and icons on disk.
//
// The rules delete the installer's Products keys, which are what names the add-in's product
// codes, so the codes are found first, before the rules run, and the rest is removed after them.

#include <set>
#include <string>
#include <vector>

#include "platform/registry_api.h"
#include "registry/candidate_knowledge.h"
#include "registry/key_tree_mentions.h"
#include "registry/registry_backup.h"
#include "registry/registry_rules.h"
#include "registry/user_hives.h"
#include "report/operations_logger.h"

// The add-in's products as the installer registered them.
struct InstalledProducts {
    std::set<std::wstring> packed;            // packed product codes, upper case
    std::vector<std::wstring> localPackages;  // each product's LocalPackage, as written, in the order found

    // The braced product codes, in packed order.
    std::vector<std::wstring> bracedCodes() const;
};

// The product codes of every installer Products key that a Products rule of `rules` matches,
// below the machine's keys, the current user's and each of `users`', and below
// UserData\<every SID>; and of every Programs and Features entry (both views, machine and
// users) whose DisplayName holds one of the rules' patterns. Keys whose names are not codes
// name no product. Each product's LocalPackage is read from UserData\<every SID>.
InstalledProducts FindInstalledProducts(RegistryApi& registry, bool wow64, const RegistryRule* rules,
                                        const std::vector<UserHives>& users);

// Removes what the installer keeps for `products`, in every view as the rules do: Features,
// UserData\<SID>\Products, the UserData\<SID>\Components and UpgradeCodes keys whose every value
// names one of `products`, Managed\<SID>\Installer\Products and Features, and the Programs and
// Features entries of the products or whose DisplayName holds one of the rules' patterns. Each
// key is logged and saved to `backup` before it goes (either may be null).
void RemoveInstallerRegistration(RegistryApi& registry, bool wow64, const RegistryRule* rules,
                                 const InstalledProducts& products, const std::vector<UserHives>& users,
                                 OperationsLogger* logger, RegistryBackup* backup, CandidateKnowledge* knowledge);

// True when the key `name` below `parent` has no subkeys, at least one value, and every value's
// name is the packed code of one of `products` (letter case aside): a component or upgrade code
// that no other product uses. Anything that cannot be read keeps the key.
bool EveryValueNamesOneOf(RegistryApi& registry, HKEY parent, const std::wstring& name, REGSAM access,
                          const std::set<std::wstring>& products);

// The same verdict on what a search read of the key.
bool OnlyProductsNamed(const KeyValueNames& key, const std::set<std::wstring>& products);
