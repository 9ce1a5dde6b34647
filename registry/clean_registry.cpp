#include "registry/clean_registry.h"

#include <memory>

#include "platform/registry_win32.h"
#include "platform/wow64.h"
#include "registry/candidate_knowledge.h"
#include "registry/registry_views.h"

namespace {

void ApplyRules(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                const RegistryRule* rules, RegistryBackup* backup, bool shareAnswers,
                const std::vector<UserHives>& users) {
    if (!rules || !rules[0].root) {
        return;
    }
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
}

}  // namespace

void CleanRegistry(OperationsLogger* logger, ProgressCleaner* progress, RegistryBackup* backup,
                   const std::vector<UserHives>& users) {
    CleanRegistry(SystemRegistry(), RunningUnderWow64(), logger, progress, RegistryRuleTable(), backup, users);
}

void CleanRegistry(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                   const RegistryRule* rules, RegistryBackup* backup) {
    ApplyRules(registry, wow64, logger, progress, rules, backup, true, {});
}

void CleanRegistry(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                   const RegistryRule* rules, RegistryBackup* backup, const std::vector<UserHives>& users) {
    ApplyRules(registry, wow64, logger, progress, rules, backup, true, users);
}

void CleanRegistryRuleByRule(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                             const RegistryRule* rules, RegistryBackup* backup) {
    ApplyRules(registry, wow64, logger, progress, rules, backup, false, {});
}
