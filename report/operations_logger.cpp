#include "report/operations_logger.h"

#include <windows.h>

#include <string>

#include "report/log_folder.h"

namespace {

constexpr wchar_t kLogFileSuffix[] = L".log";
constexpr wchar_t kPreviewFileSuffix[] = L".preview.log";

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::wstring EscapedLogText(const std::wstring& text) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring escaped;
    escaped.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const bool paired = (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ||
                            (IsLowSurrogate(c) && i > 0 && IsHighSurrogate(text[i - 1]));
        const bool escape = c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == L'<' ||
                            ((IsHighSurrogate(c) || IsLowSurrogate(c)) && !paired);
        if (!escape) {
            escaped += c;
            continue;
        }
        escaped += L"<U+";
        for (int shift = 12; shift >= 0; shift -= 4) escaped += kDigits[(c >> shift) & 0xF];
        escaped += L'>';
    }
    return escaped;
}

OperationsLoggerFile::OperationsLoggerFile(std::wstring windowsFolder, Kind kind)
    : ownStem_(std::move(windowsFolder)), stem_(&ownStem_), kind_(kind) {}

OperationsLoggerFile::OperationsLoggerFile(RunFileStem& stem, Kind kind) : stem_(&stem), kind_(kind) {}

OperationsLoggerFile::~OperationsLoggerFile() = default;

void OperationsLoggerFile::open() {
    openTried_ = true;
    std::wstring path = stem_->make();
    if (path.empty()) {
        // Without the Windows folder there is no place for the log; the records are still counted.
        return;
    }
    path += kind_ == Kind::Preview ? kPreviewFileSuffix : kLogFileSuffix;

    // Added to, if a run in the same second made it: the lines of both runs stay, as the
    // registry backup of that second keeps the keys of both. The byte order mark goes only at
    // the start of a new file.
    file_ = OpenForAppending(path, L"\xFEFF");
    if (file_) {
        logFilePath_ = path;
    }
}

void OperationsLoggerFile::failClosed(std::function<bool()> mayStart, std::function<bool()> openFiles) {
    failClosed_ = true;
    mayStart_ = std::move(mayStart);
    openFiles_ = std::move(openFiles);
}

// The first record or removal of a run that fails closed: may it begin, and are its files open?
void OperationsLoggerFile::start() {
    started_ = true;
    if (mayStart_ && !mayStart_()) {
        heldBack_ = true;
        initialised_ = true;  // a run held back leaves no file
        return;
    }
    if (!initialised_) {
        initialised_ = true;
        open();
    }
    if (!file_ || (openFiles_ && !openFiles_())) {
        writeFailed_ = true;
    }
}

bool OperationsLoggerFile::mayRemove() {
    if (!failClosed_) {
        return true;
    }
    if (!started_) {
        start();
    }
    return !heldBack_ && !writeFailed_;
}

void OperationsLoggerFile::writeFailed() { writeFailed_ = true; }

void OperationsLoggerFile::log(const wchar_t* kind, const std::wstring& target, int succeeded) {
    if (failClosed_ && !started_) {
        start();
    }
    if (!initialised_) {
        initialised_ = true;  // one attempt per logger, whatever its outcome
        open();
    }
    if (file_) {
        std::wstring line = L"LOG Remove:: ";
        line += kind;
        line += L" : ";
        line += EscapedLogText(target);
        line += L" : ";
        line += !succeeded                  ? L"fail"
                : succeeded == kPassedOver  ? L"passed over"
                : kind_ == Kind::Preview    ? L"planned"
                                            : L"success";
        line += L"\r\n";
        // One write per line: a line is either in the file whole or not at all. After a write
        // that failed (a full disk, say) nothing more is written, so no line follows a cut one.
        if (!AppendWhole(file_.get(), logFilePath_, line)) {
            file_.reset();
            writeFailed_ = true;
        }
    } else if (!heldBack_) {
        writeFailed_ = true;  // the record is lost
    }
    ++removalCount_;
    if (!succeeded) {
        ++failedCount_;
    } else if (succeeded == kPassedOver) {
        ++passedOverCount_;
    }
}

bool OperationsLoggerFile::writeLastLine(const std::wstring& line) {
    if (!file_ && !openTried_) {
        initialised_ = true;
        open();
    }
    if (!file_) {
        return false;
    }
    if (!AppendWhole(file_.get(), logFilePath_, line + L"\r\n")) {
        file_.reset();
        writeFailed_ = true;
        return false;
    }
    return true;
}
