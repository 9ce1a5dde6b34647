#include "report/operations_logger.h"

#include <windows.h>

#include <string>

#include "report/log_folder.h"

namespace {

constexpr wchar_t kLogFileSuffix[] = L".log";
constexpr wchar_t kPreviewFileSuffix[] = L".preview.log";

void WriteText(FILE* stream, const std::wstring& text) {
    // Written as raw UTF-16LE code units rather than through the runtime's wide formatted
    // output, which may convert to the ANSI code page depending on the runtime flavour.
    fwrite(text.data(), sizeof(wchar_t), text.size(), stream);
}

}  // namespace

OperationsLoggerFile::OperationsLoggerFile(std::wstring windowsFolder, Kind kind)
    : windowsFolder_(std::move(windowsFolder)), kind_(kind) {}

OperationsLoggerFile::~OperationsLoggerFile() {
    if (stream_) {
        fclose(stream_);
    }
}

void OperationsLoggerFile::open() {
    std::wstring path = NewLogFileStem(windowsFolder_);
    if (path.empty()) {
        // Without the Windows folder there is no place for the log; the records are still counted.
        return;
    }
    path += kind_ == Kind::Preview ? kPreviewFileSuffix : kLogFileSuffix;

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
        line += !succeeded ? L"fail" : kind_ == Kind::Preview ? L"planned" : L"success";
        line += L"\r\n";
        WriteText(stream_, line);
    }
    ++removalCount_;
    if (!succeeded) {
        ++failedCount_;
    }
}
