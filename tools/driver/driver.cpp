// Test driver for the end-to-end tests: a small Windows program that does, inside the Wine
// prefix, what a test cannot do from outside it.
//
//   driver hold PATH SIGNAL     opens PATH without sharing, creates the file SIGNAL, and keeps
//                               PATH open until SIGNAL is deleted (60 s at most)

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

int Hold(const wchar_t* path, const wchar_t* signal) {
    HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        fwprintf(stderr, L"hold: cannot open %ls (%lu)\n", path, GetLastError());
        return 2;
    }
    HANDLE ready = CreateFileW(signal, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(ready);
    for (int waited = 0; waited < 600 && GetFileAttributesW(signal) != INVALID_FILE_ATTRIBUTES; ++waited) {
        Sleep(100);
    }
    CloseHandle(file);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"hold" && argc == 4) {
        return Hold(argv[2], argv[3]);
    }
    fwprintf(stderr, L"usage: driver hold PATH SIGNAL\n");
    return 2;
}
