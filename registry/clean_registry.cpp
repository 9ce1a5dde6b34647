#include "registry/clean_registry.h"

#include "platform/registry_win32.h"
#include "platform/wow64.h"
#include "registry/registry_views.h"

void CleanRegistry(OperationsLogger* logger, ProgressCleaner* progress, RegistryBackup* backup) {
    CleanRegistry(SystemRegistry(), RunningUnderWow64(), logger, progress, RegistryRuleTable(), backup);
}

void CleanRegistry(RegistryApi& registry, bool wow64, OperationsLogger* logger, ProgressCleaner* progress,
                   const RegistryRule* rules, RegistryBackup* backup) {
    if (!rules || !rules[0].root) {
        return;
    }
    unsigned total = 0;
    for (const RegistryRule* rule = rules; rule->root; ++rule) {
        total += rule->weight;
    }
    unsigned position = 0;
    for (const RegistryRule* rule = rules; rule->root; ++rule) {
        ApplyRegistryRule(registry, wow64, rule->root, rule->path, rule->pattern, rule->mode, logger, backup);
        position += rule->weight;
        if (progress) {
            progress->progress(position, total);
        }
    }
}
