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

unique_file OpenForAppending(const std::wstring& path, const std::wstring& header) {
    unique_file file(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    if (!file) {
        return file;
    }
    LARGE_INTEGER size{};
    if ((!GetFileSizeEx(file.get(), &size) || size.QuadPart == 0) && !WriteWhole(file.get(), header)) {
        file.reset();
    }
    return file;
}

bool AppendWhole(HANDLE file, const std::wstring& path, const std::wstring& text) {
    LARGE_INTEGER before{};
    const bool sized = GetFileSizeEx(file, &before);
    if (WriteWhole(file, text)) {
        return true;
    }
    LARGE_INTEGER after{};
    if (sized && GetFileSizeEx(file, &after) && after.QuadPart > before.QuadPart) {
        unique_file cut(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (cut && SetFilePointerEx(cut.get(), before, nullptr, FILE_BEGIN)) {
            SetEndOfFile(cut.get());
        }
    }
    return false;
}

bool WriteWhole(HANDLE file, const std::wstring& text) {
    const DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD written = 0;
    return WriteFile(file, text.data(), size, &written, nullptr) && written == size;
}
