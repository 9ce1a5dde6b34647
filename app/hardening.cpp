// Settings of the process that an elevated program started from a user's Downloads folder
// needs before it does anything else. They run from a constructor of the highest priority a
// program may give, ahead of every other static initialiser: ahead of the "mHyperlink" class
// registration, and ahead of the run-time's stack protector, whose random canary comes from
// the system's cryptographic provider, which loads DLLs of its own.

#include <windows.h>

namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

// The system DLLs that the program calls (shell32, ole32 and what they load later) load
// further DLLs by name. Windows looks for such a name in the program's own folder first, so a
// DLL dropped beside the exe would run with administrator rights. Only the system folder is
// searched from here on. SetDefaultDllDirectories came to Windows 7 with an update
// (KB2533623), so it is looked up rather than imported: an exe that imported it would not
// start at all without the update. Without it, SetDllDirectoryW(L"") at least takes the
// current folder out of the search.
void SearchSystemFolderOnly() {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        SetDllDirectoryW(L"");
    }
}

__attribute__((constructor(101))) void HardenProcess() {
    SearchSystemFolderOnly();
    // A corrupted heap ends the process rather than letting it go on with what an attacker
    // may have written there.
    HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
}

}  // namespace
