#include "platform/run_lock.h"

#include <sddl.h>

namespace {

// The system account and the administrators may do everything with the mutex: a run as the
// system account and an elevated user's run must each be able to open the other's. Without
// a descriptor of its own, the mutex would get its maker's default one, in which the system
// account grants administrators no more than waiting on it.
constexpr wchar_t kRunLockSecurity[] = L"D:(A;;GA;;;SY)(A;;GA;;;BA)";

HANDLE MakeOrOpen(const wchar_t* name) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    ConvertStringSecurityDescriptorToSecurityDescriptorW(kRunLockSecurity, SDDL_REVISION_1,
                                                         &attributes.lpSecurityDescriptor, nullptr);
    HANDLE mutex = CreateMutexW(attributes.lpSecurityDescriptor ? &attributes : nullptr, FALSE, name);
    if (!mutex && GetLastError() == ERROR_ACCESS_DENIED) {
        // Made by someone whose descriptor grants us less than all: waiting is all it takes.
        mutex = OpenMutexW(SYNCHRONIZE, FALSE, name);
    }
    LocalFree(attributes.lpSecurityDescriptor);
    return mutex;
}

}  // namespace

RunLock::RunLock(const wchar_t* name) : mutex_(MakeOrOpen(name)) {}

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
        return true;  // nothing to wait on: see the header
    }
    const DWORD result = WaitForSingleObject(mutex_.get(), milliseconds);
    // WAIT_ABANDONED: the run that held it ended without releasing it; it is ours now.
    held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return held_;
}
