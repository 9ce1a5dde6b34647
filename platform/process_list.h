#pragma once
// The running processes, from a Toolhelp snapshot of the process list.

#include <windows.h>

#include <set>

// The ids of the running processes whose executable file is named `exe` ("outlook.exe"), in
// any letter case. Empty when no snapshot can be taken.
std::set<DWORD> ProcessesNamed(const wchar_t* exe);
