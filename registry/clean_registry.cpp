#include "registry/clean_registry.h"

#include <memory>

#include "registry/candidate_knowledge.h"
#include "installer/registration.h"
#include "registry/office_records.h"
#include "registry/registry_views.h"

namespace {

void ApplyRules(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                const RegistryRule* rules, RegistryBackup* backup, bool shareAnswers, InstalledProducts* installed,
                const InstallerDataOwners& owners) {
    if (!rules || !rules[0].root) {
        return;
    }
    // The rules delete the keys that name the installer's products: they are found first.
    const InstalledProducts products = FindInstalledProducts(registry, wow64, rules, owners);
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
        position += rule->weight;
        if (progress) {
            progress->progress(position, total);
        }
    }
    RemoveInstallerRegistration(registry, wow64, rules, products, logger, backup, knowledge.get(), owners);
    CleanOfficeRecords(registry, wow64, rules, logger, backup);
    if (installed) *installed = products;
}

}  // namespace

void CleanRegistry(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                   const RegistryRule* rules, RegistryBackup* backup) {
    ApplyRules(registry, wow64, logger, progress, rules, backup, true, nullptr, InstallerDataOwners());
}

void CleanRegistry(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                   const RegistryRule* rules, RegistryBackup* backup, InstalledProducts* installed,
                   const InstallerDataOwners& owners) {
    ApplyRules(registry, wow64, logger, progress, rules, backup, true, installed, owners);
}

void CleanRegistryRuleByRule(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                             const RegistryRule* rules, RegistryBackup* backup) {
    ApplyRules(registry, wow64, logger, progress, rules, backup, false, nullptr, InstallerDataOwners());
}

void CleanUserRegistry(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                       const RegistryRule* rules, RegistryBackup* backup, const UserHives& user,
                       const std::set<std::wstring>& trusted) {
    if (!rules || !rules[0].root) return;
    // The user's own Products keys, which the rules delete, name codes for this hive too.
    std::set<std::wstring> codes = FindOwnProducts(registry, wow64, rules, user, trusted);
    codes.insert(trusted.begin(), trusted.end());
    unsigned total = 0;
    for (const RegistryRule* rule = rules; rule->root; ++rule) {
        if (rule->root == HKEY_CURRENT_USER) total += rule->weight;
    }
    unsigned position = 0;
    for (const RegistryRule* rule = rules; rule->root; ++rule) {
        if (rule->root != HKEY_CURRENT_USER) continue;
        ApplyRuleToUser(registry, wow64, *rule, user, logger, backup);
        position += rule->weight;
        if (progress) progress->progress(position, total);
    }
    RemoveUserInstallerRegistration(registry, wow64, rules, codes, user, logger, backup);
    CleanUserOfficeRecords(registry, wow64, rules, user, logger, backup);
}
