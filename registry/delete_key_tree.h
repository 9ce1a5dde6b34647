#pragma once

#include <string>

#include "platform/registry_api.h"

// What a key is opened with to delete its subtree: its children are listed, and the key may be
// deleted.
constexpr REGSAM kDeleteTreeAccess = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;

// Deletes parent\path with its whole subtree, children first. Every key is taken as it is,
// never through a link: the last step of `path` and each child are opened with
// REG_OPTION_OPEN_LINK and kDeleteTreeAccess in the view of `access`, each child by its own
// name below its parent's open handle, and a link is never deleted (RegistryApi::deleteKey),
// so neither is the key that holds it. Every delete uses the view bits of `access`. A key
// that is already gone counts as deleted. The first child that cannot be deleted ends the
// work: the key and that child remain, the children deleted before it stay deleted, and false
// is returned. A key that cannot be opened for another reason writes "Error opening key.\n" to
// standard output.
bool DeleteKeyTree(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access);

// The longest subkey path the registry takes: its counted strings hold at most 65,534 bytes
// with the terminator. A longer path is refused rather than cut.
constexpr size_t kMaxSubkeyPathLength = 32766;

// The registry nests keys at most 512 levels deep. The search, the backup and the deletion go
// no deeper (they follow no link, so only a registry that breaks its own limit could lead them
// there).
constexpr int kMaxKeyDepth = 512;
