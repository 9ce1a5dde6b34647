#include "app/registry_steps.h"

#include "registry/candidate_knowledge.h"
#include "registry/clean_registry.h"
#include "registry/office_records.h"

namespace {

// The machine's steps through `pass`, which shares its searches or not.
InstalledProducts CleanMachine(const RegistryPass& pass, ProgressCleaner* progress, const InstallerDataOwners& owners) {
    if (!pass.hasRules()) return InstalledProducts();
    // The rules delete the keys that name the installer's products: they are found first.
    InstalledProducts products = FindInstalledProducts(pass, owners);
    ApplyRegistryRules(pass, progress);
    // What the rules read of the system's components comes along in the pass.
    RemoveInstallerRegistration(pass, products, owners);
    CleanOfficeRecords(pass);
    return products;
}

}  // namespace

InstalledProducts CleanRegistry(const RegistryPass& pass, ProgressCleaner* progress,
                                const InstallerDataOwners& owners) {
    if (!pass.hasRules()) return InstalledProducts();
    CandidateKnowledge knowledge(pass.rules());
    return CleanMachine(pass.sharing(knowledge), progress, owners);
}

InstalledProducts CleanRegistryRuleByRule(const RegistryPass& pass, ProgressCleaner* progress,
                                          const InstallerDataOwners& owners) {
    return CleanMachine(pass.alone(), progress, owners);
}

void CleanUserRegistry(const RegistryPass& userPass, const std::set<std::wstring>& trusted, ProgressCleaner* progress) {
    if (!userPass.hasRules()) return;
    // The user's own Products keys, which the rules delete, name codes for this hive too.
    std::set<std::wstring> codes = FindOwnProducts(userPass, trusted);
    codes.insert(trusted.begin(), trusted.end());
    ApplyRegistryRules(userPass, progress);
    RemoveUserInstallerRegistration(userPass, codes);
    CleanOfficeRecords(userPass);
}
