#include "app/cleaning_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/unattended_runs.h"
#include "report/operations_logger.h"
#include "tests/unit/support/temp_folder.h"

namespace {

// A progress platform without a taskbar whose trace lines land in the session's event list.
class QuietProgressPlatform : public ProgressPlatform {
public:
    explicit QuietProgressPlatform(std::vector<std::wstring>& events) : events_(events) {}
    DWORD tickCount() override { return tick_ += 100; }
    DWORD version() override { return 0x0106; }  // 6.1: no taskbar progress
    void trace(const wchar_t* text) override { events_.push_back(std::wstring(L"trace ") + text); }
    ITaskbarList3* createTaskbar() override { return nullptr; }

private:
    std::vector<std::wstring>& events_;
    DWORD tick_ = 0;
};

// Watches a session: what it shows, in which order, and with which cleaners.
class WatchedPlatform : public SessionPlatform {
public:
    explicit WatchedPlatform(std::wstring windowsFolder) : windowsFolder_(std::move(windowsFolder)) {}

    std::wstring logWindowsFolder() override { return windowsFolder_; }
    ProgressPlatform& progressPlatform() override { return progress_; }
    HCURSOR waitCursor() override { return wait_; }
    HCURSOR setCursor(HCURSOR cursor) override {
        events.push_back(cursor == wait_ ? L"wait cursor" : L"cursor back");
        return std::exchange(cursor_, cursor);
    }
    void runCleaners(OperationsLogger& logger, ProgressCleaner&, RegistryBackup&) override {
        events.push_back(L"cleaners");
        cleaners(logger);
    }
    void runPreviewCleaners(OperationsLogger& logger) override {
        events.push_back(L"preview cleaners");
        cleaners(logger);
    }
    bool outlookRunning() override { return outlook; }
    bool installerRunning() override { return installer(); }
    void writeStandardOutput(const std::wstring& line) override { output.push_back(line); }
    int usersVisited() const override { return visited; }
    int usersPassedOver() const override { return passedOver; }
    void showMessage(HWND, const std::wstring& text) override {
        events.push_back(L"message");
        messages.push_back(text);
        cursorAtMessage = cursor_;
        if (onMessage) onMessage();
    }

