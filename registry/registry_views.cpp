#include "registry/registry_views.h"

#include "registry/rule_in_view.h"

void ApplyRegistryRule(RegistryApi& registry, bool wow64, HKEY root, const wchar_t* path, const wchar_t* pattern,
                       int mode, OperationsLogger* logger, RegistryBackup* backup, CandidateKnowledge* knowledge) {
    if (wow64) {
        ViewPass(registry, wow64, root, path, pattern, kView64Access, mode, logger, backup, knowledge).apply();
        ViewPass(registry, wow64, root, path, pattern, kView32Access, mode, logger, backup, knowledge).apply();
    } else {
        ViewPass(registry, wow64, root, path, pattern, kDefaultViewAccess, mode, logger, backup, knowledge).apply();
    }
}
