#include "report/log_folder.h"

#include <windows.h>

#include <cwchar>

#include "platform/shell_folder.h"

namespace {

constexpr wchar_t kLogFolder[] = L"\\Logs\\TallowBriskCleaner";
constexpr wchar_t kLogFilePrefix[] = L"\\Tallowbrisk_cleaner_";
constexpr int kCsidlWindows = 0x24;

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::wstring NewLogFileStem(const std::wstring& windowsFolder) {
    std::wstring path = windowsFolder;
    if (path.empty() && !LookUpSpecialFolder(kCsidlWindows, path)) {
        return std::wstring();
    }
    path += kLogFolder;
    if (!IsFolder(path)) {
        CreateDirectoryW(path.c_str(), nullptr);
    }
    wchar_t stamp[64] = {};
    FormatLogTimeStamp(stamp);
    path += kLogFilePrefix;
    path += stamp;
    return path;
}

bool FormatLogTimeStamp(wchar_t* dest) {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    // The round trip through FILETIME normalises the fields.
    FILETIME fileTime{};
    SystemTimeToFileTime(&now, &fileTime);
    FileTimeToSystemTime(&fileTime, &now);

    wchar_t text[128] = {};
    const int length = swprintf(text, 128, L"%04d_%02d_%02dT%02d_%02d_%02dZ", now.wYear, now.wMonth, now.wDay,
                                now.wHour, now.wMinute, now.wSecond);
    if (length < 0 || length + 1 > 64) {
        return false;
    }
    wmemcpy(dest, text, length + 1);
    return true;
}