    std::function<void(OperationsLogger&)> cleaners = [](OperationsLogger&) {};
    std::function<void()> onMessage;
    bool outlook = false;
    std::function<bool()> installer = [] { return false; };
    std::vector<std::wstring> events;
    std::vector<std::wstring> messages;
    std::vector<std::wstring> output;  // standard output's lines
    int visited = 0;
    int passedOver = 0;
    HCURSOR cursorAtMessage = nullptr;
    const HCURSOR before_ = reinterpret_cast<HCURSOR>(0x1111);

private:
    std::wstring windowsFolder_;
    QuietProgressPlatform progress_{events};
    HCURSOR wait_ = reinterpret_cast<HCURSOR>(0x2222);
    HCURSOR cursor_ = before_;
};

// A stand-in Windows folder with its "Logs" folder.
struct WindowsFolder {
    TempFolder folder;
    WindowsFolder() { CreateDirectoryW((folder / L"Logs").c_str(), nullptr); }
    std::wstring logFolder() const { return folder / L"Logs\\TallowBriskCleaner"; }
};

TEST(RunCleaningSession, NothingToRemoveSaysSoAndLeavesNoLog) {
    WindowsFolder windows;
    WatchedPlatform platform(windows.folder.path());
    EXPECT_EQ(RunCleaningSession(nullptr, platform), 1);
    EXPECT_EQ(platform.messages, std::vector<std::wstring>{L"Tallowbrisk cleaner found nothing to remove"});
    EXPECT_FALSE(Exists(windows.logFolder()));
}

TEST(RunCleaningSession, StepsComeInOrderAndTheCursorIsBackBeforeTheMessage) {
    WindowsFolder windows;
    WatchedPlatform platform(windows.folder.path());
    RunCleaningSession(nullptr, platform);
    EXPECT_EQ(platform.events,
              (std::vector<std::wstring>{L"wait cursor", L"trace cur pos 0 / 100 - 0\n", L"cleaners",
                                         L"trace cur pos 100 / 100 - 200\n", L"cursor back", L"message"}));
    EXPECT_EQ(platform.cursorAtMessage, platform.before_);
}

TEST(RunCleaningSession, CountsFailedRemovalsAndNamesTheCompleteLogFile) {
    WindowsFolder windows;
    WatchedPlatform platform(windows.folder.path());
    platform.cleaners = [](OperationsLogger& logger) {
        logger.log(L"remove file: ", L"C:\\a\\user.config", 1);
        logger.log(L"remove folder: ", L"C:\\b\\Tallowbrisk", 0);
        logger.log(L"remove registry key: ", L"HKLM\\SOFTWARE\\Tallowbrisk", 1);
    };
    std::string logAtMessage;
    platform.onMessage = [&] {
        // The log is closed before the message names it: complete, and open to anyone.
        const std::wstring text = platform.messages.back();
        logAtMessage = ReadFileBytes(text.substr(text.rfind(L'\n') + 1));
    };
    RunCleaningSession(nullptr, platform);

    ASSERT_EQ(platform.messages.size(), 1u);
    const std::wstring& text = platform.messages[0];
    // The failed attempt is no removal: it is counted on its own.
    const std::wstring head =
        L"Tallowbrisk cleaner removed 2 items.\n1 item could not be removed; the log names "
        L"it.\nMore technical information on file:\n" +
        windows.logFolder() + L"\\Tallowbrisk_cleaner_";
    EXPECT_EQ(text.compare(0, head.size(), head), 0) << text;
    EXPECT_EQ(text.substr(text.size() - 4), L".log");
    EXPECT_EQ(logAtMessage, "\xFF\xFE" + Utf16Le(L"LOG Remove:: remove file:  : C:\\a\\user.config : success\r\n"
                                                 L"LOG Remove:: remove folder:  : C:\\b\\Tallowbrisk : fail\r\n"
                                                 L"LOG Remove:: remove registry key:  : HKLM\\SOFTWARE\\Tallowbrisk"
                                                 L" : success\r\n"));
}

TEST(RunCleaningSession, WithoutALogFileTheMessageGivesTheCountAlone) {
    TempFolder windows;  // no "Logs" folder, so no log file can be made
    WatchedPlatform platform(windows.path());
    platform.cleaners = [](OperationsLogger& logger) {
        logger.log(L"remove file: ", L"C:\\a\\user.config", 1);
        logger.log(L"remove file: ", L"C:\\b\\user.config", 0);
    };
    RunCleaningSession(nullptr, platform);
    EXPECT_EQ(platform.messages,
              std::vector<std::wstring>{std::wstring(L"Tallowbrisk cleaner removed 1 items.\n1 item could not be "
                                                     L"removed.") +
                                        kLogNotWrittenSentence});
}

// What the closing message says of each outcome: a failed attempt or a target passed over is
// never counted as removed, and the first sentence of a session without them is as it was.
TEST(ClosingMessage, CountsOnlyWhatWasRemovedAndTellsWhatWasNot) {
    const std::wstring log = L"C:\\Windows\\Logs\\TallowBriskCleaner\\Tallowbrisk_cleaner_x.log";
    const std::wstring more = L"\nMore technical information on file:\n" + log;
    const struct {
        SessionOutcome outcome;
        bool logFailed;
        std::wstring text;
    } cases[] = {
        {{0, 0, 0}, false, L"Tallowbrisk cleaner found nothing to remove"},
        {{3, 0, 0}, false, L"Tallowbrisk cleaner removed 3 items." + more},
        {{2, 1, 0},
         false,
         L"Tallowbrisk cleaner removed 2 items.\n1 item could not be removed; the log names it." + more},
        {{0, 4, 0},
         false,
         L"Tallowbrisk cleaner removed 0 items.\n4 items could not be removed; the log names them." + more},
        {{5, 0, 2},
         false,
         L"Tallowbrisk cleaner removed 5 items.\n2 items were passed over and left in place; the log names them." +
             more},
        {{0, 1, 1},
         false,
         L"Tallowbrisk cleaner removed 0 items.\n1 item could not be removed; the log names it.\n1 item was passed "
         L"over and left in place; the log names it." +
             more},
        {{2, 3, 0},
         true,
         std::wstring(L"Tallowbrisk cleaner removed 2 items.\n3 items could not be removed.") + kLogNotWrittenSentence},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.text, ClosingMessage(c.outcome, log, c.logFailed));
    }
}

