#pragma once
// Opening the download link as the signed-in user. The program runs elevated (its manifest
// asks for it), and whatever it starts runs elevated too: a browser started by it would have
// administrator rights. So an elevated process asks the shell's desktop process (Explorer,
// which runs as the signed-in user, unelevated) to open the link; without that desktop (no
// one signed in, the system account's session, a shell that offers none) the link is not
// opened at all.

#include <windows.h>

// How a link is opened.
enum class LinkRoute { Directly, ThroughTheDesktop, NotAtAll };

// Directly when the process is not elevated; through the desktop when it is and the desktop is
// there; otherwise not at all.
LinkRoute ChooseLinkRoute(bool elevated, bool desktopAvailable);

// True unless the process's token says it is not elevated (one that can't be read counts as
// elevated: the link then goes through the desktop, or nowhere).
bool ProcessIsElevated();

// The link opener of the hyperlink control, with ShellExecuteW's signature: the URL `file`
// opened by the route above. Returns a value above 32 when it was handed on.
HINSTANCE WINAPI OpenAsSignedInUser(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                                    INT show);
