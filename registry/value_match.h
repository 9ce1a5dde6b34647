#pragma once
// How the cleaner recognises the add-in's values among Outlook's and Office's own: by name, or
// by the path that a binary record holds as UTF-16LE text. Plain bytes in, a verdict out.

#include <cstddef>
#include <cstdint>
#include <string_view>

// True when `name` holds `pattern`, code unit for code unit (the match of every rule).
bool ValueNameHolds(std::wstring_view name, std::wstring_view pattern);

// True when `data`, read as UTF-16LE code units, holds `pattern` in any letter case of its
// ASCII letters (Outlook keeps the paths in its lists in lower case; other characters are
// compared as they are). An odd last byte is no code unit and is passed over; data that ends
// in the middle of the text, or holds no terminator, is searched as far as it goes. An empty
// pattern matches nothing.
bool Utf16DataHoldsAnyCase(const std::uint8_t* data, std::size_t size, std::wstring_view pattern);

// True when `text` is a GUID in braces, "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", in hex digits
// of either case: the only names of VSTO's solution keys that the cleaner follows.
bool IsBracedGuid(std::wstring_view text);
