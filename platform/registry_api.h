#pragma once
// The narrow registry interface the cleaner works through. Each operation mirrors one
// advapi32 call, with its error codes: the real registry (registry_win32.h) forwards to
// advapi32; the in-memory one, a test double (tests/unit/support/registry_memory.h), stands
// in for it in the tests.

#include <windows.h>

#include <string>

// What RegQueryInfoKeyW reports about a key. Lengths are in characters without the
// terminator, the data size in bytes, as advapi32 gives them.
struct RegistryKeyInfo {
    DWORD subkeys = 0;
    DWORD maxSubkeyLength = 0;
    DWORD values = 0;
    DWORD maxValueNameLength = 0;
    DWORD maxValueDataSize = 0;
};

class RegistryApi {
public:
    virtual ~RegistryApi() = default;

    // RegOpenKeyExW. The view bits of `access` (KEY_WOW64_64KEY, KEY_WOW64_32KEY) choose
    // the registry view; without them the process's own view is used. An empty `subKey`
    // opens `parent` itself. `options` is 0 or REG_OPTION_OPEN_LINK: with it, a last step of
    // `subKey` that is a registry link opens the link itself (its only value is
    // "SymbolicLinkValue", of type REG_LINK, naming the target), not the key it names; the
    // steps before it are followed as always.
    virtual LSTATUS openKey(HKEY parent, const wchar_t* subKey, DWORD options, REGSAM access, HKEY* result) = 0;

    // RegQueryInfoKeyW: numbers of subkeys and values and the longest name and data.
    virtual LSTATUS queryInfoKey(HKEY key, RegistryKeyInfo* info) = 0;

    // RegEnumKeyExW. `nameLength` holds the buffer's size in characters, the terminator
    // included, and receives the name's length without it. A name that does not fit gives
    // ERROR_MORE_DATA; an index past the end gives ERROR_NO_MORE_ITEMS.
    virtual LSTATUS enumKey(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength) = 0;

    // RegEnumValueW. `nameLength` as for enumKey; `dataSize` holds the data buffer's size
    // in bytes and receives the data's size. A name or data that does not fit gives
    // ERROR_MORE_DATA. `type`, `data` and `dataSize` may be null, as in advapi32 (`dataSize`
    // may be null only when `data` is). The default value has the empty name.
    virtual LSTATUS enumValue(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength, DWORD* type, BYTE* data,
                              DWORD* dataSize) = 0;

    // RegDeleteKeyExW, never through a link: deletes a key that has no subkeys, in the view
    // chosen by `viewBits` (0 or one of KEY_WOW64_64KEY, KEY_WOW64_32KEY). A key with subkeys
    // is refused. The last step of `subKey` is opened as it is (REG_OPTION_OPEN_LINK): a key
    // that is a link is refused with kKeyIsLink, and neither it nor its target is deleted
    // (RegDeleteKeyExW itself would follow it and delete the target).
    virtual LSTATUS deleteKey(HKEY parent, const wchar_t* subKey, REGSAM viewBits) = 0;

    // RegCloseKey.
    virtual LSTATUS closeKey(HKEY key) = 0;

    // RegQueryValueExW: the type and data of the value named `name` (empty: the default value).
    // `dataSize` holds the buffer's size in bytes and receives the data's size; data that does
    // not fit gives ERROR_MORE_DATA. `data` may be null to ask for the size alone. A missing
    // value gives ERROR_FILE_NOT_FOUND.
    virtual LSTATUS queryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* dataSize) {
        (void)key;
        (void)name;
        (void)type;
        (void)data;
        (void)dataSize;
        return ERROR_CALL_NOT_IMPLEMENTED;
    }

    // RegDeleteValueW: deletes the value named `name` of `key`, which was opened with
    // KEY_SET_VALUE. A missing value gives ERROR_FILE_NOT_FOUND.
    virtual LSTATUS deleteValue(HKEY key, const wchar_t* name) {
        (void)key;
        (void)name;
        return ERROR_CALL_NOT_IMPLEMENTED;
    }

    // The full name of the key that `key` really is, as the registry resolved it when the key
    // was opened: links followed, and under WOW64 the 32-bit view's "Wow6432Node" step
    // spelled out. So a key that both views share has one name, a redirected key two, and a
    // key reached through two roots (HKCR and HKLM\SOFTWARE\Classes) one. HKEY_LOCAL_MACHINE's
    // name begins the name of every key of the machine's hive. Registries that cannot tell give
    // ERROR_CALL_NOT_IMPLEMENTED.
    virtual LSTATUS queryKeyName(HKEY key, std::wstring* name) {
        (void)key;
        (void)name;
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
};

// The answer to an open or a delete that met a registry link where a key must be taken as it
// is: ERROR_STOPPED_ON_SYMLINK of the Windows SDK's winerror.h, which mingw-w64's lacks.
constexpr LSTATUS kKeyIsLink = 681;

// The name and type of the one value of a registry link.
constexpr wchar_t kLinkValueName[] = L"SymbolicLinkValue";

// The view bits of an access mask.
constexpr REGSAM kRegistryViewBits = KEY_WOW64_64KEY | KEY_WOW64_32KEY;

// An open or a read that failed because the key is not there: it never was, or it went while
// it was being looked at. Any other error (access denied, say) leaves open what the key holds.
constexpr bool KeyIsMissing(LSTATUS status) {
    return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND || status == ERROR_KEY_DELETED;
}
