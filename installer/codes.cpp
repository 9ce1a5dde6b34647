#include "installer/codes.h"

#include <algorithm>

namespace {

// The number of hex digits in each group of a GUID; packing reverses the first three groups
// whole and the digits of each byte of the last two.
constexpr size_t kGroups[] = {8, 4, 4, 4, 12};
constexpr size_t kPackedLength = 32;
constexpr size_t kBracedLength = 38;

wchar_t UpperHex(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c;
    if (c >= L'A' && c <= L'F') return c;
    if (c >= L'a' && c <= L'f') return static_cast<wchar_t>(c - L'a' + L'A');
    return 0;
}

// Packing is its own inverse on the 32 digits.
std::wstring Swapped(const std::wstring& digits) {
    std::wstring out;
    size_t at = 0;
    for (size_t group = 0; group < 5; ++group) {
        const size_t length = kGroups[group];
        if (group < 3) {
            std::wstring part = digits.substr(at, length);
            std::reverse(part.begin(), part.end());
            out += part;
        } else {
            for (size_t i = 0; i < length; i += 2) {
                out += digits[at + i + 1];
                out += digits[at + i];
            }
        }
        at += length;
    }
    return out;
}

}  // namespace

std::wstring NormalPackedCode(std::wstring_view packed) {
    if (packed.size() != kPackedLength) return std::wstring();
    std::wstring digits;
    for (wchar_t c : packed) {
        const wchar_t upper = UpperHex(c);
        if (!upper) return std::wstring();
        digits += upper;
    }
    return digits;
}

std::wstring PackedCode(std::wstring_view braced) {
    if (braced.size() != kBracedLength || braced.front() != L'{' || braced.back() != L'}') return std::wstring();
    std::wstring digits;
    size_t at = 1;
    for (size_t group = 0; group < 5; ++group) {
        if (group > 0) {
            if (braced[at] != L'-') return std::wstring();
            ++at;
        }
        for (size_t i = 0; i < kGroups[group]; ++i, ++at) {
            const wchar_t upper = UpperHex(braced[at]);
            if (!upper) return std::wstring();
            digits += upper;
        }
    }
    return Swapped(digits);
}

std::wstring BracedCode(std::wstring_view packed) {
    const std::wstring digits = NormalPackedCode(packed);
    if (digits.empty()) return std::wstring();
    const std::wstring plain = Swapped(digits);
    std::wstring braced = L"{";
    size_t at = 0;
    for (size_t group = 0; group < 5; ++group) {
        if (group > 0) braced += L'-';
        braced.append(plain, at, kGroups[group]);
        at += kGroups[group];
    }
    return braced + L'}';
}
