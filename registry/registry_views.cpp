#include "registry/registry_views.h"

namespace {

// `rule` in each view of `pass`; below the root `named` says, when given, instead of rule.root.
void ApplyInViews(const RegistryPass& pass, const NamedRoot* named, const RegistryRule& rule,
                  const SubkeyChooser* chooser = nullptr) {
    for (REGSAM access : pass.viewAccesses()) {
        ViewPass viewPass(pass, rule, access);
        if (named) {
            viewPass.nameRuleKey(LoggedKeyPath(named->loggedName, rule.path, pass.wow64()),
                                 *rule.path ? named->backupName + L'\\' + rule.path : named->backupName);
        }
        viewPass.chooseBy(chooser);
        viewPass.apply();
    }
}

}  // namespace

void ApplyRegistryRule(const RegistryPass& pass, const RegistryRule& rule) { ApplyInViews(pass, nullptr, rule); }

void ApplyRegistryRule(const RegistryPass& pass, const NamedRoot& root, const RegistryRule& rule) {
    ApplyInViews(pass.alone(), &root, RegistryRule{root.key, rule.path, rule.pattern, rule.mode, rule.weight});
}

void RemoveChosenSubkeys(const RegistryPass& pass, HKEY root, const wchar_t* path, const SubkeyChooser& chooser) {
    ApplyInViews(pass, nullptr, RegistryRule{root, path, L"", MatchName, 0}, &chooser);
}

void RemoveChosenSubkeys(const RegistryPass& pass, const NamedRoot& root, const wchar_t* path,
                         const SubkeyChooser& chooser) {
    ApplyInViews(pass.alone(), &root, RegistryRule{root.key, path, L"", MatchName, 0}, &chooser);
}
