#include "registry/backup_key_name.h"

#include <vector>

#include "platform/registry_key.h"

namespace {

constexpr DWORD kKeyNameBuffer = 512;  // characters; key names are at most 255

const wchar_t* RootLongName(HKEY root) {
    if (root == HKEY_CLASSES_ROOT) return L"HKEY_CLASSES_ROOT";
    if (root == HKEY_CURRENT_USER) return L"HKEY_CURRENT_USER";
    if (root == HKEY_LOCAL_MACHINE) return L"HKEY_LOCAL_MACHINE";
    return L"";
}

}  // namespace

std::wstring BackupKeyName(HKEY root, const wchar_t* path) {
    std::wstring name = RootLongName(root);
    if (*path) {
        name += L'\\';
        name += path;
    }
    return name;
}

std::wstring SpelledKeyName(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access,
                            std::wstring keyName) {
    const size_t slash = path.rfind(L'\\');
    const std::wstring last = path.substr(slash == std::wstring::npos ? 0 : slash + 1);
    if (last.empty() || keyName.size() < last.size()) {
        return keyName;
    }
    unique_registry_key holder;
    HKEY container = parent;
    if (slash != std::wstring::npos) {
        const REGSAM read = KEY_READ | (access & kRegistryViewBits);
        if (OpenRegistryKey(registry, parent, path.substr(0, slash).c_str(), read, holder) != ERROR_SUCCESS) {
            return keyName;
        }
        container = holder.get().key;
    }
    RegistryKeyInfo info;
    if (registry.queryInfoKey(container, &info) != ERROR_SUCCESS) {
        return keyName;
    }
    std::vector<wchar_t> name(kKeyNameBuffer);
    for (DWORD index = 0; index < info.subkeys; ++index) {
        DWORD length = kKeyNameBuffer;
        if (registry.enumKey(container, index, name.data(), &length) == ERROR_SUCCESS &&
            CompareStringOrdinal(name.data(), static_cast<int>(length), last.c_str(), static_cast<int>(last.size()),
                                 TRUE) == CSTR_EQUAL) {
            keyName.replace(keyName.size() - last.size(), last.size(), name.data(), length);
            break;
        }
    }
    return keyName;
}
