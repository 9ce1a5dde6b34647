#include "registry/registry_backup_file.h"

#include <utility>

#include "registry/export_key_tree.h"
#include "registry/reg_file_text.h"
#include "report/log_folder.h"

namespace {

bool WriteText(HANDLE file, const std::wstring& text) {
    // UTF-16LE code units as they are. Each key's sections reach the file before the key is
    // deleted, in one write that no buffer of this process holds back.
    const DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD written = 0;
    return WriteFile(file, text.data(), size, &written, nullptr) && written == size;
}

}  // namespace

RegistryBackupFile::RegistryBackupFile(std::wstring windowsFolder) : windowsFolder_(std::move(windowsFolder)) {}

void RegistryBackupFile::save(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access,
                              const std::wstring& keyName) {
    const std::wstring sections = ExportKeyTree(registry, parent, path, access, keyName);
    if (!sections.empty()) {
        write(sections, (access & KEY_WOW64_32KEY) != 0);
    }
}

void RegistryBackupFile::write(const std::wstring& sections, bool view32) {
    Output& output = outputs_[view32 ? 1 : 0];
    if (!output.tried) {
        output.tried = true;
        open(output, view32);
    }
    if (output.file && !WriteText(output.file.get(), sections)) {
        // Nothing more goes behind a cut section (a disk that is full, say): the import could
        // read the next section's line as the cut value's continuation.
        output.file.reset();
    }
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
    // the file stays one that imports whole.
    unique_file file(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return;
    }
    LARGE_INTEGER size{};
    if ((!GetFileSizeEx(file.get(), &size) || size.QuadPart == 0) &&
        !WriteText(file.get(), std::wstring(L"\xFEFF") + kRegFileHeader)) {
        return;
    }
    output.file = std::move(file);
    output.path = path;
}
