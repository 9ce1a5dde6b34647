#pragma once

#include <string>

#include "platform/registry_api.h"

// The name a ".reg" file gives root\path: "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER" or
// "HKEY_LOCAL_MACHINE" and, unless the path is empty, a backslash and the path.
std::wstring BackupKeyName(HKEY root, const wchar_t* path);

// `keyName`, the name of `parent`\`path`, with its last component as the registry spells it
// rather than as the caller does (names are compared without regard to case), so that a
// restore brings the key back under the same name. Unchanged when the key is not found.
std::wstring SpelledKeyName(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access,
                            std::wstring keyName);
