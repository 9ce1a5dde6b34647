#pragma once
// The runs that deployment tools start with a switch: no one is at the screen, no window is
// shown, and the exit code tells the outcome. Each ends with its summary line
// (report/run_summary.h): the last line of its log, which a run that removed nothing, or was
// told to try again later, makes for that line alone, and the same line on standard output.

#include "app/cleaning_session.h"
#include "report/run_summary.h"

// Exit codes, as Windows Installer and the deployment tools that follow it read them.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1603;      // ERROR_INSTALL_FAILURE
constexpr int kExitTryLater = 1618;     // ERROR_INSTALL_ALREADY_RUNNING: "try again later"
constexpr int kExitSomethingFound = 1;  // the preview's "this machine needs cleaning"
constexpr int kExitInvalidCommandLine = 1639;  // ERROR_INVALID_COMMAND_LINE

// Why a run exits with its code: the summary's "reason".
constexpr wchar_t kReasonCleaned[] = L"cleaned";                           // 0: removed something, all of it
constexpr wchar_t kReasonNothingToRemove[] = L"nothing-to-remove";         // 0
constexpr wchar_t kReasonSomethingToRemove[] = L"something-to-remove";     // 1: a preview's "planned" or "fail"
constexpr wchar_t kReasonRemovalFailed[] = L"removal-failed";              // 1603: "fail" lines
constexpr wchar_t kReasonLogNotWritten[] = L"log-not-written";             // 1603: the log or the backup
constexpr wchar_t kReasonLogFolderRefused[] = L"log-folder-refused";       // 1603: a link or a mount point
constexpr wchar_t kReasonOutlookRunning[] = L"outlook-running";            // 1618
constexpr wchar_t kReasonInstallationRunning[] = L"installation-running";  // 1618
constexpr wchar_t kReasonAnotherRun[] = L"another-run";                    // 1618

// "/quiet": a whole cleaning session without any window: settings files, product folders,
// registry, log and registry backup. When the log folder is refused (a link or a mount point,
// report/log_folder.h), nothing is touched or written: kExitFailure. While Outlook runs or an
// installer's transaction is in progress (also just before the first removal), nothing is
// touched and the log holds the summary alone: kExitTryLater. Nothing is removed unless the log
// and the backup are open, nor after a write to them failed. kExitFailure when any removal
// failed or a write did, else kExitSuccess; lines that say "passed over" are neither. The log
// folder then keeps the newest runs only (report/log_folder.h). `heading` begins the summary.
int RunQuietSession(SessionPlatform& platform, const RunHeading& heading = RunHeading());

// "/preview": the same search, with nothing changed. Its records go to a ".preview.log" file
// beside the log, with "planned" in place of "success", and its summary last.
// kExitSomethingFound when there is anything to remove or anything a run would fail on, else
// kExitSuccess; kExitFailure, with nothing searched or written, when the log folder is refused;
// kExitTryLater, with nothing searched, while an installer's transaction is in progress.
int RunPreviewSession(SessionPlatform& platform, const RunHeading& heading = RunHeading());

// Which unattended run a command-line tail asks for. "/quiet" and "/preview" clean, or list,
// every user's leftovers when followed by " /allusers", and also when the process runs as the
// system account, whose own profile holds none of them: that is how deployment tools start
// programs. The whole tail is the switch, in any letter case.
// Where no one can see a window (`interactive` false: session 0, or the system account), no
// tail opens one: "/?" is Help, which exits 0 showing nothing; any tail but a known switch
// ("/postinstall" included) is Invalid, which exits kExitInvalidCommandLine. In a user's
// session every other tail is None: the dialog, or "/?"'s message, as always.
enum class UnattendedRun { None, Quiet, Preview, Help, Invalid };
struct UnattendedChoice {
    UnattendedRun run;
    bool allUsers;
};
UnattendedChoice ChooseUnattendedRun(const wchar_t* commandTail, bool runsAsSystem, bool interactive = true);

// A "/quiet" or "/preview" run as the entry point starts it: a log folder that is refused
// exits with kExitFailure at once; while another run of the program holds the run lock
// (platform/run_lock.h), kExitTryLater, with a log (or list) of its own holding the summary
// alone; otherwise the session, holding the lock.
int RunUnattended(UnattendedRun run, SessionPlatform& platform, const RunHeading& heading);

// "/postinstall" after its waits: the settings files of the user the program runs as, and with
// `allUsers` (as the system account: an installer's deferred custom action) of every user, one
// at a time. `holdsLock`: the run lock is this run's, and the log folder then keeps the newest
// runs only.
void RunPostInstallCleaning(bool allUsers, bool holdsLock);
