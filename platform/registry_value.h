#pragma once
// Reading one string value of a registry key, through the registry interface.

#include <string>

#include "platform/registry_api.h"

// What a caller takes for a string value.
enum StringValueKinds : unsigned {
    kPlainString = 1,         // REG_SZ
    kExpandableString = 2,    // REG_EXPAND_SZ, returned unexpanded
    kUnterminatedString = 4,  // data that ends without a terminator counts whole
};

// The string value `name` of `key` (letter case aside), up to its first terminator. False when
// it is missing, of a type `kinds` does not name, of an odd size, longer than 1 MiB, or (unless
// `kinds` has kUnterminatedString) without a terminator, so cut short or written carelessly.
bool ReadStringValue(RegistryApi& registry, HKEY key, const wchar_t* name, std::wstring* text, unsigned kinds);
