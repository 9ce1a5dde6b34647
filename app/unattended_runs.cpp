#include "app/unattended_runs.h"

#include "registry/registry_backup_file.h"
#include "report/operations_logger.h"
#include "report/progress_cleaner.h"

int RunQuietSession(SessionPlatform& platform) {
    // Outlook holds the add-in's files and rewrites its keys; a run now would be half a run.
    if (platform.outlookRunning()) {
        return kExitTryLater;
    }
    OperationsLoggerFile logger(platform.logWindowsFolder());
    {
        RegistryBackupFile backup(platform.logWindowsFolder());
        ProgressCleaner noProgress;
        platform.runCleaners(logger, noProgress, backup);
    }
    return logger.failedCount() ? kExitFailure : kExitSuccess;
}

int RunPreviewSession(SessionPlatform& platform) {
    OperationsLoggerFile preview(platform.logWindowsFolder(), OperationsLoggerFile::Kind::Preview);
    platform.runPreviewCleaners(preview);
    return preview.removalCount() ? kExitSomethingFound : kExitSuccess;
}
