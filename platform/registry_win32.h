#pragma once
// The registry interface on advapi32.

#include "platform/registry_api.h"

class Win32Registry : public RegistryApi {
public:
    LSTATUS openKey(HKEY parent, const wchar_t* subKey, DWORD options, REGSAM access, HKEY* result) override;
    LSTATUS queryInfoKey(HKEY key, RegistryKeyInfo* info) override;
    LSTATUS enumKey(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength) override;
    LSTATUS enumValue(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength, DWORD* type, BYTE* data,
                      DWORD* dataSize) override;
    // The key opened as it is (REG_OPTION_OPEN_LINK, DELETE), refused if it is a link, then
    // deleted through that very handle (NtDeleteKey), so that no link made in between is followed.
    LSTATUS deleteKey(HKEY parent, const wchar_t* subKey, REGSAM viewBits) override;
    LSTATUS closeKey(HKEY key) override;
    LSTATUS queryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* dataSize) override;
    LSTATUS deleteValue(HKEY key, const wchar_t* name) override;
    // The kernel's name of the key ("\REGISTRY\MACHINE\SOFTWARE\..."), from NtQueryKey.
    LSTATUS queryKeyName(HKEY key, std::wstring* name) override;
};

// NtDeleteKey: deletes the key that `key` is (opened with DELETE; with REG_OPTION_OPEN_LINK, a
// link itself), as advapi32, which deletes by name only, can't. A key with subkeys is refused.
LSTATUS DeleteOpenedKey(HKEY key);

// The one advapi32 registry of the process.
RegistryApi& SystemRegistry();