TEST(RunCleaningSession, ASecondSessionCannotStartWhileOneRuns) {
    WindowsFolder windows;
    WatchedPlatform platform(windows.folder.path());
    int nested = -1;
    platform.cleaners = [&](OperationsLogger& logger) {
        EXPECT_TRUE(CleaningSessionRunning());
        // What a second OK, dispatched by the progress sink, would do.
        WatchedPlatform second(windows.folder.path());
        second.cleaners = [](OperationsLogger& log) { log.log(L"remove file: ", L"C:\\x", 1); };
        nested = RunCleaningSession(nullptr, second);
        EXPECT_TRUE(second.events.empty());
        logger.log(L"remove file: ", L"C:\\y", 1);
    };
    EXPECT_EQ(RunCleaningSession(nullptr, platform), 1);
    EXPECT_EQ(nested, 0);
    EXPECT_FALSE(CleaningSessionRunning());
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].rfind(L"Tallowbrisk cleaner removed 1 items.", 0), 0u);
}

void OneSuccessAndOneFailure(OperationsLogger& logger) {
    logger.log(L"remove file: ", L"C:\\a\\user.config", 1);
    logger.log(L"remove folder: ", L"C:\\b\\Tallowbrisk", 0);
}

std::vector<std::wstring> LogFolderFiles(const std::wstring& folder) {
    std::vector<std::wstring> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    return names;
}

// The lines of the one file in the log folder whose name ends in `ending`, less its byte order
// mark; empty when there is not exactly one.
std::vector<std::wstring> LinesOfTheOne(const WindowsFolder& windows, const std::wstring& ending) {
    std::vector<std::wstring> found;
    if (!Exists(windows.logFolder())) return found;
    for (const std::wstring& name : LogFolderFiles(windows.logFolder())) {
        if (name.size() > ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0 &&
            (ending != L".log" || name.find(L".preview.") == std::wstring::npos)) {
            found.push_back(name);
        }
    }
    if (found.size() != 1) return {L"(" + std::to_wstring(found.size()) + L" files)"};
    const std::string bytes = ReadFileBytes(windows.logFolder() + L"\\" + found[0]);
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()) + 1, bytes.size() / 2 - 1);
    std::vector<std::wstring> lines;
    for (size_t start = 0, end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Each run leaves its summary last in its log, and the same line on standard output.
void ExpectSummary(const WatchedPlatform& platform, const std::vector<std::wstring>& log, const std::wstring& tail) {
    ASSERT_EQ(platform.output.size(), 1u);
    EXPECT_TRUE(EndsWith(platform.output[0], tail)) << platform.output[0];
    EXPECT_EQ(platform.output[0].rfind(L"LOG Summary:: ", 0), 0u);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), platform.output[0]);
}

