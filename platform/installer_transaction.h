#pragma once
// Windows Installer's transaction in progress. While msiexec installs, repairs or removes a
// package (the add-in's next version, say) it holds the mutex "Global\_MSIExecute"; a second
// msiexec waits, or exits with 1618. A cleaning run in that time could remove keys and files
// the transaction is writing, or is about to roll back to, so the cleaner waits its turn too.

#include <windows.h>

constexpr wchar_t kInstallerMutexName[] = L"Global\\_MSIExecute";

// True while another process holds the mutex, and also when it exists but cannot be looked
// at (in doubt, a transaction runs). Only looks: a mutex found free is released at once.
bool InstallerTransactionRunning(const wchar_t* name = kInstallerMutexName);

// Waits up to `milliseconds` for a transaction in progress to end. True when none runs.
bool WaitForInstallerTransaction(DWORD milliseconds, const wchar_t* name = kInstallerMutexName);
