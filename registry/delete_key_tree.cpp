#include "registry/delete_key_tree.h"

#include <cstdio>
#include <vector>

#include "platform/registry_key.h"

namespace {

// Subkey names are at most 255 characters.
constexpr DWORD kChildNameBuffer = 260;

bool DeleteTree(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access, int depth) {
    // An empty path would name the parent itself; a path too long for the registry would
    // reach it cut short, naming another key.
    if (path.empty() || path.size() > kMaxSubkeyPathLength || depth > kMaxKeyDepth) {
        return false;
    }
    const REGSAM view = access & kRegistryViewBits;
    LSTATUS status = registry.deleteKey(parent, path.c_str(), view);
    if (status == ERROR_SUCCESS) {
        return true;
    }
    if (status == kKeyIsLink) {
        return false;
    }

    unique_registry_key key;
    status = OpenKeyRefusingLink(registry, parent, path.c_str(), kDeleteTreeAccess | view, key);
    if (KeyIsMissing(status)) {
        return true;
    }
    if (status == kKeyIsLink) {
        return false;
    }
    if (status != ERROR_SUCCESS) {
        std::fputs("Error opening key.\n", stdout);
        return false;
    }

    // Deleting a child moves the next one to index 0, so index 0 is read until none is left.
    // Each child is named below this key's own handle, so that the path to it is never looked
    // up again. The name buffer lives on the heap: the recursion can be 512 levels deep.
    std::vector<wchar_t> name(kChildNameBuffer);
    std::wstring previous;
    for (;;) {
        DWORD length = kChildNameBuffer;
        if (registry.enumKey(key.get().key, 0, name.data(), &length) != ERROR_SUCCESS) {
            break;
        }
        std::wstring child(name.data(), length);
        // A child "deleted" but still listed (one that vanished from under its name, say)
        // would be read again forever; a name with a NUL would name another key to the registry.
        if (child.empty() || child.find_first_of(std::wstring(L"\\\0", 2)) != std::wstring::npos || child == previous) {
            break;
        }
        if (!DeleteTree(registry, key.get().key, child, access, depth + 1)) {
            break;
        }
        previous = std::move(child);
    }
    key.reset();
    return registry.deleteKey(parent, path.c_str(), view) == ERROR_SUCCESS;
}

}  // namespace

bool DeleteKeyTree(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access) {
    return DeleteTree(registry, parent, path, access, 0);
}
