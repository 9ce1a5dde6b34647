#include "platform/registry_value.h"

#include <string_view>
#include <vector>

#include "platform/text.h"

namespace {

constexpr DWORD kValueNameBuffer = 16384;  // value names are at most 16,383 characters
constexpr DWORD kMaxStringData = 1 << 20;  // a string value longer than this is nobody's path or name

bool TypeTaken(DWORD type, unsigned kinds) {
    return (type == REG_SZ && (kinds & kPlainString)) || (type == REG_EXPAND_SZ && (kinds & kExpandableString));
}

}  // namespace

bool ReadStringValue(RegistryApi& registry, HKEY key, const wchar_t* name, std::wstring* text, unsigned kinds) {
    RegistryKeyInfo info;
    if (registry.queryInfoKey(key, &info) != ERROR_SUCCESS) return false;
    std::vector<wchar_t> valueName(kValueNameBuffer);
    for (DWORD index = 0; index < info.values; ++index) {
        DWORD nameLength = kValueNameBuffer;
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (registry.enumValue(key, index, valueName.data(), &nameLength, &type, nullptr, &size) != ERROR_SUCCESS ||
            !SameText({valueName.data(), nameLength}, name)) {
            continue;
        }
        if (!TypeTaken(type, kinds) || size % sizeof(wchar_t) != 0 || size > kMaxStringData) return false;
        std::vector<BYTE> data(size + sizeof(wchar_t));
        nameLength = kValueNameBuffer;
        DWORD read = size;
        if (registry.enumValue(key, index, valueName.data(), &nameLength, &type, data.data(), &read) != ERROR_SUCCESS ||
            read != size || !TypeTaken(type, kinds)) {
            return false;  // changed in between: nothing certain is known of it
        }
        const std::wstring_view chars(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
        const size_t end = chars.find(L'\0');
        if (end == std::wstring_view::npos && !(kinds & kUnterminatedString)) return false;
        text->assign(chars.substr(0, end));
        return true;
    }
    return false;
}