TEST(RunQuietSession, ExitCodesTellTheOutcomeAndNothingIsShown) {
    {
        // Nothing to remove: no file but the log, which holds the summary alone.
        WindowsFolder windows;
        WatchedPlatform nothing(windows.folder.path());
        nothing.visited = 1;
        EXPECT_EQ(RunQuietSession(nothing, RunHeading{L"1.15.1", L"/quiet", false, L"VM\\ann", L"S-1-5-21-1-2-3-1001"}),
                  0);
        EXPECT_EQ(nothing.events, std::vector<std::wstring>{L"cleaners"});  // no cursor, no message
        EXPECT_EQ(LogFolderFiles(windows.logFolder()).size(), 1u);
        EXPECT_EQ(LinesOfTheOne(windows, L".log").size(), 1u);
        EXPECT_NE(nothing.output.at(0).find(L"version=1.15.1; switches=/quiet; allUsers=no; account=VM\\ann; "
                                            L"sid=S-1-5-21-1-2-3-1001; usersVisited=1;"),
                  std::wstring::npos);
        ExpectSummary(nothing, LinesOfTheOne(windows, L".log"), L"exit=0; reason=nothing-to-remove");
    }
    {
        WindowsFolder windows;
        WatchedPlatform allRemoved(windows.folder.path());
        allRemoved.cleaners = [](OperationsLogger& logger) {
            logger.log(L"remove file: ", L"C:\\a\\user.config", 1);
            logger.log(L"clean user: ", L"\\\\host\\share\\docs", kPassedOver);
        };
        EXPECT_EQ(RunQuietSession(allRemoved), 0) << "passed over is no failure";
        const std::vector<std::wstring> log = LinesOfTheOne(windows, L".log");
        ASSERT_EQ(log.size(), 3u);
        EXPECT_EQ(log[1], L"LOG Remove:: clean user:  : \\\\host\\share\\docs : passed over");
        ExpectSummary(allRemoved, log, L"removed=1; failed=0; passedOver=1; exit=0; reason=cleaned");
    }
    {
        WindowsFolder windows;
        WatchedPlatform oneFailed(windows.folder.path());
        oneFailed.cleaners = OneSuccessAndOneFailure;
        oneFailed.visited = 3;
        oneFailed.passedOver = 1;
        EXPECT_EQ(RunQuietSession(oneFailed), 1603);
        EXPECT_EQ(oneFailed.events, std::vector<std::wstring>{L"cleaners"});
        ExpectSummary(oneFailed, LinesOfTheOne(windows, L".log"),
                      L"usersVisited=3; usersPassedOver=1; removed=1; failed=1; passedOver=0; exit=1603; "
                      L"reason=removal-failed");
    }
}

TEST(RunQuietSession, WhileOutlookRunsNothingIsTouchedAndTheLogHoldsTheSummaryAlone) {
    WindowsFolder windows;
    WatchedPlatform platform(windows.folder.path());
    platform.outlook = true;
    platform.cleaners = OneSuccessAndOneFailure;
    EXPECT_EQ(RunQuietSession(platform), 1618);
    EXPECT_TRUE(platform.events.empty());
    const std::vector<std::wstring> log = LinesOfTheOne(windows, L".log");
    EXPECT_EQ(log.size(), 1u);
    ExpectSummary(platform, log, L"removed=0; failed=0; passedOver=0; exit=1618; reason=outlook-running");
}

// Cleaners that remove as the real ones do: only when the log agrees. Counts what went.
void RemoveTwoFiles(OperationsLogger& logger, int& removed) {
    for (const wchar_t* path : {L"C:\\a\\user.config", L"C:\\b\\user.config"}) {
        const bool allowed = logger.mayRemove();
        removed += allowed ? 1 : 0;
        logger.log(L"remove file: ", path, allowed ? 1 : 0);
    }
}

