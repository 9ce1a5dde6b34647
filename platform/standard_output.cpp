#include "platform/standard_output.h"

#include <vector>

#include "platform/unique_any.h"

OutputWay ChooseOutputWay(HANDLE handle, DWORD fileType, DWORD typeError, bool consoleMode) {
    if (!handle || handle == INVALID_HANDLE_VALUE) {
        return OutputWay::ParentConsole;
    }
    if (fileType == FILE_TYPE_UNKNOWN && typeError != NO_ERROR) {
        return OutputWay::ParentConsole;  // the handle names nothing in this process
    }
    return fileType == FILE_TYPE_CHAR && consoleMode ? OutputWay::Console : OutputWay::Bytes;
}

namespace {

OutputWay WayOf(HANDLE handle) {
    if (!handle || handle == INVALID_HANDLE_VALUE) {
        return OutputWay::ParentConsole;
    }
    SetLastError(NO_ERROR);
    const DWORD type = GetFileType(handle);
    const DWORD error = GetLastError();
    DWORD mode = 0;
    return ChooseOutputWay(handle, type, error, type == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode));
}

bool WriteUtf8(HANDLE handle, const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return false;
    std::vector<char> bytes(size);
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    DWORD written = 0;
    return WriteFile(handle, bytes.data(), static_cast<DWORD>(size), &written, nullptr) &&
           written == static_cast<DWORD>(size);
}

bool WriteToConsole(HANDLE handle, const std::wstring& text) {
    DWORD written = 0;
    return WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

}  // namespace

bool WriteLineTo(HANDLE handle, const std::wstring& line) {
    const std::wstring text = line + L"\r\n";
    switch (WayOf(handle)) {
        case OutputWay::Bytes:
            return WriteUtf8(handle, text);
        case OutputWay::Console:
            return WriteToConsole(handle, text);
        case OutputWay::ParentConsole:
            break;
    }
    return false;
}

bool WriteLineToStandardOutput(const std::wstring& line) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (WayOf(output) != OutputWay::ParentConsole) {
        return WriteLineTo(output, line);
    }
    // Attaching only joins a console that is there: no window is made, in session 0 or
    // elsewhere. It fails where the parent has none (a service, Explorer).
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) {
        return false;
    }
    bool written = false;
    {
        unique_file console(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
        written = console && WriteLineTo(console.get(), line);
    }
    FreeConsole();
    return written;
}
