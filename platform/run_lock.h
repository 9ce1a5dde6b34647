#pragma once
// One cleaning run at a time on the machine. Deployment tools start the program on thousands
// of machines, retry it, and start it again while a user's run goes on; two runs at once
// would remove the same keys and write into the same files. The lock is a named mutex that a
// run as the system account (session 0) and a user's run in their own session both see, and
// that no standard user can make, hold or stand in for:
//  - in a private namespace whose boundary is the Administrators group, which only a process
//    with that group enabled (an elevated administrator, the system account) can make or open;
//  - where the system has no private namespaces (Wine), in the "Global\" namespace, owned by
//    the Administrators group: a mutex of another owner (one that a standard user made first),
//    or an object of another kind under the name, is not taken for the lock.
// Either way it fails closed: a lock that can't be had is a run that must wait (1618).

#include <windows.h>

#include "platform/unique_any.h"

constexpr wchar_t kRunLockName[] = L"Global\\TallowbriskCleaner.OneRunAtATime";
// The mutex's descriptor: owned by the administrators; the system account and the
// administrators may do everything with it, so that a run as the system account and an
// elevated user's run each open the other's.
constexpr wchar_t kRunLockSecurity[] = L"O:BAD:(A;;GA;;;SY)(A;;GA;;;BA)";

// Closes a private namespace handle and leaves the namespace to the other runs that hold it.
inline void ClosePrivateNamespaceKeep(HANDLE handle) { ClosePrivateNamespace(handle, 0); }

// True when a mutex found under the lock's name may stand for the lock: made by an
// administrator or the system account (`owner`), the only ones who can give it such an owner.
bool IsRunLockOwner(PSID owner);

class RunLock {
public:
    // Makes or opens the mutex; nothing is waited for yet. Tests name a mutex of their own.
    explicit RunLock(const wchar_t* name = kRunLockName);
    // Releases the mutex if this process holds it.
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Waits up to `milliseconds` (0: only looks) for the other run to end. True when this run
    // may go on: the lock was free, or it was abandoned by a run that was killed or crashed
    // (whose files are whole: each line and each key went out in one write). False while
    // another run holds it, and when the lock can't be had at all (see above).
    bool acquire(DWORD milliseconds);

    // True between a successful acquire() and the destruction: this process holds the mutex.
    bool held() const { return held_; }

private:
    unique_any<NullInvalidPolicy<HANDLE, DeleteBoundaryDescriptor>> boundary_;
    unique_any<NullInvalidPolicy<HANDLE, ClosePrivateNamespaceKeep>> namespace_;
    unique_handle mutex_;
    bool held_ = false;
};
