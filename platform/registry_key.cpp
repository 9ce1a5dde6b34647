#include "platform/registry_key.h"

LSTATUS QueryKeyIsLink(RegistryApi& api, HKEY key, bool* link) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    const LSTATUS status = api.queryValue(key, kLinkValueName, &type, nullptr, &size);
    *link = status == ERROR_SUCCESS && type == REG_LINK;
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LSTATUS OpenKeyRefusingLink(RegistryApi& api, HKEY parent, const wchar_t* subKey, REGSAM access,
                            unique_registry_key& key) {
    LSTATUS status = OpenRegistryKey(api, parent, subKey, access | KEY_QUERY_VALUE, key, REG_OPTION_OPEN_LINK);
    if (status != ERROR_SUCCESS || key.get().key == parent) {
        return status;  // a predefined root, handed back for the empty path, is never a link
    }
    bool link = false;
    status = QueryKeyIsLink(api, key.get().key, &link);
    if (status == ERROR_SUCCESS && link) {
        status = kKeyIsLink;
    }
    if (status != ERROR_SUCCESS) {
        key.reset();
    }
    return status;
}
