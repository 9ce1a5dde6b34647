#pragma once
// One cleaning session: settings files, then product folders, then the registry, with the
// wait cursor and taskbar progress, ending with a message that gives the counts and the log.
// Beside the log, the session keeps a ".reg" backup of the registry keys it deletes.

#include <windows.h>

#include <string>

#include "report/progress_cleaner_iconic.h"

class OperationsLogger;
class RegistryBackup;

// The user-interface and platform services a session uses. The base class is the real thing;
// tests derive from it to watch the session without showing anything.
class SessionPlatform {
public:
    // `allUsers`: the cleaners also clean every other user's registry and folders.
    explicit SessionPlatform(bool allUsers = false) : allUsers_(allUsers) {}
    virtual ~SessionPlatform() = default;

    // Stands for the Windows folder below which the log is written; empty means the real one.
    virtual std::wstring logWindowsFolder() { return std::wstring(); }
    virtual ProgressPlatform& progressPlatform();
    virtual HCURSOR setCursor(HCURSOR cursor) { return SetCursor(cursor); }
    virtual HCURSOR waitCursor() { return LoadCursorW(nullptr, IDC_WAIT); }
    // The three cleaners, in their order, and then the installer's files of the products the
    // registry cleaner found, for the current user and then each other user in turn
    // (app/all_users.h); the registry cleaner saves each key to `backup` before it deletes it.
    virtual void runCleaners(OperationsLogger& logger, ProgressCleaner& progress, RegistryBackup& backup);
    // The same cleaners on a registry and a disk that only plan their deletions: each record
    // says what a real run would do, and nothing is changed.
    virtual void runPreviewCleaners(OperationsLogger& logger);
    virtual void showMessage(HWND owner, const std::wstring& text);
    virtual bool outlookRunning();
    // A Windows Installer transaction is in progress (platform/installer_transaction.h).
    virtual bool installerRunning();
    // One line to the process's standard output, where it has one (platform/standard_output.h).
    virtual void writeStandardOutput(const std::wstring& line);

    // Of the users of the last run of the cleaners: those whose part ran (the user the program
    // runs as among them), and those passed over whole (app/all_users.h).
    virtual int usersVisited() const { return usersVisited_; }
    virtual int usersPassedOver() const { return usersPassedOver_; }

private:
    bool allUsers_;
    int usersVisited_ = 0;
    int usersPassedOver_ = 0;
};

// Runs one session for the main dialog `window` (may be null: no taskbar progress) and
// returns 1 once the user has closed the closing message. While a session runs, the dialog's
// messages are dispatched from inside it; a second call in that time starts nothing and
// returns 0. While another process runs (the machine-wide run lock is held), it cleans
// nothing and shows kAlreadyRunningMessage instead.
int RunCleaningSession(HWND window);
int RunCleaningSession(HWND window, SessionPlatform& platform);

// True from the start of a session until its closing message has been closed.
bool CleaningSessionRunning();

// What a dialog shows, and then ends, while another run of the program (a "/quiet" one, say)
// is cleaning the machine.
constexpr wchar_t kAlreadyRunningMessage[] =
    L"Tallowbrisk cleaner is already cleaning this computer. Try again once it has finished.";

// What a dialog shows in place of a session when the log folder is refused: a link or a mount
// point (report/log_folder.h). Nothing is removed.
std::wstring LogFolderRefusedMessage(const std::wstring& logFolder);


// What a dialog shows in place of cleaning while Windows Installer installs or removes a package.
constexpr wchar_t kInstallerRunningMessage[] =
    L"An installation is running on this computer. Try again once it has finished.";

// Behind the count, when the log could not be made or a line could not be written to it. No
// registry key was removed without its backup.
constexpr wchar_t kLogNotWrittenSentence[] =
    L"\nThe log file could not be written, so this list of removals is incomplete or missing.";

// What became of a session's removal attempts, as the log counts its records.
struct SessionOutcome {
    int removed = 0;
    int failed = 0;      // attempts that failed: the item is still there
    int passedOver = 0;  // targets the cleaner chose not to touch (a registry link, say)
};

// The text of the closing message: "Tallowbrisk cleaner removed N items." with N the items
// really removed, then how many could not be removed and how many were passed over, each with
// the log that names them; `logFailed`: the log could not be made or written whole.
std::wstring ClosingMessage(const SessionOutcome& outcome, const std::wstring& logFilePath, bool logFailed = false);
