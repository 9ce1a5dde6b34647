#include "report/operations_logger.h"

#include <windows.h>

#include <cwchar>
#include <string>

#include "platform/special_folder.h"

namespace {

constexpr wchar_t kLogFolder[] = L"\\Logs\\TallowBriskCleaner";
constexpr wchar_t kLogFilePrefix[] = L"\\Tallowbrisk_cleaner_";
constexpr wchar_t kLogFileSuffix[] = L".log";
constexpr int kCsidlWindows = 0x24;

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void WriteText(FILE* stream, const std::wstring& text) {
    // Written as raw UTF-16LE code units rather than through the runtime's wide formatted
    // output, which may convert to the ANSI code page depending on the runtime flavour.
    fwrite(text.data(), sizeof(wchar_t), text.size(), stream);
}

}  // namespace

OperationsLoggerFile::OperationsLoggerFile(std::wstring windowsFolder) : windowsFolder_(std::move(windowsFolder)) {}

OperationsLoggerFile::~OperationsLoggerFile() {
    if (stream_) {
        fclose(stream_);
    }
}

void OperationsLoggerFile::open() {
    std::wstring path = windowsFolder_;
    if (path.empty() && !LookUpSpecialFolder(kCsidlWindows, path)) {
        // Without the Windows folder there is no place for the log; the records are still counted.
        return;
    }
    path += kLogFolder;
    if (!IsFolder(path)) {
        CreateDirectoryW(path.c_str(), nullptr);
    }
    wchar_t stamp[64] = {};
    FormatLogTimeStamp(stamp);
    path += kLogFilePrefix;
    path += stamp;
    path += kLogFileSuffix;

    // "wb" creates or truncates, and shares the file with other readers and writers.
    stream_ = _wfopen(path.c_str(), L"wb");
    if (stream_) {
        logFilePath_ = path;
        WriteText(stream_, L"\xFEFF");
    }
}

void OperationsLoggerFile::log(const wchar_t* kind, const wchar_t* target, int succeeded) {
    if (!initialised_) {
        initialised_ = true;  // one attempt per logger, whatever its outcome
        open();
    }
    if (stream_) {
        std::wstring line = L"LOG Remove:: ";
        line += kind;
        line += L" : ";
        line += target;
        line += L" : ";
        line += succeeded ? L"success" : L"fail";
        line += L"\r\n";
        WriteText(stream_, line);
    }
    ++removalCount_;
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
