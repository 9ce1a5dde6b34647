// Entry point of the Tallowbrisk cleaner.
//
//   TallowbriskCleaner.exe                 shows the cleaning dialog
//   TallowbriskCleaner.exe /postinstall    removes the add-in's settings files, silently (as
//                                           the system account, every user's)
//   TallowbriskCleaner.exe /quiet          a whole cleaning session without any window
//   TallowbriskCleaner.exe /preview        lists what a session would remove, removing nothing
//   ... /quiet /allusers, /preview /allusers  the same for every user of the machine (as the
//                                           system account, "/quiet" and "/preview" do that)
//   TallowbriskCleaner.exe /?              shows the switches and the exit codes
//
// The dialog and "/postinstall" exit with 0; "/quiet" and "/preview" tell their outcome in the
// exit code, and in a summary line at the end of their log and on standard output. Where no one
// can see a window (session 0, the system account), none is shown: "/?" exits with 0, any other
// tail but the switches with 1639. One run cleans at a time (platform/run_lock.h): while another
// runs, "/quiet" and "/preview" exit with 1618 at once, the dialog says so and ends, and
// "/postinstall" waits for it. An installation in progress holds back every mode but
// "/postinstall", which the add-in's installer itself runs; a look at the installer's mutex that
// could not give it back ends the process with 1618, in any mode
// (platform/installer_transaction.h). The "mHyperlink" class registers itself during static
// initialisation, before this entry point runs, and after the DLL search is narrowed
// (app/hardening.cpp).

#include <windows.h>

#include "app/main_dialog.h"
#include "app/unattended_runs.h"
#include "controls/bitmap_view.h"
#include "platform/app_instance.h"
#include "platform/installer_transaction.h"
#include "platform/interactive_session.h"
#include "platform/run_lock.h"
#include "platform/user_profiles.h"
#include "res/resource.h"

namespace {

constexpr wchar_t kUsage[] =
    L"TallowbriskCleaner.exe [switch]\n"
    L"\n"
    L"(none)\tShows the cleaning dialog. Exit code 0.\n"
    L"/quiet\tCleans without any window. Exit code 0: done, or nothing to remove; "
    L"1603: some removal failed, or the log or the registry backup could not be written (see the log), "
    L"or the log folder is a link or a mount point and nothing was removed; "
    L"1618: Outlook is running, an installation is running, or another run of this "
    L"program is cleaning, nothing was touched, try again later.\n"
    L"/preview\tLists what /quiet would remove in a \".preview.log\" file beside the log, and "
    L"removes nothing. Exit code 0: nothing to remove; 1: something to remove, or something /quiet "
    L"would fail on; 1603: the log folder is a link or a mount point; "
    L"1618: an installation is running, or another run of this program is cleaning, try again later.\n"
    L"/quiet /allusers, /preview /allusers\tThe same for every user who has a profile on this machine, "
    L"their registry hives loaded while they are not logged on. Run as the system account, /quiet and "
    L"/preview always do this. A user whose profile or hive can't be read is passed over with a "
    L"\"clean user\" line saying \"fail\", and /quiet exits with 1603; a profile without its hive file, "
    L"or a folder on a network share, is passed over without failing.\n"
    L"/postinstall\tRemoves only the add-in's settings files, silently; as the system account, every user's. "
    L"While another run of this program is cleaning, it waits for it, 10 minutes at most; it does not wait "
    L"for an installation, since the add-in's installer runs it. Exit code 0.\n"
    L"/?\tShows this message. Exit code 0.\n"
    L"\n"
    L"The log: %WINDIR%\\Logs\\TallowBriskCleaner\\Tallowbrisk_cleaner_<UTC time>.log (the newest 30 runs are "
    L"kept). /quiet and /preview end it with a summary line, which they also write to standard output.\n"
    L"The switch must be the whole command line, in any letter case. One run cleans at a time: "
    L"the dialog, started while another run is cleaning, says so and ends. Where no one can see a "
    L"window (as the system account, or in session 0), any other command line exits with 1639 and "
    L"shows nothing.";

// How long "/postinstall" waits for another run to end. A whole session on a large machine
// takes minutes; deployment tools give a step an hour or more. If the other run is still going
// then, the settings files are cleaned beside it: that run cleaned them first of all.
constexpr DWORD kPostInstallWaitMs = 10 * 60 * 1000;

// The whole command-line tail must be the switch, in any letter case; nothing is trimmed,
// so " /postinstall" or "/postinstall x" start the dialog instead.
bool IsSwitch(const wchar_t* commandTail, const wchar_t* name) {
    return commandTail && lstrcmpiW(commandTail, name) == 0;
}

void RunPostInstall() {
    // Another run of the cleaner only. Not an installer's transaction: the add-in's installer
    // runs this from inside its own, which holds Global\_MSIExecute until this has ended, and
    // the settings files that this removes are no installer's to write.
    RunLock lock;
    lock.acquire(kPostInstallWaitMs);
    // An installer's deferred custom action runs as the system account, for whichever user installs.
    RunPostInstallCleaning(ProcessUserSid() == kSystemAccountSid, lock.held());
}

void RunDialog(HINSTANCE instance) {
    // Told at once rather than after OK; the session looks again when OK starts it, since the
    // dialog holds no lock while it only waits for OK.
    if (!RunLock().acquire(0)) {
        SessionPlatform().showMessage(nullptr, kAlreadyRunningMessage);
        return;
    }
    if (InstallerTransactionRunning()) {
        SessionPlatform().showMessage(nullptr, kInstallerRunningMessage);
        return;
    }
    RegisterBitmapViewClass(instance);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), GetDesktopWindow(), MainDialogProc, 0);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandTail, int) {
    SetAppInstance(instance);
    if (IsSwitch(commandTail, L"/postinstall")) {
        RunPostInstall();
        return 0;
    }
    const bool system = ProcessUserSid() == kSystemAccountSid;
    const UnattendedChoice unattended =
        ChooseUnattendedRun(commandTail, system, !system && RunsInInteractiveSession());
    if (unattended.run == UnattendedRun::Help) {
        return 0;  // no one could read the message
    }
    if (unattended.run == UnattendedRun::Invalid) {
        return kExitInvalidCommandLine;  // as msiexec exits for a command line it does not know
    }
    if (unattended.run != UnattendedRun::None) {
        SessionPlatform platform(unattended.allUsers);
        const RunHeading heading{L"" CLEANER_VERSION, commandTail, unattended.allUsers, ProcessUserName(),
                                 ProcessUserSid()};
        return RunUnattended(unattended.run, platform, heading);
    }
    if (IsSwitch(commandTail, L"/?")) {
        MessageBoxW(nullptr, kUsage, L"Tallowbrisk cleaner", MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    RunDialog(instance);
    return 0;
}
