#include "registry/key_tree_mentions.h"

#include <string_view>
#include <vector>

#include "platform/registry_key.h"
#include "registry/delete_key_tree.h"

namespace {

constexpr DWORD kKeyNameBuffer = 512;     // characters; key names are at most 255
constexpr DWORD kValueNameBuffer = 4096;  // characters, the terminator included
constexpr DWORD kValueDataBuffer = 4096;  // bytes

// One set of buffers for the whole walk, on the heap: a key chain can be 512 levels deep,
// and 8 KB of buffers on each level's stack frame would overflow the main thread's stack.
struct SearchBuffers {
    std::vector<wchar_t> keyName = std::vector<wchar_t>(kKeyNameBuffer);
    std::vector<wchar_t> valueName = std::vector<wchar_t>(kValueNameBuffer);
    std::vector<BYTE> data = std::vector<BYTE>(kValueDataBuffer);
};

bool Holds(std::wstring_view text, std::wstring_view pattern) { return text.find(pattern) != std::wstring_view::npos; }

// REG_SZ data as text: up to its terminator, or to its end when the writer left none.
std::wstring_view StringData(const BYTE* data, DWORD size) {
    std::wstring_view text(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
    size_t end = text.find(L'\0');
    return end == std::wstring_view::npos ? text : text.substr(0, end);
}

bool Mentions(RegistryApi& registry, HKEY key, std::wstring_view pattern, REGSAM access, int depth,
              SearchBuffers& buffers) {
    RegistryKeyInfo info;
    if (registry.queryInfoKey(key, &info) != ERROR_SUCCESS) {
        info = RegistryKeyInfo{};
    }
    bool found = false;

    for (DWORD index = 0; index < info.subkeys; ++index) {
        DWORD length = kKeyNameBuffer;
        if (registry.enumKey(key, index, buffers.keyName.data(), &length) != ERROR_SUCCESS) {
            continue;
        }
        if (Holds({buffers.keyName.data(), length}, pattern)) {
            found = true;
        }
        if (depth >= kMaxKeyDepth) {
            continue;
        }
        unique_registry_key child;
        if (OpenRegistryKey(registry, key, buffers.keyName.data(), access, child) == ERROR_SUCCESS) {
            if (Mentions(registry, child.get().key, pattern, access, depth + 1, buffers)) {
                found = true;
            }
        }
    }

    for (DWORD index = 0; index < info.values; ++index) {
        DWORD nameLength = kValueNameBuffer;
        DWORD type = REG_NONE;
        DWORD size = kValueDataBuffer;
        if (registry.enumValue(key, index, buffers.valueName.data(), &nameLength, &type, buffers.data.data(), &size) !=
            ERROR_SUCCESS) {
            continue;
        }
        if (Holds({buffers.valueName.data(), nameLength}, pattern)) {
            found = true;
        }
        if (type == REG_SZ && Holds(StringData(buffers.data.data(), size), pattern)) {
            found = true;
        }
    }
    return found;
}

}  // namespace

bool KeyTreeMentions(RegistryApi& registry, HKEY key, const wchar_t* pattern, REGSAM access) {
    SearchBuffers buffers;
    return Mentions(registry, key, pattern, access, 0, buffers);
}
