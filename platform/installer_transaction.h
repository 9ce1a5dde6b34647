#pragma once
// Windows Installer's transaction in progress. While msiexec installs, repairs or removes a
// package (the add-in's next version, say) it holds the mutex "Global\_MSIExecute"; a second
// msiexec waits, or exits with 1618. A cleaning run in that time could remove keys and files
// the transaction is writing, or is about to roll back to, so the cleaner waits its turn too.

#include <windows.h>

constexpr wchar_t kInstallerMutexName[] = L"Global\\_MSIExecute";

// What the look at the mutex asks of the system. Tests stand in for each call.
struct InstallerMutexCalls {
    HANDLE(WINAPI* open)(DWORD access, BOOL inherit, LPCWSTR name) = OpenMutexW;
    BOOL(WINAPI* release)(HANDLE mutex) = ReleaseMutex;
    void(WINAPI* endProcess)(UINT exitCode) = ExitProcess;
};

// The access the look asks for: waiting on the mutex, and releasing it (ReleaseMutex needs
// MUTEX_MODIFY_STATE; without it the release fails, and the mutex stays owned).
constexpr DWORD kInstallerMutexAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;

// True while another process holds the mutex, and also when it exists but cannot be opened
// with kInstallerMutexAccess (in doubt, a transaction runs). What it does to the mutex: opens
// it, and when no one holds it (or its holder ended without releasing it) takes it without
// waiting, which is the only way to tell, and releases it at once, before it returns. Should
// that release fail, this process would own the mutex until it ends, and every msiexec on the
// machine would exit with 1618 meanwhile: the process then ends at once, with 1618
// (ERROR_INSTALL_ALREADY_RUNNING), which leaves the mutex abandoned, and so free, for the next
// installer; nothing of the run is done. Only a test's `calls.endProcess` returns; the answer
// is then true.
bool InstallerTransactionRunning(const wchar_t* name = kInstallerMutexName,
                                 const InstallerMutexCalls& calls = InstallerMutexCalls());
