#pragma once
// Sink for the registry cleaner's backups: each key a rule removes is handed here, with its
// subtree, just before it is deleted, and is deleted only once the backup has it.

#include <string>

#include "platform/registry_api.h"

// What became of a save.
enum class BackupOutcome {
    Saved,       // the backup has it
    Gone,        // it is not there (in this view): nothing to keep, and nothing to remove
    Unreadable,  // it could not be read: it must stay, the run may go on
    NotWritten,  // it did not reach the backup's file: it must stay, and so must all that follows
};

class RegistryBackup {
public:
    virtual ~RegistryBackup() = default;

    // `parent`\`path` is about to be deleted in the view that the view bits of `access` select.
    // `keyName` is its full name with the root spelled out, as a ".reg" file names it
    // ("HKEY_LOCAL_MACHINE\SOFTWARE\Tallowbrisk"). The key is deleted only when this returns
    // Saved. The base class keeps nothing, and says Saved.
    virtual BackupOutcome save(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access,
                               const std::wstring& keyName) {
        (void)registry;
        (void)parent;
        (void)path;
        (void)access;
        (void)keyName;
        return BackupOutcome::Saved;
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
