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
};
