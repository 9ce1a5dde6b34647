#pragma once
// Comparisons of names as Windows makes them: ordinal, letter case aside (the file system's and
// the registry's rule for names, whatever the user's locale).

#include <string_view>

// True when `a` and `b` are the same text, letter case aside.
bool SameText(std::wstring_view a, std::wstring_view b);

// True when `text` begins with `head`, letter case aside.
bool StartsWithText(std::wstring_view text, std::wstring_view head);

// True when `text` ends in `tail`, letter case aside.
bool EndsWithText(std::wstring_view text, std::wstring_view tail);
