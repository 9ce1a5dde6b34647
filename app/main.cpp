// Entry point of the Tallowbrisk cleaner.
//
//   TallowbriskCleaner.exe                 shows the cleaning dialog
//   TallowbriskCleaner.exe /postinstall    removes the add-in's settings files, silently
//
// The exit code is 0 in every case. The "mHyperlink" class registers itself during static
// initialisation, before this entry point runs.

#include <windows.h>

#include "app/main_dialog.h"
#include "controls/bitmap_view.h"
#include "files/settings_files.h"
#include "platform/app_instance.h"
#include "report/operations_logger.h"
#include "res/resource.h"

namespace {

// The whole command-line tail must be the switch, in any letter case; nothing is trimmed,
// so " /postinstall" or "/postinstall x" start the dialog instead.
bool IsPostInstallRun(const wchar_t* commandTail) {
    return commandTail && lstrcmpiW(commandTail, L"/postinstall") == 0;
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
    if (IsPostInstallRun(commandTail)) {
        RunPostInstall();
    } else {
        RunDialog(instance);
    }
    return 0;
}