TEST(RunQuietSession, NoLogNoRemovalAndNoneDuringAnInstallersTransaction) {
    // The log folder cannot be made: nothing is removed, and the run fails; its word goes to
    // standard output alone.
    TempFolder noLogs;
    WatchedPlatform unlogged(noLogs.path());
    int removed = 0;
    unlogged.cleaners = [&](OperationsLogger& logger) { RemoveTwoFiles(logger, removed); };
    EXPECT_EQ(RunQuietSession(unlogged), 1603);
    EXPECT_EQ(0, removed);
    ASSERT_EQ(unlogged.output.size(), 1u);
    EXPECT_TRUE(EndsWith(unlogged.output[0], L"removed=0; failed=2; passedOver=0; exit=1603; reason=log-not-written"))
        << unlogged.output[0];
    EXPECT_FALSE(Exists(noLogs / L"Logs"));

    // A transaction in progress at the start: nothing runs at all.
    {
        WindowsFolder windows;
        WatchedPlatform busy(windows.folder.path());
        busy.installer = [] { return true; };
        busy.cleaners = [&](OperationsLogger& logger) { RemoveTwoFiles(logger, removed); };
        EXPECT_EQ(RunQuietSession(busy), 1618);
        EXPECT_TRUE(busy.events.empty());
        ExpectSummary(busy, LinesOfTheOne(windows, L".log"), L"exit=1618; reason=installation-running");
        busy.output.clear();
        EXPECT_EQ(RunPreviewSession(busy), 1618);
        EXPECT_TRUE(busy.events.empty());
        ExpectSummary(busy, LinesOfTheOne(windows, L".preview.log"),
                      L"planned=0; failed=0; passedOver=0; exit=1618; reason=installation-running");
    }

    // One that began during the search, before the first removal: nothing removed, and the log
    // holds the summary alone, which counts nothing.
    WindowsFolder windows;
    WatchedPlatform late(windows.folder.path());
    int asked = 0;
    late.installer = [&] { return ++asked > 1; };
    late.cleaners = [&](OperationsLogger& logger) { RemoveTwoFiles(logger, removed); };
    EXPECT_EQ(RunQuietSession(late), 1618);
    EXPECT_EQ(2, asked);
    EXPECT_EQ(0, removed);
    const std::vector<std::wstring> lateLog = LinesOfTheOne(windows, L".log");
    EXPECT_EQ(lateLog.size(), 1u);
    ExpectSummary(late, lateLog, L"removed=0; failed=0; passedOver=0; exit=1618; reason=installation-running");

    // Free: both go, and the backup opened ahead of need leaves no empty file.
    WindowsFolder freeWindows;
    WatchedPlatform free(freeWindows.folder.path());
    free.cleaners = [&](OperationsLogger& logger) { RemoveTwoFiles(logger, removed); };
    EXPECT_EQ(RunQuietSession(free), 0);
    EXPECT_EQ(2, removed);
    const std::vector<std::wstring> files = LogFolderFiles(freeWindows.logFolder());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].substr(files[0].size() - 4), L".log");
    ExpectSummary(free, LinesOfTheOne(freeWindows, L".log"),
                  L"removed=2; failed=0; passedOver=0; exit=0; reason=cleaned");
}

TEST(RunCleaningSession, DuringAnInstallersTransactionItSaysSoAndCleansNothing) {
    WindowsFolder windows;
    WatchedPlatform platform(windows.folder.path());
    platform.installer = [] { return true; };
    EXPECT_EQ(RunCleaningSession(nullptr, platform), 1);
    EXPECT_EQ(platform.events, std::vector<std::wstring>{L"message"});
    EXPECT_EQ(platform.messages, std::vector<std::wstring>{kInstallerRunningMessage});
    EXPECT_FALSE(Exists(windows.logFolder()));
}

