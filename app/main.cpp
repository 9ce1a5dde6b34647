// Entry point of the Tallowbrisk cleaner.
//
//   TallowbriskCleaner.exe                 shows the cleaning dialog
//   TallowbriskCleaner.exe /postinstall    removes the add-in's settings files, silently
//
// The exit code is 0 in every case.

#include <windows.h>

#include "files/settings_files.h"
#include "report/operations_logger.h"

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

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandTail, int) {
    if (IsPostInstallRun(commandTail)) {
        RunPostInstall();
        return 0;
    }
    return 0;
}
