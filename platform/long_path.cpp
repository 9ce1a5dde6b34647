#include "platform/long_path.h"

#include <cwctype>

namespace {

bool IsDrivePath(const std::wstring& path) {
    return path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\';
}

bool IsUncPath(const std::wstring& path) { return path.size() > 2 && path[0] == L'\\' && path[1] == L'\\'; }

bool IsExtendedPath(const std::wstring& path) { return path.compare(0, 4, L"\\\\?\\") == 0; }

}  // namespace

bool IsAbsolutePath(const std::wstring& path) { return IsDrivePath(path) || IsUncPath(path); }

std::wstring ExtendedPath(const std::wstring& path) {
    if (IsExtendedPath(path)) {
        return path;
    }
    if (IsDrivePath(path)) {
        return L"\\\\?\\" + path;
    }
    if (IsUncPath(path)) {
        return L"\\\\?\\UNC\\" + path.substr(2);
    }
    return path;
}
