#include "platform/run_lock.h"

#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "platform/user_profiles.h"

namespace {

constexpr wchar_t kBoundary[] = L"TallowbriskCleaner";
constexpr wchar_t kAlias[] = L"TallowbriskCleaner";
constexpr wchar_t kGlobalStep[] = L"Global\\";

// The mutex `name`, made with the lock's descriptor or opened as it is; none when the name is
// another kind of object's, or a mutex that only someone else could have made.
HANDLE MakeOrOpen(const std::wstring& name) {
    unique_local<PSECURITY_DESCRIPTOR> security;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(kRunLockSecurity, SDDL_REVISION_1, security.put(), nullptr);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security.get(), FALSE};
    unique_handle mutex(CreateMutexW(security ? &attributes : nullptr, FALSE, name.c_str()));
    if (!mutex || GetLastError() != ERROR_ALREADY_EXISTS) {
        // Made now, as ours; or none: another kind of object, or one that denies us (made by
        // someone whose descriptor grants administrators less than all).
        return mutex.release();
    }
    PSID owner = nullptr;
    unique_local<PSECURITY_DESCRIPTOR> found;
    if (GetSecurityInfo(mutex.get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        found.put()) != ERROR_SUCCESS ||
        !IsRunLockOwner(owner)) {
        return nullptr;
    }
    return mutex.release();
}

}  // namespace

bool IsRunLockOwner(PSID owner) { return IsSystemOrAdministrators(owner); }

RunLock::RunLock(const wchar_t* name) {
    std::wstring local = name;
    if (local.compare(0, sizeof kGlobalStep / sizeof kGlobalStep[0] - 1, kGlobalStep) == 0) {
        local.erase(0, sizeof kGlobalStep / sizeof kGlobalStep[0] - 1);
    }
    boundary_.reset(CreateBoundaryDescriptorW(kBoundary, 0));
    if (!boundary_) {
        // No private namespaces here (Wine has none): the owner-checked global name.
        mutex_.reset(MakeOrOpen(name));
        return;
    }
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    HANDLE boundary = boundary_.release();
    const bool bounded = CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
                         AddSIDToBoundaryDescriptor(&boundary, administrators);
    boundary_.reset(boundary);
    if (!bounded) return;  // no lock: acquire() fails
    unique_local<PSECURITY_DESCRIPTOR> security;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(kRunLockSecurity, SDDL_REVISION_1, security.put(), nullptr);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security.get(), FALSE};
    // The first run makes the namespace, the others open it; one that closes it in between
    // leaves it to be made again.
    for (int attempt = 0; attempt < 3 && !namespace_; ++attempt) {
        namespace_.reset(CreatePrivateNamespaceW(security ? &attributes : nullptr, boundary_.get(), kAlias));
        if (!namespace_ && GetLastError() == ERROR_ALREADY_EXISTS) {
            namespace_.reset(OpenPrivateNamespaceW(boundary_.get(), kAlias));
        }
    }
    if (namespace_) {
        mutex_.reset(MakeOrOpen(std::wstring(kAlias) + L'\\' + local));
    }
}

RunLock::~RunLock() {
    if (held_) {
        ReleaseMutex(mutex_.get());
    }
}

bool RunLock::acquire(DWORD milliseconds) {
    if (held_) {
        return true;
    }
    if (!mutex_) {
        return false;  // fails closed: see the header
    }
    const DWORD result = WaitForSingleObject(mutex_.get(), milliseconds);
    // WAIT_ABANDONED: the run that held it ended without releasing it; it is ours now.
    held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return held_;
}
