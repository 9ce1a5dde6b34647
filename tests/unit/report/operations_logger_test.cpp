#include "report/operations_logger.h"

#include <gtest/gtest.h>

#include <cwctype>

#include "tests/unit/support/temp_folder.h"

namespace {

// A stand-in for the Windows folder, with its "Logs" folder as a fresh install has it.
struct LogPlace {
    TempFolder windows;
    LogPlace() { CreateDirectoryW((windows / L"Logs").c_str(), nullptr); }
    std::wstring logFolder() const { return windows / L"Logs\\TallowBriskCleaner"; }
};

std::string LogLine(const std::wstring& kind, const std::wstring& target, const wchar_t* outcome) {
    return Utf16Le(L"LOG Remove:: " + kind + L" : " + target + L" : " + outcome + L"\r\n");
}

TEST(OperationsLoggerFile, NoRecordLeavesNoFolderAndNoFile) {
    LogPlace place;
    {
        OperationsLoggerFile logger(place.windows.path());
        EXPECT_EQ(logger.removalCount(), 0);
        EXPECT_TRUE(logger.logFilePath().empty());
    }
    EXPECT_FALSE(Exists(place.logFolder()));
}

TEST(OperationsLoggerFile, WritesBomAndOneLinePerRecordAndCountsBoth) {
    LogPlace place;
    std::wstring path;
    {
        OperationsLoggerFile logger(place.windows.path());
        logger.log(L"remove folder: ", L"C:\\a\\Tallowbrisk", 1);
        logger.log(L"remove file: ", L"C:\\b\\user.config", 0);
        EXPECT_EQ(logger.removalCount(), 2);
        path = logger.logFilePath();
    }
    ASSERT_FALSE(path.empty());
    const std::string expected = "\xFF\xFE" + LogLine(L"remove folder: ", L"C:\\a\\Tallowbrisk", L"success") +
                                 LogLine(L"remove file: ", L"C:\\b\\user.config", L"fail");
    EXPECT_EQ(ReadFileBytes(path), expected);
    // Two blanks between the kind's colon and the separator's.
    EXPECT_NE(ReadFileBytes(path).find(Utf16Le(L"remove folder:  : C:")), std::string::npos);
}

TEST(OperationsLoggerFile, FileNameCarriesTheUtcSecondOfTheFirstRecord) {
    LogPlace place;
    OperationsLoggerFile logger(place.windows.path());
    SYSTEMTIME before{};
    GetSystemTime(&before);
    logger.log(L"remove file: ", L"x", 1);

    const std::wstring& path = logger.logFilePath();
    const std::wstring prefix = place.logFolder() + L"\\Tallowbrisk_cleaner_";
    ASSERT_EQ(path.compare(0, prefix.size(), prefix), 0) << path;
    const std::wstring stamp = path.substr(prefix.size());
    ASSERT_EQ(stamp.size(), 24u) << stamp;  // 20 characters and ".log"
    EXPECT_EQ(stamp.substr(20), L".log");
    const std::wstring pattern = L"dddd_dd_ddTdd_dd_ddZ";
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == L'd') {
            EXPECT_TRUE(std::iswdigit(stamp[i])) << stamp;
        } else {
            EXPECT_EQ(stamp[i], pattern[i]) << stamp;
        }
    }
    EXPECT_EQ(std::stoi(stamp.substr(0, 4)), before.wYear);
}

TEST(OperationsLoggerFile, RecordsAreCountedWhenTheFileCannotBeOpened) {
    TempFolder windows;  // no "Logs" folder: the one-level creation fails, and so does the file
    OperationsLoggerFile logger(windows.path());
    for (int i = 0; i < 3; ++i) {
        logger.log(L"remove registry key: ", L"HKCU\\SOFTWARE\\x", i % 2);
    }
    EXPECT_EQ(logger.removalCount(), 3);
    EXPECT_TRUE(logger.logFilePath().empty());
    EXPECT_FALSE(Exists(windows / L"Logs"));
}

TEST(OperationsLoggerFile, ATargetWithPercentSignsIsWrittenUnchanged) {
    LogPlace place;
    std::wstring path;
    const std::wstring target = L"C:\\100%\\%s%d%n%ls\\user.config";
    {
        OperationsLoggerFile logger(place.windows.path());
        logger.log(L"remove file: ", target.c_str(), 1);
        path = logger.logFilePath();
    }
    EXPECT_EQ(ReadFileBytes(path), "\xFF\xFE" + LogLine(L"remove file: ", target, L"success"));
}

TEST(OperationsLoggerFile, AnExistingFileOfTheSameNameIsBegunAnew) {
    LogPlace place;
    CreateDirectoryW(place.logFolder().c_str(), nullptr);
    // Plant old content under the name of the current second; try again if the clock moves on
    // between planting and logging.
    for (int attempt = 0; attempt < 5; ++attempt) {
        wchar_t stamp[64] = {};
        ASSERT_TRUE(FormatLogTimeStamp(stamp));
        const std::wstring planted = place.logFolder() + L"\\Tallowbrisk_cleaner_" + stamp + L".log";
        WriteFileBytes(planted, std::string(5000, 'x'));
        std::wstring path;
        {
            OperationsLoggerFile logger(place.windows.path());
            logger.log(L"remove file: ", L"y", 1);
            path = logger.logFilePath();
        }
        if (path == planted) {
            EXPECT_EQ(ReadFileBytes(path), "\xFF\xFE" + LogLine(L"remove file: ", L"y", L"success"));
            return;
        }
    }
    FAIL() << "the clock moved on during every attempt";
}

TEST(OperationsLoggerFile, IsWrittenBelowTheWindowsFolderByDefault) {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring path;
    {
        OperationsLoggerFile logger;
        logger.log(L"remove file: ", L"z", 1);
        path = logger.logFilePath();
    }
    const std::wstring folder = std::wstring(windows) + L"\\Logs\\TallowBriskCleaner\\";
    EXPECT_EQ(path.compare(0, folder.size(), folder), 0) << path;
    DeleteFileW(path.c_str());
}

TEST(FormatLogTimeStamp, WritesTwentyCharacters) {
    wchar_t stamp[64];
    wmemset(stamp, L'#', 64);
    ASSERT_TRUE(FormatLogTimeStamp(stamp));
    EXPECT_EQ(std::wstring(stamp).size(), 20u);
    EXPECT_EQ(stamp[21], L'#');  // nothing written behind the terminator
}

}  // namespace
