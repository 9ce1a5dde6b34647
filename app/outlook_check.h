#pragma once
// Outlook must not run while its add-in's files and keys are removed.

#include <windows.h>

// True when a process whose executable is "outlook.exe", in any letter case, is running.
bool OutlookIsRunning();

// Asks the user to close Outlook for as long as it runs and the user chooses Try Again.
// Returns false when the user chose Cancel, true when Outlook is gone or the user chose Continue.
bool WaitForOutlookToClose(HWND owner);
