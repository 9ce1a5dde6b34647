#pragma once

#include "platform/registry_api.h"

// True when the subtree below `key` holds `pattern` (a case-sensitive substring) in a
// subkey name, a value name or the text of a REG_SZ value, at any depth. Subkeys are opened
// with `access`. Other value types are not examined, nor values whose name exceeds 4095
// characters or whose data exceeds 4096 bytes. The whole subtree is always walked.
bool KeyTreeMentions(RegistryApi& registry, HKEY key, const wchar_t* pattern, REGSAM access);
