// Entry point of the Tallowbrisk cleaner.
//
//   TallowbriskCleaner.exe                 shows the cleaning dialog
//   TallowbriskCleaner.exe /postinstall    removes the add-in's settings files, silently
//   TallowbriskCleaner.exe /quiet          a whole cleaning session without any window
//   TallowbriskCleaner.exe /preview        lists what a session would remove, removing nothing
//   TallowbriskCleaner.exe /?              shows the switches and the exit codes
//
// The dialog and "/postinstall" exit with 0 in every case; "/quiet" and "/preview" tell their
// outcome in the exit code. The "mHyperlink" class registers itself during static
// initialisation, before this entry point runs.

#include <windows.h>

#include "app/main_dialog.h"
#include "app/unattended_runs.h"
#include "controls/bitmap_view.h"
#include "files/settings_files.h"
#include "platform/app_instance.h"
#include "report/operations_logger.h"
#include "res/resource.h"

namespace {

constexpr wchar_t kUsage[] =
    L"TallowbriskCleaner.exe [switch]\n"
    L"\n"
    L"(none)\tShows the cleaning dialog. Exit code 0.\n"
    L"/quiet\tCleans without any window. Exit code 0: done, or nothing to remove; "
    L"1603: some removal failed (see the log); 1618: Outlook is running, nothing was touched, "
    L"try again later.\n"
    L"/preview\tLists what /quiet would remove in a \".preview.log\" file beside the log, and "
    L"removes nothing. Exit code 0: nothing to remove, no file written; 1: something to remove.\n"
    L"/postinstall\tRemoves only the add-in's settings files, silently. Exit code 0.\n"
    L"/?\tShows this message. Exit code 0.\n"
    L"\n"
    L"The log: %WINDIR%\\Logs\\TallowBriskCleaner\\Tallowbrisk_cleaner_<UTC time>.log\n"
    L"The switch must be the whole command line, in any letter case.";

// The whole command-line tail must be the switch, in any letter case; nothing is trimmed,
// so " /postinstall" or "/postinstall x" start the dialog instead.
bool IsSwitch(const wchar_t* commandTail, const wchar_t* name) {
    return commandTail && lstrcmpiW(commandTail, name) == 0;
}

void RunPostInstall() {
    OperationsLoggerFile logger;
    CleanSettingsFiles(&logger);
}

void RunDialog(HINSTANCE instance) {
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
    if (IsSwitch(commandTail, L"/quiet")) {
        SessionPlatform platform;
        return RunQuietSession(platform);
    }
    if (IsSwitch(commandTail, L"/preview")) {
        SessionPlatform platform;
        return RunPreviewSession(platform);
    }
    if (IsSwitch(commandTail, L"/?")) {
        MessageBoxW(nullptr, kUsage, L"Tallowbrisk cleaner", MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    RunDialog(instance);
    return 0;
}
