#pragma once
// One cleaning run at a time on the machine. Deployment tools start the program on thousands
// of machines, retry it, and start it again while a user's run goes on; two runs at once
// would remove the same keys and write into the same files. The lock is a named mutex in the
// "Global\" namespace, so that a run as the system account (session 0) and a user's run in
// their own session see each other.

#include <windows.h>

#include "platform/unique_any.h"

constexpr wchar_t kRunLockName[] = L"Global\\TallowbriskCleaner.OneRunAtATime";

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
    // (whose files are whole: each line and each key went out in one write), or the name
    // can't be used as a mutex at all (then the runs can't be kept apart, and each still
    // writes whole lines). False while another run holds it.
    bool acquire(DWORD milliseconds);

    // True between a successful acquire() and the destruction: this process holds the mutex.
    bool held() const { return held_; }

private:
    unique_handle mutex_;
    bool held_ = false;
};
