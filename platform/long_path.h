#pragma once
#include <string>

// Returns `path` in the "\\?\" form, which lifts the MAX_PATH limit of the file functions
// (up to about 32,767 characters). The form is taken literally by Windows: no "." or ".."
// components and no forward slashes, which is how the program builds its paths anyway.
// Paths that are not absolute drive or UNC paths are returned unchanged.
std::wstring ExtendedPath(const std::wstring& path);

// True for "X:\..." and "\\server\share..." paths, the only kinds the cleaners act on.
bool IsAbsolutePath(const std::wstring& path);