TEST(RunPreviewSession, WritesThePlannedLinesBesideTheLogAndSaysWhetherAnyWereFound) {
    {
        WindowsFolder windows;
        WatchedPlatform nothing(windows.folder.path());
        EXPECT_EQ(RunPreviewSession(nothing), 0);
        EXPECT_EQ(nothing.events, std::vector<std::wstring>{L"preview cleaners"});
        const std::vector<std::wstring> list = LinesOfTheOne(windows, L".preview.log");
        EXPECT_EQ(list.size(), 1u);
        ExpectSummary(nothing, list, L"planned=0; failed=0; passedOver=0; exit=0; reason=nothing-to-remove");
    }
    {
        // What a run would pass over leaves the machine clean: nothing to do.
        WindowsFolder windows;
        WatchedPlatform passedOver(windows.folder.path());
        passedOver.cleaners = [](OperationsLogger& logger) {
            logger.log(L"clean user: ", L"C:\\Users\\bob\\NTUSER.DAT", kPassedOver);
        };
        EXPECT_EQ(RunPreviewSession(passedOver), 0);
        ExpectSummary(passedOver, LinesOfTheOne(windows, L".preview.log"),
                      L"planned=0; failed=0; passedOver=1; exit=0; reason=nothing-to-remove");
    }
    for (const bool failedOnly : {false, true}) {
        WindowsFolder windows;
        WatchedPlatform something(windows.folder.path());
        something.outlook = true;  // a preview changes nothing, so Outlook may run
        something.cleaners = OneSuccessAndOneFailure;
        if (failedOnly) {
            something.cleaners = [](OperationsLogger& logger) { logger.log(L"remove folder: ", L"C:\\b", 0); };
        }
        EXPECT_EQ(RunPreviewSession(something), 1);
        const std::vector<std::wstring> files = LogFolderFiles(windows.logFolder());
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0].rfind(L"Tallowbrisk_cleaner_", 0), 0u);
        EXPECT_EQ(files[0].substr(files[0].size() - 12), L".preview.log");
        const std::vector<std::wstring> list = LinesOfTheOne(windows, L".preview.log");
        ExpectSummary(something, list,
                      failedOnly ? L"planned=0; failed=1; passedOver=0; exit=1; reason=something-to-remove"
                                 : L"planned=1; failed=1; passedOver=0; exit=1; reason=something-to-remove");
        if (!failedOnly) {
            EXPECT_EQ(list, (std::vector<std::wstring>{L"LOG Remove:: remove file:  : C:\\a\\user.config : planned",
                                                       L"LOG Remove:: remove folder:  : C:\\b\\Tallowbrisk : fail",
                                                       something.output[0]}));
        }
    }
}

// A log folder, or "Logs" above it, that is a link (as a mount point would be): every kind of
// run removes nothing, and says why.
TEST(RunCleaningSession, ALogFolderThatIsALinkRemovesNothingAndSaysWhy) {
    for (const bool logsIsLink : {false, true}) {
        TempFolder windows;
        TempFolder elsewhere;
        ASSERT_TRUE(LinkLogFolder(windows.path(), elsewhere.path(), logsIsLink));
        WatchedPlatform dialog(windows.path());
        dialog.cleaners = OneSuccessAndOneFailure;
        EXPECT_EQ(RunCleaningSession(nullptr, dialog), 1);
        EXPECT_EQ(dialog.events, std::vector<std::wstring>{L"message"});
        EXPECT_EQ(dialog.messages, std::vector<std::wstring>{LogFolderRefusedMessage(
                                       windows / L"Logs\\TallowBriskCleaner")});
        EXPECT_NE(std::wstring::npos, dialog.messages[0].find(L"is a link or a mount point"));

        WatchedPlatform quiet(windows.path());
        quiet.cleaners = OneSuccessAndOneFailure;
        EXPECT_EQ(RunQuietSession(quiet), 1603);
        WatchedPlatform preview(windows.path());
        preview.cleaners = OneSuccessAndOneFailure;
        EXPECT_EQ(RunPreviewSession(preview), 1603);
        EXPECT_TRUE(quiet.events.empty());
        EXPECT_TRUE(preview.events.empty());
        EXPECT_EQ(std::vector<std::wstring>{}, DescribeTree(elsewhere.path()));
        // Their word goes to standard output alone.
        for (const WatchedPlatform* run : {&quiet, &preview}) {
            ASSERT_EQ(run->output.size(), 1u);
            EXPECT_TRUE(EndsWith(run->output[0], L"failed=0; passedOver=0; exit=1603; reason=log-folder-refused"))
                << run->output[0];
        }
    }
}

}  // namespace
