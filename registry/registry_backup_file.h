#pragma once
// The registry backup as files that the registry editor imports: "Tallowbrisk_cleaner_", the
// UTC time stamp of the first key saved (or the stem the run's log shares), and ".reg", beside
// the operations log. Under WOW64
// the keys deleted in the 32-bit view go to a second file, ending in ".32.reg", since the
// same name stands for another key there; it is imported with "reg import FILE /reg:32".
// The files are made by the first key saved into each, so a run that deletes no key leaves
// none. A key is saved when its sections reached the file whole: written, and the write
// checked. A file that cannot be made, or a write that fails, saves nothing from then on, so
// that no key is deleted without its copy.

#include <string>

#include "platform/unique_any.h"
#include "registry/registry_backup.h"
#include "report/log_folder.h"

class RegistryBackupFile : public RegistryBackup {
public:
    // The files go to "<Windows folder>\Logs\TallowBriskCleaner". Tests name another folder to
    // stand for the Windows folder; empty means the real one.
    explicit RegistryBackupFile(std::wstring windowsFolder = std::wstring());
    // The same, named by the stem the run's log shares (report/log_folder.h), which must outlive
    // the backup: a log and its backups go, and stay, together.
    explicit RegistryBackupFile(RunFileStem& stem);

    RegistryBackupFile(const RegistryBackupFile&) = delete;
    RegistryBackupFile& operator=(const RegistryBackupFile&) = delete;

    BackupOutcome save(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access,
                       const std::wstring& keyName) override;
    // A section naming the kept key with this value alone, which "reg import" sets back into
    // it. True only when the whole section reached the file.
    bool saveValue(const std::wstring& keyName, const std::wstring& valueName, const RegistryValueData& value,
                   REGSAM access) override;

    // Opens the file of the 64-bit (or only) view now, rather than at the first key saved into
    // it: a run that must not start without its backup finds out before its first removal.
    // True when it opened. A file opened so and never saved into is removed again when the
    // backup ends. (The 32-bit view's file is still made by its first key: should that fail,
    // the key is not deleted, and a run that fails closed stops there.)
    bool openNow();

    ~RegistryBackupFile() override;

    // Full path of the file of the 64-bit (or only) view, or of the 32-bit view's; empty
    // unless the file was opened.
    const std::wstring& filePath(bool view32 = false) const { return outputs_[view32 ? 1 : 0].path; }

private:
    struct Output {
        unique_file file;
        bool tried = false;  // one attempt per file, whatever its outcome
        bool made = false;   // made empty by this backup
        bool saved = false;  // some key was saved into it
        std::wstring path;
    };

    bool write(const std::wstring& sections, bool view32);
    bool open(Output& output, bool view32);

    RunFileStem ownStem_;
    RunFileStem* stem_;  // both files share the time stamp of the first write
    Output outputs_[2];
};
