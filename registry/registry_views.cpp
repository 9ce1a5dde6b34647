#include "registry/registry_views.h"

namespace {

void ApplyInViews(RegistryApi& registry, bool wow64, HKEY root, const NamedRoot* named, const wchar_t* path,
                  const wchar_t* pattern, int mode, OperationsLogger* logger, RegistryBackup* backup,
                  CandidateKnowledge* knowledge, const SubkeyChooser* chooser = nullptr) {
    // Under WOW64 the 64-bit view and then the 32-bit view, both always; otherwise the default view.
    const REGSAM passes[] = {wow64 ? kView64Access : kDefaultViewAccess, kView32Access};
    for (size_t pass = 0; pass < (wow64 ? 2u : 1u); ++pass) {
        ViewPass viewPass(registry, wow64, root, path, pattern, passes[pass], mode, logger, backup, knowledge);
        if (named) {
            viewPass.nameRuleKey(LoggedKeyPath(named->loggedName, path, wow64),
                                 *path ? named->backupName + L'\\' + path : named->backupName);
        }
        viewPass.chooseBy(chooser);
        viewPass.apply();
    }
}

}  // namespace

void ApplyRegistryRule(RegistryApi& registry, bool wow64, HKEY root, const wchar_t* path, const wchar_t* pattern,
                       int mode, OperationsLogger* logger, RegistryBackup* backup, CandidateKnowledge* knowledge) {
    ApplyInViews(registry, wow64, root, nullptr, path, pattern, mode, logger, backup, knowledge);
}

void ApplyRegistryRule(RegistryApi& registry, bool wow64, const NamedRoot& root, const wchar_t* path,
                       const wchar_t* pattern, int mode, OperationsLogger* logger, RegistryBackup* backup) {
    ApplyInViews(registry, wow64, root.key, &root, path, pattern, mode, logger, backup, nullptr);
}

void RemoveChosenSubkeys(RegistryApi& registry, bool wow64, HKEY root, const NamedRoot* named, const wchar_t* path,
                         const SubkeyChooser& chooser, OperationsLogger* logger, RegistryBackup* backup,
                         CandidateKnowledge* knowledge) {
    ApplyInViews(registry, wow64, named ? named->key : root, named, path, L"", MatchName, logger, backup,
                 named ? nullptr : knowledge, &chooser);
}
