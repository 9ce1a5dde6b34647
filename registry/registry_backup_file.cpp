#include "registry/registry_backup_file.h"

#include <windows.h>

#include <utility>

#include "registry/export_key_tree.h"
#include "registry/reg_file_text.h"

RegistryBackupFile::RegistryBackupFile(std::wstring windowsFolder)
    : ownStem_(std::move(windowsFolder)), stem_(&ownStem_) {}

RegistryBackupFile::RegistryBackupFile(RunFileStem& stem) : stem_(&stem) {}

RegistryBackupFile::~RegistryBackupFile() {
    for (Output& output : outputs_) {
        // Opened ahead of need and never used: no trace is left of a backup that holds no key.
        if (output.file && output.made && !output.saved) {
            output.file.reset();
            DeleteFileW(output.path.c_str());
        }
    }
}

bool RegistryBackupFile::saveValue(const std::wstring& keyName, const std::wstring& valueName,
                                   const RegistryValueData& value, REGSAM access) {
    if (!WritableName(keyName) || !WritableName(valueName)) {
        return false;
    }
    return write(RegKeyLine(keyName) + RegValueLine(valueName, value.type, value.bytes, value.size) + L"\r\n",
                 (access & KEY_WOW64_32KEY) != 0);
}

BackupOutcome RegistryBackupFile::save(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access,
                                       const std::wstring& keyName) {
    const ExportedKeyTree exported = ExportKeyTree(registry, parent, path, access, keyName);
    if (KeyIsMissing(exported.status)) {
        return BackupOutcome::Gone;
    }
    if (exported.status != ERROR_SUCCESS) {
        return BackupOutcome::Unreadable;
    }
    return write(exported.text, (access & KEY_WOW64_32KEY) != 0) ? BackupOutcome::Saved : BackupOutcome::NotWritten;
}

bool RegistryBackupFile::openNow() {
    Output& output = outputs_[0];
    if (!output.tried) {
        output.tried = true;
        open(output, false);
    }
    return static_cast<bool>(output.file);
}

bool RegistryBackupFile::write(const std::wstring& sections, bool view32) {
    Output& output = outputs_[view32 ? 1 : 0];
    if (!output.tried) {
        output.tried = true;
        open(output, view32);
    }
    if (!output.file) {
        return false;
    }
    if (!AppendWhole(output.file.get(), output.path, sections)) {
        // The cut section is taken off again; nothing more is written (a disk that is full, say),
        // so that the file imports whole should the cut fail too.
        output.file.reset();
        return false;
    }
    output.saved = true;
    return true;
}

bool RegistryBackupFile::open(Output& output, bool view32) {
    const std::wstring& stem = stem_->make();
    if (stem.empty()) {
        return false;
    }
    const std::wstring path = stem + (view32 ? L".32.reg" : L".reg");
    // A file of the same name, from a run in the same second, is added to rather than begun
    // anew: its keys may be gone by now, and this is their only copy. Sections stand alone, so
    // the file stays one that imports whole. Each key's sections reach the file before the key
    // is deleted.
    const bool existed = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    unique_file file = OpenForAppending(path, std::wstring(L"\xFEFF") + kRegFileHeader);
    if (!file) {
        return false;
    }
    output.file = std::move(file);
    output.made = !existed;
    output.path = path;
    return true;
}
