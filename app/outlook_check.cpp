#include "app/outlook_check.h"

#include "platform/app_instance.h"
#include "platform/process_list.h"
#include "res/resource.h"

bool OutlookIsRunning() { return !ProcessesNamed(L"outlook.exe").empty(); }

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
