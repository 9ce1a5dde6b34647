#include "registry/clean_registry.h"

#include <memory>

#include "platform/registry_win32.h"
#include "platform/wow64.h"
#include "registry/candidate_knowledge.h"
#include "installer/registration.h"
#include "registry/office_records.h"
#include "registry/registry_views.h"

namespace {

void ApplyRules(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                const RegistryRule* rules, RegistryBackup* backup, bool shareAnswers,
                const std::vector<UserHives>& users, InstalledProducts* installed,
                const InstallerDataOwners& owners) {
    if (!rules || !rules[0].root) {
        return;
    }
    // The rules delete the keys that name the installer's products: they are found first.
    const InstalledProducts products = FindInstalledProducts(registry, wow64, rules, users, owners);
    unsigned total = 0;
    for (const RegistryRule* rule = rules; rule->root; ++rule) {
        total += rule->weight;
    }
    std::unique_ptr<CandidateKnowledge> knowledge;
    if (shareAnswers) {
        knowledge = std::make_unique<CandidateKnowledge>(rules);
    }
    unsigned position = 0;
    for (const RegistryRule* rule = rules; rule->root; ++rule) {
        if (knowledge) knowledge->startRule(rule - rules);
        ApplyRegistryRule(registry, wow64, rule->root, rule->path, rule->pattern, rule->mode, logger, backup,
                          knowledge.get());
        if (knowledge) knowledge->finishRule();
        ApplyRuleToUsers(registry, wow64, *rule, users, logger, backup);
        position += rule->weight;
        if (progress) {
            progress->progress(position, total);
        }
    }
    RemoveInstallerRegistration(registry, wow64, rules, products, users, logger, backup, knowledge.get(), owners);
    CleanOfficeRecords(registry, wow64, rules, users, logger, backup);
    if (installed) *installed = products;
}

}  // namespace

void CleanRegistry(OperationsLogger* logger, ProgressCleaner* progress, RegistryBackup* backup,
                   const std::vector<UserHives>& users, InstalledProducts* installed,
                   const InstallerDataOwners& owners) {
    CleanRegistry(SystemRegistry(), RunningUnderWow64(), logger, progress, RegistryRuleTable(), backup, users,
                  installed, owners);
}

void CleanRegistry(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                   const RegistryRule* rules, RegistryBackup* backup) {
    ApplyRules(registry, wow64, logger, progress, rules, backup, true, {}, nullptr, InstallerDataOwners());
}

void CleanRegistry(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                   const RegistryRule* rules, RegistryBackup* backup, const std::vector<UserHives>& users,
                   InstalledProducts* installed, const InstallerDataOwners& owners) {
    ApplyRules(registry, wow64, logger, progress, rules, backup, true, users, installed, owners);
}

void CleanRegistryRuleByRule(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                             const RegistryRule* rules, RegistryBackup* backup) {
    ApplyRules(registry, wow64, logger, progress, rules, backup, false, {}, nullptr, InstallerDataOwners());
}
