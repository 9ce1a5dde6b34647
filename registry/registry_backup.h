#pragma once
// Sink for the registry cleaner's backups: each key a rule removes is handed here, with its
// subtree, just before it is deleted.

#include <string>

#include "platform/registry_api.h"

class RegistryBackup {
public:
    virtual ~RegistryBackup() = default;

    // `parent`\`path` is about to be deleted in the view that the view bits of `access` select.
    // `keyName` is its full name with the root spelled out, as a ".reg" file names it
    // ("HKEY_LOCAL_MACHINE\SOFTWARE\Tallowbrisk"). The base class keeps nothing.
    virtual void save(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access,
                      const std::wstring& keyName) {
        (void)registry;
        (void)parent;
        (void)path;
        (void)access;
        (void)keyName;
    }

    // The value `valueName` of the key named `keyName` (as for save) is about to be deleted in
    // the view that `view32` names; the key itself stays. True when the value is kept, so that
    // the deletion may go ahead: the base class keeps nothing and holds nothing back.
    virtual bool saveValue(const std::wstring& keyName, const std::wstring& valueName, DWORD type, const BYTE* data,
                           DWORD size, bool view32) {
        (void)keyName;
        (void)valueName;
        (void)type;
        (void)data;
        (void)size;
        (void)view32;
        return true;
    }
};
