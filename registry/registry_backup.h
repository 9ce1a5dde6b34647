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

// A value's data as the registry gives it: its type, and its `size` bytes at `bytes`.
struct RegistryValueData {
    DWORD type;
    const BYTE* bytes;
    DWORD size;
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

    // The value `valueName` of the key named `keyName` (as for save), holding `value`, is about
    // to be deleted in the view that the view bits of `access` select; the key itself stays. True
    // when the value is kept, so that the deletion may go ahead: the base class keeps nothing and
    // holds nothing back.
    virtual bool saveValue(const std::wstring& keyName, const std::wstring& valueName, const RegistryValueData& value,
                           REGSAM access) {
        (void)keyName;
        (void)valueName;
        (void)value;
        (void)access;
        return true;
    }
};
