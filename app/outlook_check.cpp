#include "app/outlook_check.h"

#include <tlhelp32.h>

#include "platform/app_instance.h"
#include "platform/unique_any.h"
#include "res/resource.h"

bool OutlookIsRunning() {
    // CreateToolhelp32Snapshot reports failure with INVALID_HANDLE_VALUE, not NULL.
    unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return false;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (lstrcmpiW(entry.szExeFile, L"outlook.exe") == 0) {
            return true;
        }
    }
    return false;
}

bool WaitForOutlookToClose(HWND owner) {
    while (OutlookIsRunning()) {
        wchar_t caption[260] = {};
        wchar_t text[260] = {};
        LoadStringW(AppInstance(), IDS_OUTLOOK_CAPTION, caption, 260);
        LoadStringW(AppInstance(), IDS_OUTLOOK_TEXT, text, 260);
        switch (MessageBoxW(owner, text, caption, MB_CANCELTRYCONTINUE)) {
            case IDCANCEL:
                return false;
            case IDCONTINUE:
                return true;
            default:  // Try Again: look once more
                break;
        }
    }
    return true;
}
