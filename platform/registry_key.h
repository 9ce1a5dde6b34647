#pragma once
// Owner of an open registry key. The key is closed through the interface that opened it,
// so the same owner serves advapi32 and the in-memory registry of the tests.

#include "platform/registry_api.h"
#include "platform/unique_any.h"

struct RegistryKeyHandle {
    RegistryApi* api = nullptr;
    HKEY key = nullptr;

    friend bool operator==(const RegistryKeyHandle& a, const RegistryKeyHandle& b) {
        return a.api == b.api && a.key == b.key;
    }
    friend bool operator!=(const RegistryKeyHandle& a, const RegistryKeyHandle& b) { return !(a == b); }
};

struct RegistryKeyPolicy {
    using pointer = RegistryKeyHandle;
    static pointer invalid() noexcept { return {}; }
    static void close(pointer value) noexcept { value.api->closeKey(value.key); }
};

using unique_registry_key = unique_any<RegistryKeyPolicy>;

// The short name of a predefined root, as the log writes it ("HKLM"); empty for any other key.
inline const wchar_t* RootName(HKEY root) {
    if (root == HKEY_CLASSES_ROOT) return L"HKCR";
    if (root == HKEY_CURRENT_USER) return L"HKCU";
    if (root == HKEY_LOCAL_MACHINE) return L"HKLM";
    return L"";
}

// RegOpenKeyExW into an owner, links followed. On failure the owner holds nothing.
inline LSTATUS OpenRegistryKey(RegistryApi& api, HKEY parent, const wchar_t* subKey, REGSAM access,
                               unique_registry_key& key, DWORD options = 0) {
    HKEY opened = nullptr;
    LSTATUS status = api.openKey(parent, subKey, options, access, &opened);
    key.reset(status == ERROR_SUCCESS ? RegistryKeyHandle{&api, opened} : RegistryKeyHandle{});
    return status;
}

// Whether `key`, opened with REG_OPTION_OPEN_LINK and KEY_QUERY_VALUE, is a registry link: it
// holds "SymbolicLinkValue" of type REG_LINK, which is what makes a key one (a value of that
// name and type is what the registry follows). ERROR_SUCCESS with `link` set; another error
// when the value could not be asked for, so that nothing is known.
LSTATUS QueryKeyIsLink(RegistryApi& api, HKEY key, bool* link);

// Opens `subKey` of `parent` as it is, never a key that a link names: its last step with
// REG_OPTION_OPEN_LINK (the steps before it are followed, as the system's own links are meant
// to be), and a key that turns out to be a link is closed again and refused with kKeyIsLink.
// KEY_QUERY_VALUE is asked for besides `access`, to tell. On failure the owner holds nothing.
LSTATUS OpenKeyRefusingLink(RegistryApi& api, HKEY parent, const wchar_t* subKey, REGSAM access,
                            unique_registry_key& key);
