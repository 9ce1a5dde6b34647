#include "registry/registry_views.h"

void ApplyRegistryRule(RegistryApi& registry, bool wow64, HKEY root, const wchar_t* path, const wchar_t* pattern,
                       int mode, OperationsLogger* logger, RegistryBackup* backup) {
    ApplyRegistryRule(registry, wow64, PredefinedRoot(root), path, pattern, mode, logger, backup);
}

void ApplyRegistryRule(RegistryApi& registry, bool wow64, const NamedRoot& root, const wchar_t* path,
                       const wchar_t* pattern, int mode, OperationsLogger* logger, RegistryBackup* backup) {
    if (wow64) {
        ApplyRuleInView(registry, wow64, root, path, pattern, kView64Access, mode, logger, backup);
        ApplyRuleInView(registry, wow64, root, path, pattern, kView32Access, mode, logger, backup);
    } else {
        ApplyRuleInView(registry, wow64, root, path, pattern, kDefaultViewAccess, mode, logger, backup);
    }
}
