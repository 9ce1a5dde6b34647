#include "registry/recorded_removal.h"

#include "registry/delete_key_tree.h"
#include "registry/rule_in_view.h"

bool RemoveRecorded(OperationsLogger* logger, const wchar_t* kind, const std::wstring& target,
                    const std::function<BackupOutcome()>& save, const std::function<bool()>& remove) {
    bool removed = false;
    if (!logger || logger->mayRemove()) {
        const BackupOutcome saved = save ? save() : BackupOutcome::Saved;
        if (saved == BackupOutcome::NotWritten && logger) {
            logger->writeFailed();
        }
        // A key the backup did not find is not deleted either: whatever the delete might reach
        // under that name would be in no backup. Being gone, it counts as removed.
        removed = saved == BackupOutcome::Saved ? remove() : saved == BackupOutcome::Gone;
    }
    if (logger) {
        logger->log(kind, target.c_str(), removed ? 1 : 0);
    }
    return removed;
}

bool RemoveKeyRecorded(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access,
                       RegistryBackup* backup, const std::wstring& backupName, OperationsLogger* logger,
                       const std::wstring& loggedPath) {
    return RemoveRecorded(
        logger, kRemoveRegistryKey, loggedPath,
        backup ? std::function<BackupOutcome()>([&] { return backup->save(registry, parent, path, access, backupName); })
               : std::function<BackupOutcome()>(),
        [&] { return DeleteKeyTree(registry, parent, path, access); });
}
