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

// Plants `content` under the log's name for the current second, then logs one record; tries
// again if the clock moves on between planting and logging. Returns the file's bytes, or
// nothing when the clock moved on every time.
std::string LogOverPlanted(const LogPlace& place, const std::string& content, const wchar_t* suffix,
                           OperationsLoggerFile::Kind kind) {
    CreateDirectoryW(place.logFolder().c_str(), nullptr);
    for (int attempt = 0; attempt < 5; ++attempt) {
        wchar_t stamp[64] = {};
        FormatLogTimeStamp(stamp);
        const std::wstring planted = place.logFolder() + L"\\Tallowbrisk_cleaner_" + stamp + suffix;
        WriteFileBytes(planted, content);
        std::wstring path;
        {
            OperationsLoggerFile logger(place.windows.path(), kind);
            logger.log(L"remove file: ", L"y", 1);
            path = logger.logFilePath();
        }
        if (path == planted) {
            return ReadFileBytes(path);
        }
        DeleteFileW(planted.c_str());
        DeleteFileW(path.c_str());
    }
    ADD_FAILURE() << "the clock moved on during every attempt";
    return std::string();
}

TEST(OperationsLoggerFile, AFileOfTheSameSecondIsAddedToNeverBegunAnew) {
    // An earlier run's log of the same second (a deployment tool's retry, say): its lines stay,
    // the new ones follow behind them, and no second byte order mark comes between.
    LogPlace place;
    const std::string earlier = "\xFF\xFE" + LogLine(L"remove registry key: ", L"HKLM\\SOFTWARE\\Tallowbrisk", L"success");
    EXPECT_EQ(LogOverPlanted(place, earlier, L".log", OperationsLoggerFile::Kind::Log),
              earlier + LogLine(L"remove file: ", L"y", L"success"));
    // The preview's file the same way.
    const std::string planned = "\xFF\xFE" + LogLine(L"remove folder: ", L"C:\\a", L"planned");
    EXPECT_EQ(LogOverPlanted(place, planned, L".preview.log", OperationsLoggerFile::Kind::Preview),
              planned + LogLine(L"remove file: ", L"y", L"planned"));
    // Whatever else stands under that name is kept as it is, too.
    const std::string other(5000, 'x');
    EXPECT_EQ(LogOverPlanted(place, other, L".log", OperationsLoggerFile::Kind::Log),
              other + LogLine(L"remove file: ", L"y", L"success"));
}

TEST(OperationsLoggerFile, AnEmptyFileOfTheSameSecondGetsTheByteOrderMark) {
    LogPlace place;
    EXPECT_EQ(LogOverPlanted(place, std::string(), L".log", OperationsLoggerFile::Kind::Log),
              "\xFF\xFE" + LogLine(L"remove file: ", L"y", L"success"));
}

TEST(OperationsLoggerFile, EachLineIsInTheFileBeforeTheNextRemovalBegins) {
    // Read while the logger still holds the file open, as another process sees it after this
    // one is killed: every line logged so far, whole, with nothing held back.
    LogPlace place;
    OperationsLoggerFile logger(place.windows.path());
    std::string expected = "\xFF\xFE";
    for (int i = 0; i < 3; ++i) {
        const std::wstring target = L"HKLM\\SOFTWARE\\Classes\\CLSID\\{" + std::to_wstring(i) + L"}";
        logger.log(L"remove registry key: ", target.c_str(), 1);
        expected += LogLine(L"remove registry key: ", target, L"success");
        EXPECT_EQ(ReadFileBytes(logger.logFilePath()), expected) << "after record " << i;
    }
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
