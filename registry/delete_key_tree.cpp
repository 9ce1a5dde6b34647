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
    if (registry.deleteKey(parent, path.c_str(), view) == ERROR_SUCCESS) {
        return true;
    }

    unique_registry_key key;
    LSTATUS status = OpenRegistryKey(registry, parent, path.c_str(), kDeleteTreeAccess | view, key);
    if (KeyIsMissing(status)) {
        return true;
    }
    if (status != ERROR_SUCCESS) {
        std::fputs("Error opening key.\n", stdout);
        return false;
    }

    std::wstring base = path;
    if (base.back() != L'\\') {
        base += L'\\';
    }
    // Deleting a child moves the next one to index 0, so index 0 is read until none is left.
    // The name buffer lives on the heap: the recursion can be 512 levels deep.
    std::vector<wchar_t> name(kChildNameBuffer);
    std::wstring previous;
    for (;;) {
        DWORD length = kChildNameBuffer;
        if (registry.enumKey(key.get().key, 0, name.data(), &length) != ERROR_SUCCESS) {
            break;
        }
        std::wstring child(name.data(), length);
        // A child "deleted" but still listed (one that vanished from under its name, say
        // through a dangling link) would be read again forever.
        if (child.empty() || child.find(L'\\') != std::wstring::npos || child == previous) {
            break;
        }
        if (!DeleteTree(registry, parent, base + child, access, depth + 1)) {
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
