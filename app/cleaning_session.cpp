#include "app/cleaning_session.h"

#include "app/all_users.h"
#include "app/leftover_hives.h"
#include "app/outlook_check.h"
#include "files/preview_removal_steps.h"
#include "platform/com_apartment.h"
#include "platform/installer_transaction.h"
#include "platform/registry_win32.h"
#include "platform/run_lock.h"
#include "platform/standard_output.h"
#include "platform/wow64.h"
#include "registry/preview_registry.h"
#include "registry/registry_backup_file.h"
#include "registry/registry_pass.h"
#include "report/log_folder.h"
#include "report/operations_logger.h"

namespace {

bool g_sessionRunning = false;

// Marks the session as running for the length of a scope.
class RunningSession {
public:
    RunningSession() { g_sessionRunning = true; }
    ~RunningSession() { g_sessionRunning = false; }
    RunningSession(const RunningSession&) = delete;
    RunningSession& operator=(const RunningSession&) = delete;
};

// "1 item could not be removed; the log names it." and the like: `one` for a count of 1,
// `many` after the count for any other.
std::wstring CountSentence(int count, const wchar_t* one, const wchar_t* many, bool logNamesThem) {
    std::wstring text = count == 1 ? std::wstring(one) : std::to_wstring(count) + many;
    if (logNamesThem) text += count == 1 ? L"; the log names it" : L"; the log names them";
    return L"\n" + text + L".";
}

}  // namespace

ProgressPlatform& SessionPlatform::progressPlatform() {
    static ProgressPlatform platform;
    return platform;
}

void SessionPlatform::runCleaners(OperationsLogger& logger, ProgressCleaner& progress, RegistryBackup& backup) {
    // Under the run lock, which the session and the unattended runs hold.
    UnloadLeftoverHives(SystemRegistry(), logger);
    const std::unique_ptr<OtherUsers> others = FindOtherUsers(allUsers_, SystemRegistry());
    // Each file and folder is removed only while the log agrees, as each key is (registry/recorded_removal.h).
    LoggedRemovalSteps steps(DefaultRemovalSteps(), logger);
    const RegistryPass pass(SystemRegistry(), RunningUnderWow64(), RegistryRuleTable(), &logger, &backup);
    CleanEveryUser(pass, *others, InstallerDataOwnersOfRun(allUsers_, ProcessUserSid()), &progress, steps);
    usersVisited_ = 1 + others->visited();
    usersPassedOver_ = others->passedOver();
}

void SessionPlatform::runPreviewCleaners(OperationsLogger& logger) {
    // The users' keys are opened and closed through the preview's registry too, so that what it
    // knows of one user's hive is gone before the next user's is opened.
    PreviewRegistry registry(SystemRegistry());
    // Hives a killed run left loaded: listed for the run to unload, none unloaded now.
    ListLeftoverHives(registry, logger);
    const std::unique_ptr<OtherUsers> others = FindOtherUsers(allUsers_, registry);
    // One plan for both kinds of files: a settings file planned first is gone for the folders.
    PreviewRemovalSteps files;
    // No backup: it would write the keys' files, and the preview writes nothing but its list.
    const RegistryPass pass(registry, RunningUnderWow64(), RegistryRuleTable(), &logger);
    CleanEveryUser(pass, *others, InstallerDataOwnersOfRun(allUsers_, ProcessUserSid()), nullptr, files);
    usersVisited_ = 1 + others->visited();
    usersPassedOver_ = others->passedOver();
}

bool SessionPlatform::outlookRunning() { return OutlookIsRunning(); }

bool SessionPlatform::installerRunning() { return InstallerTransactionRunning(); }

void SessionPlatform::writeStandardOutput(const std::wstring& line) { WriteLineToStandardOutput(line); }

void SessionPlatform::showMessage(HWND owner, const std::wstring& text) {
    MessageBoxW(owner, text.c_str(), L"Tallowbrisk cleaner", MB_OK | MB_ICONINFORMATION);
}

std::wstring LogFolderRefusedMessage(const std::wstring& logFolder) {
    return L"Tallowbrisk cleaner removed nothing: its log folder " + logFolder +
           L", or the Logs folder above it, is a link or a mount point, and the log and the backup of the "
           L"registry keys would be written elsewhere. An administrator can delete the link and run the "
           L"cleaner again.";
}

std::wstring ClosingMessage(const SessionOutcome& outcome, const std::wstring& logFilePath, bool logFailed) {
    if (outcome.removed == 0 && outcome.failed == 0 && outcome.passedOver == 0) {
        return L"Tallowbrisk cleaner found nothing to remove";
    }
    std::wstring text = L"Tallowbrisk cleaner removed " + std::to_wstring(outcome.removed) + L" items.";
    if (outcome.failed) {
        text +=
            CountSentence(outcome.failed, L"1 item could not be removed", L" items could not be removed", !logFailed);
    }
    if (outcome.passedOver) {
        text += CountSentence(outcome.passedOver, L"1 item was passed over and left in place",
                              L" items were passed over and left in place", !logFailed);
    }
    if (logFailed) {
        text += kLogNotWrittenSentence;
    } else if (!logFilePath.empty()) {
        text += L"\nMore technical information on file:\n" + logFilePath;
    }
    return text;
}

bool CleaningSessionRunning() { return g_sessionRunning; }

int RunCleaningSession(HWND window) {
    SessionPlatform platform;
    return RunCleaningSession(window, platform);
}

int RunCleaningSession(HWND window, SessionPlatform& platform) {
    // The progress sink dispatches the dialog's messages while the cleaners run, so a second
    // OK can arrive here; the running session owns the log file and goes on alone.
    if (g_sessionRunning) {
        return 0;
    }
    RunningSession running;

    std::wstring text;
    {
        // One run at a time on the machine, held until the log and the backup are closed; the
        // closing message, which may stay up for long, holds no other run back.
        RunLock lock;
        if (!lock.acquire(0)) {
            platform.showMessage(window, kAlreadyRunningMessage);
            return 1;
        }
        if (LogFolderRefused(platform.logWindowsFolder())) {
            platform.showMessage(window, LogFolderRefusedMessage(LogFolderPath(platform.logWindowsFolder())));
            return 1;
        }
        if (platform.installerRunning()) {
            platform.showMessage(window, kInstallerRunningMessage);
            return 1;
        }
        RunFileStem stem(platform.logWindowsFolder());
        {
            OperationsLoggerFile logger(stem);
            RegistryBackupFile backup(stem);
            const HCURSOR previous = platform.setCursor(platform.waitCursor());
            {
                // Nothing else puts the GUI thread into a COM apartment, and without one the taskbar
                // object cannot be created. The apartment outlives the sink that holds the object.
                ComApartment apartment;
                ProgressCleanerIconic progress(window, platform.progressPlatform());
                progress.progress(0, 100);
                platform.runCleaners(logger, progress, backup);
                progress.progress(100, 100);
                platform.setCursor(previous);
                text = ClosingMessage({logger.removedCount(), logger.failedCount(), logger.passedOverCount()},
                                      logger.logFilePath(), logger.writeFailedOnce());
            }  // the taskbar button shows no progress any more
        }      // the log and backup files are closed, complete, before the message names the log
        PruneLogFolder(platform.logWindowsFolder(), stem.path());
    }
    platform.showMessage(window, text);
    return 1;
}
