#include "app/unattended_runs.h"

#include <windows.h>

#include "app/all_users.h"
#include "platform/registry_win32.h"
#include "platform/run_lock.h"
#include "registry/registry_backup_file.h"
#include "report/log_folder.h"
#include "report/operations_logger.h"
#include "report/progress_cleaner.h"

namespace {

RunSummary SummaryOf(const RunHeading& heading, bool preview) {
    RunSummary summary;
    summary.heading = heading;
    summary.preview = preview;
    return summary;
}

// The summary's counts: the log's lines, by outcome.
void Count(const OperationsLoggerFile& log, const SessionPlatform& platform, RunSummary& summary) {
    summary.usersVisited = platform.usersVisited();
    summary.usersPassedOver = platform.usersPassedOver();
    summary.removed = log.removedCount();
    summary.failed = log.failedCount();
    summary.passedOver = log.passedOverCount();
}

// How an unattended run ends: its exit code, and the summary's word for why.
struct Ending {
    int exitCode;
    const wchar_t* reason;
};

// Ends an unattended run: its summary last in its log (`log` may be null: nowhere to write it)
// and on standard output. With `stem`, this run holds the run lock, and the log folder keeps
// the newest runs only. Returns the run's exit code.
int Finish(SessionPlatform& platform, OperationsLoggerFile* log, const RunFileStem* stem, RunSummary& summary,
           const Ending& ending) {
    summary.exitCode = ending.exitCode;
    summary.reason = ending.reason;
    const std::wstring line = SummaryLine(summary);
    if (log) {
        log->writeLastLine(line);
    }
    platform.writeStandardOutput(line);
    if (stem) {
        PruneLogFolder(stem->windowsFolder(), stem->path());
    }
    return ending.exitCode;
}

}  // namespace

int RunQuietSession(SessionPlatform& platform, const RunHeading& heading) {
    RunSummary summary = SummaryOf(heading, false);
    // A log folder that leads elsewhere would take the log and the backups there: nothing is
    // removed without them, and trying again later changes nothing.
    if (LogFolderRefused(platform.logWindowsFolder())) {
        return Finish(platform, nullptr, nullptr, summary, {kExitFailure, kReasonLogFolderRefused});
    }
    RunFileStem stem(platform.logWindowsFolder());
    OperationsLoggerFile logger(stem);
    // Outlook holds the add-in's files and rewrites its keys; a run now would be half a run.
    // An installer's transaction would be cut into.
    if (platform.outlookRunning()) {
        return Finish(platform, &logger, &stem, summary, {kExitTryLater, kReasonOutlookRunning});
    }
    if (platform.installerRunning()) {
        return Finish(platform, &logger, &stem, summary, {kExitTryLater, kReasonInstallationRunning});
    }
    {
        RegistryBackupFile backup(stem);
        // No one reads a message here: nothing is removed unless the log and the backup are open,
        // and nothing more once a write to either failed. The installer is asked once more just
        // before the first removal, since the search before it can take minutes.
        logger.failClosed([&] { return !platform.installerRunning(); }, [&] { return backup.openNow(); });
        ProgressCleaner noProgress;
        platform.runCleaners(logger, noProgress, backup);
    }
    if (logger.heldBack()) {
        // Its records were never written: nothing was removed, and the summary counts nothing.
        return Finish(platform, &logger, &stem, summary, {kExitTryLater, kReasonInstallationRunning});
    }
    Count(logger, platform, summary);
    if (logger.writeFailedOnce()) {
        return Finish(platform, &logger, &stem, summary, {kExitFailure, kReasonLogNotWritten});
    }
    if (logger.failedCount()) {
        return Finish(platform, &logger, &stem, summary, {kExitFailure, kReasonRemovalFailed});
    }
    return Finish(platform, &logger, &stem, summary,
                  {kExitSuccess, logger.removedCount() ? kReasonCleaned : kReasonNothingToRemove});
}

int RunPreviewSession(SessionPlatform& platform, const RunHeading& heading) {
    RunSummary summary = SummaryOf(heading, true);
    if (LogFolderRefused(platform.logWindowsFolder())) {
        // Its list could not be written where it belongs either.
        return Finish(platform, nullptr, nullptr, summary, {kExitFailure, kReasonLogFolderRefused});
    }
    RunFileStem stem(platform.logWindowsFolder());
    OperationsLoggerFile preview(stem, OperationsLoggerFile::Kind::Preview);
    if (platform.installerRunning()) {
        return Finish(platform, &preview, &stem, summary, {kExitTryLater, kReasonInstallationRunning});
    }
    platform.runPreviewCleaners(preview);
    Count(preview, platform, summary);
    // What a run would remove, or fail on; what it would pass over leaves the machine as clean.
    if (preview.removedCount() + preview.failedCount()) {
        return Finish(platform, &preview, &stem, summary, {kExitSomethingFound, kReasonSomethingToRemove});
    }
    return Finish(platform, &preview, &stem, summary, {kExitSuccess, kReasonNothingToRemove});
}

int RunUnattended(UnattendedRun run, SessionPlatform& platform, const RunHeading& heading) {
    const bool preview = run == UnattendedRun::Preview;
    // A log folder that leads elsewhere: nothing is removed, and trying again later would not help.
    if (LogFolderRefused(platform.logWindowsFolder())) {
        return preview ? RunPreviewSession(platform, heading) : RunQuietSession(platform, heading);
    }
    RunLock lock;
    if (!lock.acquire(0)) {
        // As msiexec does while another installation runs. The other run's files are its own:
        // this run's word goes to a file of its own (or, within the same second, after the other
        // run's lines), and the folder is left as it is.
        RunSummary summary = SummaryOf(heading, preview);
        RunFileStem stem(platform.logWindowsFolder());
        OperationsLoggerFile log(stem, preview ? OperationsLoggerFile::Kind::Preview : OperationsLoggerFile::Kind::Log);
        return Finish(platform, &log, nullptr, summary, {kExitTryLater, kReasonAnotherRun});
    }
    return preview ? RunPreviewSession(platform, heading) : RunQuietSession(platform, heading);
}

void RunPostInstallCleaning(bool allUsers, bool holdsLock) {
    RunFileStem stem;
    {
        OperationsLoggerFile logger(stem);
        // Other users' hives are loaded only under the run lock: a run that holds it takes every
        // cleaner's hive it did not load itself for a leftover, and unloads it.
        CleanEveryUsersSettingsFiles(allUsers && holdsLock, SystemRegistry(), logger);
    }
    if (holdsLock) {
        PruneLogFolder(stem.windowsFolder(), stem.path());
    }
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
