#pragma once
// The operations log: every removal attempt of every cleaner becomes one record.

#include <functional>
#include <string>

#include "platform/unique_any.h"
#include "report/log_folder.h"

// What became of one attempt, as a record's `succeeded` carries it: 0 failed, 1 succeeded (or,
// in a preview, is planned), and kPassedOver for a target the cleaner chose not to touch (a
// registry link, another user's folder on a share): no removal, and no failure either.
constexpr int kPassedOver = 2;

// A record's target as its line carries it, so that one record is one line however a name
// that someone chose is spelled. Written as "<U+" and the UTF-16 code unit in four upper-case
// hex digits and ">" ("<U+000D>"): the C0 controls (U+0000 to U+001F, CR and LF among them),
// DEL and the C1 controls (U+007F to U+009F, NEL among them), the line and paragraph
// separators U+2028 and U+2029, a surrogate that is not half of a pair, and "<" itself
// ("<U+003C>"), so that every "<" in a target begins an escape. Everything else stands as it
// is, a backslash and a percent sign included: a path reads as it always has (no file or
// folder name holds "<").
std::wstring EscapedLogText(const std::wstring& text);

// Sink for removal records. The base class discards them, so a caller that wants no log
// passes a plain OperationsLogger.
class OperationsLogger {
public:
    virtual ~OperationsLogger() = default;

    // kind is one of "remove registry key: ", "remove folder: ", "remove file: ";
    // target is the logged registry path or the file-system path.
    virtual void log(const wchar_t* kind, const std::wstring& target, int succeeded) {
        (void)kind;
        (void)target;
        (void)succeeded;
    }

    // Asked by the cleaners just before each removal: false when the run must remove nothing
    // more. The base class always agrees.
    virtual bool mayRemove() { return true; }

    // Told when a file of the run's other than the log (the registry backup) could not be
    // written.
    virtual void writeFailed() {}
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
    // The same, named by the stem the run's other files share (report/log_folder.h), which
    // must outlive the logger.
    explicit OperationsLoggerFile(RunFileStem& stem, Kind kind = Kind::Log);
    ~OperationsLoggerFile() override;

    OperationsLoggerFile(const OperationsLoggerFile&) = delete;
    OperationsLoggerFile& operator=(const OperationsLoggerFile&) = delete;

    void log(const wchar_t* kind, const std::wstring& target, int succeeded) override;

    // For the runs that no one watches: nothing is removed that the log does not record. At
    // the first removal, `mayStart` is asked whether the run may begin at all (false holds it
    // back: it then writes nothing and removes nothing), then the log is opened, then
    // `openFiles` opens the run's other files; the run removes only when all of it succeeded,
    // and stops removing after any write that fails, the log's or another file's. Either
    // function may be empty.
    void failClosed(std::function<bool()> mayStart, std::function<bool()> openFiles);
    bool mayRemove() override;
    void writeFailed() override;

    // Ends the file with `line` (an unattended run's summary, report/run_summary.h), made now
    // if no record made it: a run that removed nothing, or was held back, still leaves that
    // line. Not counted as a record. False when it could not be written.
    bool writeLastLine(const std::wstring& line);

    // True when the run was held back by `mayStart`.
    bool heldBack() const { return heldBack_; }
    // True when a write failed or a file could not be opened, so that records are missing
    // from the log or keys from the backup (in a run that fails closed, nothing was removed
    // from then on).
    bool writeFailedOnce() const { return writeFailed_; }

    // Records received, failed and passed-over ones and those that found no open file included.
    int removalCount() const { return removalCount_; }
    // Records that say "fail".
    int failedCount() const { return failedCount_; }
    // Records that say "passed over".
    int passedOverCount() const { return passedOverCount_; }
    // Records that say "success" (in a preview, "planned").
    int removedCount() const { return removalCount_ - failedCount_ - passedOverCount_; }
    // Full path of the log file; empty unless the file was opened.
    const std::wstring& logFilePath() const { return logFilePath_; }

private:
    void open();
    void start();

    unique_file file_;
    bool failClosed_ = false;
    std::function<bool()> mayStart_;
    std::function<bool()> openFiles_;
    bool started_ = false;
    bool heldBack_ = false;
    bool writeFailed_ = false;
    bool initialised_ = false;  // no record may open the file any more
    bool openTried_ = false;
    int removalCount_ = 0;
    int failedCount_ = 0;
    int passedOverCount_ = 0;
    std::wstring logFilePath_;
    RunFileStem ownStem_;
    RunFileStem* stem_;
    Kind kind_;
};
