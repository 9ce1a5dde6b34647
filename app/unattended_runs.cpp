#include "app/unattended_runs.h"

#include <windows.h>

#include "registry/registry_backup_file.h"
#include "report/log_folder.h"
#include "report/operations_logger.h"
#include "report/progress_cleaner.h"

int RunQuietSession(SessionPlatform& platform) {
    // A log folder that leads elsewhere would take the log and the backups there: nothing is
    // removed without them, and trying again later changes nothing.
    if (LogFolderRefused(platform.logWindowsFolder())) {
        return kExitFailure;
    }
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
    if (LogFolderRefused(platform.logWindowsFolder())) {
        return kExitFailure;  // its list could not be written where it belongs either
    }
    OperationsLoggerFile preview(platform.logWindowsFolder(), OperationsLoggerFile::Kind::Preview);
    platform.runPreviewCleaners(preview);
    return preview.removalCount() ? kExitSomethingFound : kExitSuccess;
}

UnattendedChoice ChooseUnattendedRun(const wchar_t* commandTail, bool runsAsSystem) {
    const struct {
        const wchar_t* tail;
        UnattendedRun run;
        bool allUsers;
    } switches[] = {
        {L"/quiet", UnattendedRun::Quiet, false},
        {L"/quiet /allusers", UnattendedRun::Quiet, true},
        {L"/preview", UnattendedRun::Preview, false},
        {L"/preview /allusers", UnattendedRun::Preview, true},
    };
    for (const auto& known : switches) {
        if (commandTail && lstrcmpiW(commandTail, known.tail) == 0) {
            return {known.run, known.allUsers || runsAsSystem};
        }
    }
    return {UnattendedRun::None, false};
}
