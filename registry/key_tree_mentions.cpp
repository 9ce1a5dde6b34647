#include "registry/key_tree_mentions.h"

#include <vector>

#include "platform/registry_key.h"
#include "registry/delete_key_tree.h"

namespace {

constexpr DWORD kKeyNameBuffer = 512;     // characters; key names are at most 255
constexpr DWORD kValueNameBuffer = 4096;  // characters, the terminator included
constexpr DWORD kValueDataBuffer = 4096;  // bytes

// One walk: the patterns, what has been seen so far, and one set of buffers for the whole
// walk, on the heap: a key chain can be 512 levels deep, and 8 KB of buffers on each
// level's stack frame would overflow the main thread's stack.
struct Search {
    RegistryApi& registry;
    const std::vector<std::wstring_view>& patterns;
    REGSAM access;
    bool stopWhenAllSeen;
    unsigned all;
    KeyValueNames* top;
    unsigned seen = 0;
    bool settled = true;
    bool whole = true;  // every key below could be opened, or was not there
    std::vector<wchar_t> keyName = std::vector<wchar_t>(kKeyNameBuffer);
    std::vector<wchar_t> valueName = std::vector<wchar_t>(kValueNameBuffer);
    std::vector<BYTE> data = std::vector<BYTE>(kValueDataBuffer);

    void look(std::wstring_view text) {
        for (size_t i = 0; i < patterns.size(); ++i) {
            if (text.find(patterns[i]) != std::wstring_view::npos) seen |= 1u << i;
        }
    }
    bool done() const { return stopWhenAllSeen && seen == all; }
    // A refused access stays refused, and a value too large stays too large; any other
    // failure might not happen again.
    void note(LSTATUS status) {
        if (status != ERROR_ACCESS_DENIED && status != ERROR_MORE_DATA) settled = false;
    }
};

// REG_SZ data as text: up to its terminator, or to its end when the writer left none.
std::wstring_view StringData(const BYTE* data, DWORD size) {
    std::wstring_view text(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
    size_t end = text.find(L'\0');
    return end == std::wstring_view::npos ? text : text.substr(0, end);
}

void Walk(Search& search, HKEY key, int depth) {
    RegistryKeyInfo info;
    LSTATUS status = search.registry.queryInfoKey(key, &info);
    if (status != ERROR_SUCCESS) {
        search.note(status);
        info = RegistryKeyInfo{};
    }
    KeyValueNames* top = depth == 0 ? search.top : nullptr;
    if (top) {
        *top = KeyValueNames{};
        top->subkeys = info.subkeys;
    }
    bool allValuesRead = status == ERROR_SUCCESS;

    for (DWORD index = 0; index < info.subkeys && !search.done(); ++index) {
        DWORD length = kKeyNameBuffer;
        status = search.registry.enumKey(key, index, search.keyName.data(), &length);
        if (status != ERROR_SUCCESS) {
            search.settled = false;
            continue;
        }
        search.look({search.keyName.data(), length});
        if (depth >= kMaxKeyDepth || search.done()) {
            continue;
        }
        // A link is not entered: what its target holds is not the subtree's.
        unique_registry_key child;
        status = OpenKeyRefusingLink(search.registry, key, search.keyName.data(), search.access, child);
        if (status == ERROR_SUCCESS) {
            Walk(search, child.get().key, depth + 1);
        } else if (status != kKeyIsLink) {
            search.note(status);
            if (!KeyIsMissing(status)) search.whole = false;
        }
    }

    for (DWORD index = 0; index < info.values && !search.done(); ++index) {
        DWORD nameLength = kValueNameBuffer;
        DWORD type = REG_NONE;
        DWORD size = kValueDataBuffer;
        status = search.registry.enumValue(key, index, search.valueName.data(), &nameLength, &type, search.data.data(),
                                           &size);
        if (status != ERROR_SUCCESS) {
            search.note(status);
            allValuesRead = false;
            continue;
        }
        if (top) top->names.emplace_back(search.valueName.data(), nameLength);
        search.look({search.valueName.data(), nameLength});
        if (type == REG_SZ) {
            search.look(StringData(search.data.data(), size));
        }
    }
    if (top) top->complete = allValuesRead && top->names.size() == info.values;
}

}  // namespace

namespace {

unsigned SearchTree(Search& search, HKEY key, SubtreeFindings* findings) {
    Walk(search, key, 0);
    if (findings) {
        findings->settled = search.settled;
        findings->whole = search.whole;
    }
    return search.seen;
}

unsigned AllPatterns(const std::vector<std::wstring_view>& patterns) {
    return patterns.size() >= 32 ? ~0u : (1u << patterns.size()) - 1;
}

}  // namespace

unsigned KeyTreeMentionsOf(RegistryApi& registry, HKEY key, const std::vector<std::wstring_view>& patterns,
                           REGSAM access, SubtreeFindings* findings) {
    Search search{registry, patterns, access, false, AllPatterns(patterns), findings ? findings->top : nullptr};
    return SearchTree(search, key, findings);
}

unsigned KeyTreeMentionsUntilAllSeen(RegistryApi& registry, HKEY key, const std::vector<std::wstring_view>& patterns,
                                     REGSAM access, SubtreeFindings* findings) {
    Search search{registry, patterns, access, true, AllPatterns(patterns), findings ? findings->top : nullptr};
    return SearchTree(search, key, findings);
}

bool KeyTreeMentions(RegistryApi& registry, HKEY key, const wchar_t* pattern, REGSAM access) {
    return KeyTreeMentionsOf(registry, key, {pattern}, access, nullptr) != 0;
}
