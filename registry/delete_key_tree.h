#pragma once

#include <string>

#include "platform/registry_api.h"

// What a key is opened with to delete its subtree: its children are listed, and the key may be
// deleted.
constexpr REGSAM kDeleteTreeAccess = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;

// Deletes parent\path with its whole subtree, children first. Every open asks for
// kDeleteTreeAccess in the view of `access`, every delete uses its view bits. A key that is already gone counts as deleted. The first child
// that cannot be deleted ends the work: the key and that child remain, the children deleted
// before it stay deleted, and false is returned. A key that cannot be opened for another
// reason writes "Error opening key.\n" to standard output.
bool DeleteKeyTree(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access);

// The longest subkey path the registry takes: its counted strings hold at most 65,534 bytes
// with the terminator. A longer path is refused rather than cut.
constexpr size_t kMaxSubkeyPathLength = 32766;

// The registry nests keys at most 512 levels deep. Anything deeper can only be a loop of
// symbolic links, which neither the search nor the deletion follows further.
constexpr int kMaxKeyDepth = 512;
