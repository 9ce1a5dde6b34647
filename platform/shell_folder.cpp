#include "platform/shell_folder.h"

#include <shlobj.h>
#include <windows.h>

#include "platform/long_path.h"

bool LookUpSpecialFolder(int csidl, std::wstring& path) {
    // SHGetSpecialFolderPathW writes at most MAX_PATH characters.
    wchar_t buffer[MAX_PATH + 1] = {};
    path.clear();
    if (!SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) {
        return false;
    }
    // Callers join names with one backslash, so a drive root comes back as "X:".
    std::wstring found(buffer);
    while (!found.empty() && found.back() == L'\\') {
        found.pop_back();
    }
    if (found.empty() || !IsAbsolutePath(found + L'\\')) {
        return false;
    }
    path = std::move(found);
    return true;
}
