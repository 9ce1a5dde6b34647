#include "registry/value_match.h"

namespace {

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool IsHexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'); }

}  // namespace

bool ValueNameHolds(std::wstring_view name, std::wstring_view pattern) {
    return !pattern.empty() && name.find(pattern) != std::wstring_view::npos;
}

bool Utf16DataHoldsAnyCase(const std::uint8_t* data, std::size_t size, std::wstring_view pattern) {
    if (!data || pattern.empty()) {
        return false;
    }
    const std::size_t units = size / 2;  // an odd last byte is no code unit
    if (units < pattern.size()) {
        return false;
    }
    for (std::size_t start = 0; start + pattern.size() <= units; ++start) {
        std::size_t i = 0;
        for (; i < pattern.size(); ++i) {
            const std::size_t at = (start + i) * 2;
            const wchar_t unit = static_cast<wchar_t>(data[at] | (data[at + 1] << 8));
            if (FoldAscii(unit) != FoldAscii(pattern[i])) break;
        }
        if (i == pattern.size()) {
            return true;
        }
    }
    return false;
}

bool IsBracedGuid(std::wstring_view text) {
    constexpr std::wstring_view kShape = L"{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
    if (text.size() != kShape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (kShape[i] == L'x' ? !IsHexDigit(text[i]) : text[i] != kShape[i]) {
            return false;
        }
    }
    return true;
}
