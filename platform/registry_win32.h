#pragma once
// The registry interface on advapi32.

#include "platform/registry_api.h"

class Win32Registry : public RegistryApi {
public:
    LSTATUS openKey(HKEY parent, const wchar_t* subKey, REGSAM access, HKEY* result) override;
    LSTATUS queryInfoKey(HKEY key, RegistryKeyInfo* info) override;
    LSTATUS enumKey(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength) override;
    LSTATUS enumValue(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength, DWORD* type, BYTE* data,
                      DWORD* dataSize) override;
    LSTATUS deleteKey(HKEY parent, const wchar_t* subKey, REGSAM viewBits) override;
    LSTATUS closeKey(HKEY key) override;
    LSTATUS queryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* dataSize) override;
    LSTATUS deleteValue(HKEY key, const wchar_t* name) override;
    // The kernel's name of the key ("\REGISTRY\MACHINE\SOFTWARE\..."), from NtQueryKey.
    LSTATUS queryKeyName(HKEY key, std::wstring* name) override;
};

// The one advapi32 registry of the process.
RegistryApi& SystemRegistry();
