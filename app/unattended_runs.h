#pragma once
// The runs that deployment tools start with a switch: no one is at the screen, no window is
// shown, and the exit code tells the outcome.

#include "app/cleaning_session.h"

// Exit codes, as Windows Installer and the deployment tools that follow it read them.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1603;      // ERROR_INSTALL_FAILURE
constexpr int kExitTryLater = 1618;     // ERROR_INSTALL_ALREADY_RUNNING: "try again later"
constexpr int kExitSomethingFound = 1;  // the preview's "this machine needs cleaning"
constexpr int kExitInvalidCommandLine = 1639;  // ERROR_INVALID_COMMAND_LINE

// "/quiet": a whole cleaning session without any window: settings files, product folders,
// registry, log and registry backup. When the log folder is refused (a link or a mount point,
// report/log_folder.h), nothing is touched: kExitFailure. While Outlook runs or an installer's
// transaction is in progress (also just before the first removal), nothing is touched and no
// file is written: kExitTryLater. Nothing is removed unless the log and the backup are open,
// nor after a write to them failed. kExitFailure when any removal failed or a write did, else
// kExitSuccess.
int RunQuietSession(SessionPlatform& platform);

// "/preview": the same search, with nothing changed. Its records go to a ".preview.log" file
// beside the log, with "planned" in place of "success". kExitSomethingFound when there is
// anything to remove, else kExitSuccess, and no file is written; kExitFailure, with nothing
// searched, when the log folder is refused; kExitTryLater, with nothing written, while an
// installer's transaction is in progress.
int RunPreviewSession(SessionPlatform& platform);

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
