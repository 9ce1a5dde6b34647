#include "app/main_dialog.h"

#include "app/cleaning_session.h"
#include "app/outlook_check.h"
#include "platform/app_instance.h"
#include "res/resource.h"

namespace {

BOOL OnInitDialog(HWND dialog) {
    const POINT position = CenteredWindowPosition(dialog);
    SetWindowPos(dialog, nullptr, position.x, position.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW);

    const HICON icon = LoadIconW(AppInstance(), MAKEINTRESOURCEW(IDI_APP));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));

    if (!WaitForOutlookToClose(dialog)) {
        EndDialog(dialog, 0);  // before the dialog was ever shown
        return FALSE;
    }
    return TRUE;  // the system gives the focus to the first tab stop
}

BOOL OnCommand(HWND dialog, WORD command) {
    switch (command) {
        case IDOK:
            // The session dispatches this dialog's messages while it runs. A second OK, a Cancel,
            // Escape or the close box arriving then are ignored: the session cannot be stopped
            // half-way, and the dialog closes by itself once the session's message is closed.
            if (!CleaningSessionRunning()) {
                RunCleaningSession(dialog);
                EndDialog(dialog, 1);
            }
            return TRUE;
        case IDCANCEL:  // also Escape and the close box
            if (!CleaningSessionRunning()) {
                EndDialog(dialog, 2);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog);
        case WM_COMMAND:
            return OnCommand(dialog, LOWORD(wParam));
        default:
            return FALSE;
    }
}

POINT CenteredPosition(const RECT& window, const RECT* owner, SIZE screen) {
    const LONG width = window.right - window.left;
    const LONG height = window.bottom - window.top;
    if (!owner) {
        return {(screen.cx - width) / 2, (screen.cy - height) / 2};
    }
    POINT position{owner->left + (owner->right - owner->left - width) / 2,
                   owner->top + (owner->bottom - owner->top - height) / 2};
    // Keep the window on the screen. The far edges are checked last, so a window larger than
    // the screen keeps its far edge on screen and starts at a negative coordinate.
    if (position.x < 0) position.x = 0;
    if (position.y < 0) position.y = 0;
    if (position.x + width > screen.cx) position.x = screen.cx - width;
    if (position.y + height > screen.cy) position.y = screen.cy - height;
    return position;
}

POINT CenteredWindowPosition(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    const SIZE screen{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const HWND owner = GetParent(window);
    if (!owner) {
        return CenteredPosition(rect, nullptr, screen);
    }
    RECT ownerRect{};
    GetWindowRect(owner, &ownerRect);
    return CenteredPosition(rect, &ownerRect, screen);
}
