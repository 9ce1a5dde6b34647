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
    // An installer's transaction would be cut into.
    if (platform.outlookRunning() || platform.installerRunning()) {
        return kExitTryLater;
    }
    OperationsLoggerFile logger(platform.logWindowsFolder());
    {
        RegistryBackupFile backup(platform.logWindowsFolder());
        // No one reads a message here: nothing is removed unless the log and the backup are open,
        // and nothing more once a write to either failed. The installer is asked once more just
        // before the first removal, since the search before it can take minutes.
        logger.failClosed([&] { return !platform.installerRunning(); },
                          [&] { return backup.openNow(); });
        ProgressCleaner noProgress;
        platform.runCleaners(logger, noProgress, backup);
    }
    if (logger.heldBack()) {
        return kExitTryLater;
    }
    return logger.failedCount() || logger.writeFailedOnce() ? kExitFailure : kExitSuccess;
}

int RunPreviewSession(SessionPlatform& platform) {
    if (LogFolderRefused(platform.logWindowsFolder())) {
        return kExitFailure;  // its list could not be written where it belongs either
    }
    if (platform.installerRunning()) {
        return kExitTryLater;
    }
    OperationsLoggerFile preview(platform.logWindowsFolder(), OperationsLoggerFile::Kind::Preview);
    platform.runPreviewCleaners(preview);
    // What a run would remove, or fail on; a target it would pass over (a registry link) is
    // nothing to remove.
    return preview.removedCount() + preview.failedCount() ? kExitSomethingFound : kExitSuccess;
}

UnattendedChoice ChooseUnattendedRun(const wchar_t* commandTail, bool runsAsSystem, bool interactive) {
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
    const auto is = [&](const wchar_t* name) { return commandTail && lstrcmpiW(commandTail, name) == 0; };
    if (interactive || is(L"/postinstall")) {
        return {UnattendedRun::None, false};
    }
    return {is(L"/?") ? UnattendedRun::Help : UnattendedRun::Invalid, false};
}
