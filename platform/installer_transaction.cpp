#include "platform/installer_transaction.h"

#include "platform/unique_any.h"

bool WaitForInstallerTransaction(DWORD milliseconds, const wchar_t* name) {
    unique_handle mutex(OpenMutexW(SYNCHRONIZE, FALSE, name));
    if (!mutex) {
        // No such mutex: no transaction. Any other error (access denied) means it is there.
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    // Holding the mutex for a moment is how to tell whether anyone else does. WAIT_ABANDONED:
    // the installer that held it ended without releasing it; its transaction is over.
    const DWORD result = WaitForSingleObject(mutex.get(), milliseconds);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
        ReleaseMutex(mutex.get());
        return true;
    }
    return false;
}

bool InstallerTransactionRunning(const wchar_t* name) { return !WaitForInstallerTransaction(0, name); }
