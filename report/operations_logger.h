#pragma once
// The operations log: every removal attempt of every cleaner becomes one record.

#include <string>

#include "platform/unique_any.h"
#include "report/log_folder.h"

// Sink for removal records. The base class discards them, so a caller that wants no log
// passes a plain OperationsLogger.
class OperationsLogger {
public:
    virtual ~OperationsLogger() = default;

    // kind is one of "remove registry key: ", "remove folder: ", "remove file: ";
    // target is the logged registry path or the file-system path.
    virtual void log(const wchar_t* kind, const wchar_t* target, int succeeded) {
        (void)kind;
        (void)target;
        (void)succeeded;
    }
};

// Writes each record as one UTF-16LE line of a time-stamped log file below the Windows
// folder, and counts the records. The folder and the file are made by the first record only,
// so a run that removes nothing leaves no trace. Each line reaches the file, whole, before
// `log` returns, so that a run killed at any moment has its removals on record; a file of the
// same name (a run in the same second) is added to, never begun anew.
class OperationsLoggerFile : public OperationsLogger {
public:
    // A real run's log, or the preview's: the same lines in a ".preview.log" file, with
    // "planned" in place of "success".
    enum class Kind { Log, Preview };

    // The log goes to "<Windows folder>\Logs\TallowBriskCleaner". Tests name another folder
    // to stand for the Windows folder; empty means the real one.
    explicit OperationsLoggerFile(std::wstring windowsFolder = std::wstring(), Kind kind = Kind::Log);
    ~OperationsLoggerFile() override;

    OperationsLoggerFile(const OperationsLoggerFile&) = delete;
    OperationsLoggerFile& operator=(const OperationsLoggerFile&) = delete;

    void log(const wchar_t* kind, const wchar_t* target, int succeeded) override;

    // Records received, failed ones and those that found no open file included.
    int removalCount() const { return removalCount_; }
    // Records that say "fail".
    int failedCount() const { return failedCount_; }
    // Full path of the log file; empty unless the file was opened.
    const std::wstring& logFilePath() const { return logFilePath_; }

private:
    void open();

    unique_file file_;
    bool initialised_ = false;
    int removalCount_ = 0;
    int failedCount_ = 0;
    std::wstring logFilePath_;
    std::wstring windowsFolder_;
    Kind kind_;
};
