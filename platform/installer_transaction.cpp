#include "platform/installer_transaction.h"

#include "platform/unique_any.h"

bool InstallerTransactionRunning(const wchar_t* name, const InstallerMutexCalls& calls) {
    unique_handle mutex(calls.open(kInstallerMutexAccess, FALSE, name));
    if (!mutex) {
        // No such mutex: no transaction. Any other error (access denied) means it is there.
        return GetLastError() != ERROR_FILE_NOT_FOUND;
    }
    // WAIT_ABANDONED: the installer that held it ended without releasing it; its transaction
    // is over, and the mutex is this thread's now, as after WAIT_OBJECT_0.
    const DWORD result = WaitForSingleObject(mutex.get(), 0);
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) {
        return true;
    }
    if (!calls.release(mutex.get())) {
        calls.endProcess(ERROR_INSTALL_ALREADY_RUNNING);
        return true;
    }
    return false;
}
