#include "registry/registry_pass.h"

#include "report/operations_logger.h"

RegistryPass::RegistryPass(RegistryApi& registry, bool wow64, const RegistryRule* rules, OperationsLogger* log,
                           RegistryBackup* backup)
    : registry_(&registry), wow64_(wow64), rules_(rules), log_(log), backup_(backup) {}

std::vector<REGSAM> RegistryPass::viewAccesses() const {
    if (wow64_) return {kView64Access, kView32Access};
    return {kDefaultViewAccess};
}

RegistryPass RegistryPass::sharing(CandidateKnowledge& knowledge) const {
    RegistryPass pass = *this;
    pass.knowledge_ = &knowledge;
    return pass;
}

RegistryPass RegistryPass::alone() const {
    RegistryPass pass = *this;
    pass.knowledge_ = nullptr;
    return pass;
}

RegistryPass RegistryPass::forUser(const UserHives& user) const {
    RegistryPass pass = alone();
    pass.user_ = &user;
    return pass;
}

void RegistryPass::record(const wchar_t* kind, const std::wstring& target, int outcome) const {
    if (log_) log_->log(kind, target, outcome);
}
