#include "platform/shell_folder.h"

#include <shlobj.h>
#include <windows.h>

#include "platform/long_path.h"
#include "platform/registry_key.h"
#include "platform/registry_win32.h"
#include "platform/wow64.h"

namespace {

// SHGetSpecialFolderPathW writes at most MAX_PATH characters.
constexpr DWORD kFolderCharacters = MAX_PATH + 1;

bool AskTheShell(int csidl, std::wstring& path) {
    wchar_t buffer[kFolderCharacters] = {};
    if (!SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) {
        return false;
    }
    path = buffer;
    return true;
}

// Under WOW64 the shell answers CSIDL_PROGRAM_FILES with the 32-bit program files folder, the
// same as CSIDL_PROGRAM_FILESX86, and the 64-bit folder's known-folder id is not available to
// 32-bit callers. Windows keeps the folder as ProgramFilesDir below CurrentVersion; the 32-bit
// view redirects that key to one whose value names the 32-bit folder, so this reads it in the
// 64-bit view. The value is machine-wide and only administrators can change it, unlike the
// ProgramW6432 environment variable, which whoever starts the program hands down.
bool ReadNativeProgramFiles(std::wstring& path) {
    unique_registry_key key;
    if (OpenRegistryKey(SystemRegistry(), HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                        KEY_QUERY_VALUE | KEY_WOW64_64KEY, key) != ERROR_SUCCESS) {
        return false;
    }
    wchar_t buffer[kFolderCharacters] = {};
    DWORD size = sizeof buffer;
    if (RegGetValueW(key.get().key, nullptr, L"ProgramFilesDir", RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    path = buffer;
    return true;
}

}  // namespace

bool LookUpSpecialFolder(int csidl, std::wstring& path) {
    path.clear();
    std::wstring found;
    const bool known =
        csidl == CSIDL_PROGRAM_FILES && RunningUnderWow64() ? ReadNativeProgramFiles(found) : AskTheShell(csidl, found);
    if (!known) {
        return false;
    }
    // Callers join names with one backslash, so a drive root comes back as "X:".
    while (!found.empty() && found.back() == L'\\') {
        found.pop_back();
    }
    if (found.empty() || !IsAbsolutePath(found + L'\\')) {
        return false;
    }
    path = std::move(found);
    return true;
}
