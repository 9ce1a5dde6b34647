#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_api.h"

// True when the subtree below `key` holds `pattern` (a case-sensitive substring) in a
// subkey name, a value name or the text of a REG_SZ value, at any depth. Subkeys are opened
// with `access`, each as it is: a link's name is looked at, but it is not entered. Other value
// types are not examined, nor values whose name exceeds 4095 characters or whose data exceeds
// 4096 bytes. The whole subtree is always walked.
bool KeyTreeMentions(RegistryApi& registry, HKEY key, const wchar_t* pattern, REGSAM access);

// What a walk read of a key itself: its subkey count and the names of its values, complete only
// when every value was read.
struct KeyValueNames {
    bool complete = false;
    unsigned subkeys = 0;
    std::vector<std::wstring> names;
};

// What a search for several patterns found besides the patterns it saw. `settled` tells
// whether the bits left clear are certain: false when a read failed in a way that another
// attempt might not repeat (anything but a key that refuses the access asked for, or a value too
// large for the buffers), so that a clear bit may only mean that part of the subtree went unread.
// Set bits are always certain. `whole` tells whether every key below the searched key could be
// opened (or was not there): false when one refused, so that what it holds is unknown. `top`, if
// the caller sets it, receives what the walk read of the searched key itself.
struct SubtreeFindings {
    bool settled = true;
    bool whole = true;
    KeyValueNames* top = nullptr;
};

// The same search for several patterns in one walk of the whole subtree: bit i of the result is
// set when patterns[i] was seen (at most 32 patterns). `findings` may be null.
unsigned KeyTreeMentionsOf(RegistryApi& registry, HKEY key, const std::vector<std::wstring_view>& patterns,
                           REGSAM access, SubtreeFindings* findings);

// The same, ending the walk as soon as every pattern has been seen, since the search has no
// effect besides its answer.
unsigned KeyTreeMentionsUntilAllSeen(RegistryApi& registry, HKEY key, const std::vector<std::wstring_view>& patterns,
                                     REGSAM access, SubtreeFindings* findings);
