#include "platform/registry_win32.h"

LSTATUS Win32Registry::openKey(HKEY parent, const wchar_t* subKey, REGSAM access, HKEY* result) {
    return RegOpenKeyExW(parent, subKey, 0, access, result);
}

LSTATUS Win32Registry::queryInfoKey(HKEY key, RegistryKeyInfo* info) {
    *info = RegistryKeyInfo{};
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &info->subkeys, &info->maxSubkeyLength, nullptr,
                            &info->values, &info->maxValueNameLength, &info->maxValueDataSize, nullptr, nullptr);
}

LSTATUS Win32Registry::enumKey(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength) {
    return RegEnumKeyExW(key, index, name, nameLength, nullptr, nullptr, nullptr, nullptr);
}

LSTATUS Win32Registry::enumValue(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength, DWORD* type, BYTE* data,
                                 DWORD* dataSize) {
    return RegEnumValueW(key, index, name, nameLength, nullptr, type, data, dataSize);
}

LSTATUS Win32Registry::deleteKey(HKEY parent, const wchar_t* subKey, REGSAM viewBits) {
    return RegDeleteKeyExW(parent, subKey, viewBits, 0);
}

LSTATUS Win32Registry::closeKey(HKEY key) { return RegCloseKey(key); }

RegistryApi& SystemRegistry() {
    static Win32Registry registry;
    return registry;
}
