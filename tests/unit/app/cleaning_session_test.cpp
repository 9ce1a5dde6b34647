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
    const std::wstring head = L"Tallowbrisk cleaner removed 3 items.\nMore technical information on file:\n" +
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
              std::vector<std::wstring>{std::wstring(L"Tallowbrisk cleaner removed 2 items.") + kLogNotWrittenSentence});
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

TEST(RunQuietSession, ExitCodesTellTheOutcomeAndNothingIsShown) {
    WindowsFolder windows;
    WatchedPlatform nothing(windows.folder.path());
    EXPECT_EQ(RunQuietSession(nothing), 0);
    EXPECT_EQ(nothing.events, std::vector<std::wstring>{L"cleaners"});  // no cursor, no message
    EXPECT_FALSE(Exists(windows.logFolder()));

    WatchedPlatform allRemoved(windows.folder.path());
    allRemoved.cleaners = [](OperationsLogger& logger) { logger.log(L"remove file: ", L"C:\\a\\user.config", 1); };
    EXPECT_EQ(RunQuietSession(allRemoved), 0);

    WatchedPlatform oneFailed(windows.folder.path());
    oneFailed.cleaners = OneSuccessAndOneFailure;
    EXPECT_EQ(RunQuietSession(oneFailed), 1603);
    EXPECT_EQ(oneFailed.events, std::vector<std::wstring>{L"cleaners"});
}

TEST(RunQuietSession, WhileOutlookRunsNothingIsTouchedAndNoFileWritten) {
    WindowsFolder windows;
    WatchedPlatform platform(windows.folder.path());
    platform.outlook = true;
    platform.cleaners = OneSuccessAndOneFailure;
    EXPECT_EQ(RunQuietSession(platform), 1618);
    EXPECT_TRUE(platform.events.empty());
    EXPECT_FALSE(Exists(windows.logFolder()));
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
    // The log folder cannot be made: nothing is removed, and the run fails.
    TempFolder noLogs;
    WatchedPlatform unlogged(noLogs.path());
    int removed = 0;
    unlogged.cleaners = [&](OperationsLogger& logger) { RemoveTwoFiles(logger, removed); };
    EXPECT_EQ(RunQuietSession(unlogged), 1603);
    EXPECT_EQ(0, removed);

    // A transaction in progress at the start: nothing runs at all.
    WindowsFolder windows;
    WatchedPlatform busy(windows.folder.path());
    busy.installer = [] { return true; };
    busy.cleaners = [&](OperationsLogger& logger) { RemoveTwoFiles(logger, removed); };
    EXPECT_EQ(RunQuietSession(busy), 1618);
    EXPECT_TRUE(busy.events.empty());
    EXPECT_EQ(RunPreviewSession(busy), 1618);
    EXPECT_TRUE(busy.events.empty());

    // One that began during the search, before the first removal: nothing removed, nothing written.
    WatchedPlatform late(windows.folder.path());
    int asked = 0;
    late.installer = [&] { return ++asked > 1; };
    late.cleaners = [&](OperationsLogger& logger) { RemoveTwoFiles(logger, removed); };
    EXPECT_EQ(RunQuietSession(late), 1618);
    EXPECT_EQ(2, asked);
    EXPECT_EQ(0, removed);
    EXPECT_FALSE(Exists(windows.logFolder()));

    // Free: both go, and the backup opened ahead of need leaves no empty file.
    WatchedPlatform free(windows.folder.path());
    free.cleaners = [&](OperationsLogger& logger) { RemoveTwoFiles(logger, removed); };
    EXPECT_EQ(RunQuietSession(free), 0);
    EXPECT_EQ(2, removed);
    const std::vector<std::wstring> files = LogFolderFiles(windows.logFolder());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].substr(files[0].size() - 4), L".log");
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
    WindowsFolder windows;
    WatchedPlatform nothing(windows.folder.path());
    EXPECT_EQ(RunPreviewSession(nothing), 0);
    EXPECT_EQ(nothing.events, std::vector<std::wstring>{L"preview cleaners"});
    EXPECT_FALSE(Exists(windows.logFolder()));

    WatchedPlatform something(windows.folder.path());
    something.outlook = true;  // a preview changes nothing, so Outlook may run
    something.cleaners = OneSuccessAndOneFailure;
    EXPECT_EQ(RunPreviewSession(something), 1);
    const std::vector<std::wstring> files = LogFolderFiles(windows.logFolder());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].rfind(L"Tallowbrisk_cleaner_", 0), 0u);
    EXPECT_EQ(files[0].substr(files[0].size() - 12), L".preview.log");
    EXPECT_EQ(ReadFileBytes(windows.logFolder() + L"\\" + files[0]),
              "\xFF\xFE" + Utf16Le(L"LOG Remove:: remove file:  : C:\\a\\user.config : planned\r\n"
                                   L"LOG Remove:: remove folder:  : C:\\b\\Tallowbrisk : fail\r\n"));

    // A registry link that a run would pass over is listed, and is nothing to remove.
    WatchedPlatform link(windows.folder.path());
    link.cleaners = [](OperationsLogger& logger) {
        logger.log(L"remove registry key: ", L"HKCU\\SOFTWARE\\x (registry link)", kPassedOver);
    };
    EXPECT_EQ(RunPreviewSession(link), 0);
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
    }
}

}  // namespace
