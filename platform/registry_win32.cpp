#include "platform/registry_win32.h"

#include <vector>

#include "platform/registry_key.h"

namespace {

template <typename Function>
Function NtdllEntry(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll"), name)));
}

// NtQueryKey with KeyNameInformation (3) has no advapi32 counterpart; ntdll has it since
// Windows 2000, and Wine has it too.
using NtQueryKeyFunction = LONG(NTAPI*)(HANDLE key, int informationClass, void* information, ULONG length,
                                        ULONG* resultLength);
constexpr int kKeyNameInformation = 3;
constexpr LONG kStatusBufferOverflow = static_cast<LONG>(0x80000005);
constexpr LONG kStatusBufferTooSmall = static_cast<LONG>(0xC0000023);

NtQueryKeyFunction NtQueryKeyEntry() {
    static const auto entry = NtdllEntry<NtQueryKeyFunction>("NtQueryKey");
    return entry;
}

// NtDeleteKey deletes the key that a handle is (a link opened as a link: the link): advapi32
// deletes only by name, and its lookup of the name follows links. RtlNtStatusToDosError gives
// its status as advapi32 would. Both are in ntdll since Windows 2000, and in Wine.
using NtDeleteKeyFunction = LONG(NTAPI*)(HANDLE key);
using RtlNtStatusToDosErrorFunction = ULONG(NTAPI*)(LONG status);

bool IsPredefinedKey(HKEY key) {
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE || key == HKEY_USERS ||
           key == HKEY_CURRENT_CONFIG;
}

LSTATUS KernelKeyName(HKEY key, std::wstring* name) {
    const NtQueryKeyFunction query = NtQueryKeyEntry();
    if (!query) {
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
    // KEY_NAME_INFORMATION: a byte count, then the name without a terminator.
    std::vector<ULONG> buffer(128);
    for (int attempt = 0; attempt < 2; ++attempt) {
        ULONG needed = 0;
        const LONG status =
            query(key, kKeyNameInformation, buffer.data(), static_cast<ULONG>(buffer.size() * sizeof(ULONG)), &needed);
        if (status >= 0) {
            const wchar_t* text = reinterpret_cast<const wchar_t*>(buffer.data() + 1);
            name->assign(text, buffer[0] / sizeof(wchar_t));
            return ERROR_SUCCESS;
        }
        if (status != kStatusBufferOverflow && status != kStatusBufferTooSmall) {
            return ERROR_INVALID_HANDLE;
        }
        buffer.resize(needed / sizeof(ULONG) + 2);
    }
    return ERROR_MORE_DATA;
}

}  // namespace

LSTATUS Win32Registry::openKey(HKEY parent, const wchar_t* subKey, DWORD options, REGSAM access, HKEY* result) {
    return RegOpenKeyExW(parent, subKey, options, access, result);
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
    unique_registry_key key;
    const LSTATUS status = OpenKeyRefusingLink(*this, parent, subKey, DELETE | (viewBits & kRegistryViewBits), key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (key.get().key == parent) {
        return ERROR_ACCESS_DENIED;  // a predefined root is never deleted
    }
    return DeleteOpenedKey(key.get().key);
}

LSTATUS Win32Registry::closeKey(HKEY key) { return RegCloseKey(key); }

LSTATUS Win32Registry::queryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* dataSize) {
    return RegQueryValueExW(key, name, nullptr, type, data, dataSize);
}

LSTATUS Win32Registry::deleteValue(HKEY key, const wchar_t* name) { return RegDeleteValueW(key, name); }

LSTATUS Win32Registry::queryKeyName(HKEY key, std::wstring* name) {
    if (!IsPredefinedKey(key)) {
        return KernelKeyName(key, name);
    }
    // A predefined key is no kernel handle. The machine's and the users' roots have names of
    // their own; for the others a handle of their own names them, where advapi32 gives one
    // (for the empty path it hands the predefined key back).
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_USERS) {
        *name = key == HKEY_LOCAL_MACHINE ? L"\\REGISTRY\\MACHINE" : L"\\REGISTRY\\USER";
        return ERROR_SUCCESS;
    }
    HKEY opened = nullptr;
    LSTATUS status = RegOpenKeyExW(key, nullptr, 0, KEY_QUERY_VALUE, &opened);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (opened == key) {
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
    status = KernelKeyName(opened, name);
    RegCloseKey(opened);
    return status;
}

LSTATUS DeleteOpenedKey(HKEY key) {
    static const auto deleteEntry = NtdllEntry<NtDeleteKeyFunction>("NtDeleteKey");
    static const auto toError = NtdllEntry<RtlNtStatusToDosErrorFunction>("RtlNtStatusToDosError");
    if (!deleteEntry || !toError) {
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
    const LONG deleted = deleteEntry(key);
    return deleted >= 0 ? ERROR_SUCCESS : static_cast<LSTATUS>(toError(deleted));
}

RegistryApi& SystemRegistry() {
    static Win32Registry registry;
    return registry;
}
