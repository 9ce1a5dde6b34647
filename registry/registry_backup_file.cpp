#include "registry/registry_backup_file.h"

#include <utility>

#include "registry/export_key_tree.h"
#include "registry/reg_file_text.h"
#include "report/log_folder.h"

RegistryBackupFile::RegistryBackupFile(std::wstring windowsFolder) : windowsFolder_(std::move(windowsFolder)) {}

void RegistryBackupFile::save(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access,
                              const std::wstring& keyName) {
    const std::wstring sections = ExportKeyTree(registry, parent, path, access, keyName);
    if (!sections.empty()) {
        write(sections, (access & KEY_WOW64_32KEY) != 0);
    }
}

bool RegistryBackupFile::saveValue(const std::wstring& keyName, const std::wstring& valueName, DWORD type,
                                   const BYTE* data, DWORD size, bool view32) {
    if (!WritableKeyName(keyName)) {
        return false;
    }
    return write(RegKeyLine(keyName) + RegValueLine(valueName, type, data, size) + L"\r\n", view32);
}

bool RegistryBackupFile::write(const std::wstring& sections, bool view32) {
    Output& output = outputs_[view32 ? 1 : 0];
    if (!output.tried) {
        output.tried = true;
        open(output, view32);
    }
    if (output.file && !WriteWhole(output.file.get(), sections)) {
        // Nothing more goes behind a cut section (a disk that is full, say): the import could
        // read the next section's line as the cut value's continuation.
        output.file.reset();
        return false;
    }
    return static_cast<bool>(output.file);
}

void RegistryBackupFile::open(Output& output, bool view32) {
    if (!stemMade_) {
        stemMade_ = true;
        stem_ = NewLogFileStem(windowsFolder_);
    }
    if (stem_.empty()) {
        return;
    }
    const std::wstring path = stem_ + (view32 ? L".32.reg" : L".reg");
    // A file of the same name, from a run in the same second, is added to rather than begun
    // anew: its keys may be gone by now, and this is their only copy. Sections stand alone, so
    // the file stays one that imports whole. Each key's sections reach the file before the key
    // is deleted.
    unique_file file = OpenForAppending(path, std::wstring(L"\xFEFF") + kRegFileHeader);
    if (!file) {
        return;
    }
    output.file = std::move(file);
    output.path = path;
}
