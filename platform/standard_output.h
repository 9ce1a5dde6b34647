#pragma once
// One line to standard output from a program of the GUI subsystem, which Windows starts with
// no console of its own and with standard handles only where its parent handed it some: a
// pipe or a file (PowerShell capturing the output, "> file", a deployment tool's agent), or
// the console the parent runs in. A console is never made: in session 0, and for a user who
// started the program from Explorer, a console window would be the only window it shows.

#include <windows.h>

#include <string>

// How the line goes out through a standard output handle, decided by what the handle is.
enum class OutputWay {
    Bytes,          // a file, a pipe, or another device (NUL): UTF-8 with CR LF, through WriteFile
    Console,        // a console's screen buffer: the UTF-16 text itself, through WriteConsoleW
    ParentConsole,  // no handle, or one that is no longer anything (a console handle of a parent
                    // whose console this process does not share): the parent's console, if it
                    // has one, attached for the one line and left again
};

// `handle`: GetStdHandle's answer; `fileType` and `typeError`: GetFileType's and its
// GetLastError; `consoleMode`: GetConsoleMode succeeded on the handle.
OutputWay ChooseOutputWay(HANDLE handle, DWORD fileType, DWORD typeError, bool consoleMode);

// Writes `line` and a line break to `handle` as ChooseOutputWay says (ParentConsole: nothing).
// True when all of it was written.
bool WriteLineTo(HANDLE handle, const std::wstring& line);

// Writes `line` and a line break to this process's standard output, or to its parent's console
// where it has no standard output; nowhere when it has neither. False when it reached nothing.
bool WriteLineToStandardOutput(const std::wstring& line);
