#pragma once
// The program's one window: a modal dialog that explains the cleaner, links to the add-in's
// download page, and runs a cleaning session on OK.

#include <windows.h>

// Procedure of dialog resource 129. Ends the dialog with 1 after a session, 2 on Cancel, and
// 0 when the user cancels the warning about a running Outlook (the dialog is then never shown).
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The screen position that centres `window` on its owner (kept on the screen), or on the
// primary screen when it has none.
POINT CenteredWindowPosition(HWND window);

// The arithmetic of CenteredWindowPosition: `window` and `owner` are screen rectangles,
// `owner` null when there is none; `screen` is the primary screen's size.
POINT CenteredPosition(const RECT& window, const RECT* owner, SIZE screen);
