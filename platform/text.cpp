#include "platform/text.h"

#include <windows.h>

bool SameText(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                                        static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool StartsWithText(std::wstring_view text, std::wstring_view head) {
    return text.size() >= head.size() && SameText(text.substr(0, head.size()), head);
}

bool EndsWithText(std::wstring_view text, std::wstring_view tail) {
    return text.size() >= tail.size() && SameText(text.substr(text.size() - tail.size()), tail);
}
