#include "report/operations_logger.h"

#include <gtest/gtest.h>
#include <aclapi.h>
#include <sddl.h>

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

TEST(OperationsLoggerFile, WritesBomAndOneLinePerRecordAndCountsEachOutcome) {
    LogPlace place;
    std::wstring path;
    {
        OperationsLoggerFile logger(place.windows.path());
        logger.log(L"remove folder: ", L"C:\\a\\Tallowbrisk", 1);
        logger.log(L"remove file: ", L"C:\\b\\user.config", 0);
        logger.log(L"remove folder: ", L"\\\\host\\share\\Tallowbrisk", kPassedOver);
        EXPECT_EQ(logger.removalCount(), 3);
        EXPECT_EQ(logger.removedCount(), 1);
        EXPECT_EQ(logger.failedCount(), 1);
        EXPECT_EQ(logger.passedOverCount(), 1);
        path = logger.logFilePath();
    }
    ASSERT_FALSE(path.empty());
    const std::string expected = "\xFF\xFE" + LogLine(L"remove folder: ", L"C:\\a\\Tallowbrisk", L"success") +
                                 LogLine(L"remove file: ", L"C:\\b\\user.config", L"fail") +
                                 LogLine(L"remove folder: ", L"\\\\host\\share\\Tallowbrisk", L"passed over");
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

// A name someone chose can't break its record into lines, or make up another one: whatever a
// reader might take for a line's end is written escaped, one way for every record; a path
// reads as it always has.
TEST(OperationsLoggerFile, EachRecordIsOneLineWhateverItsTargetHolds) {
    const struct {
        std::wstring target;
        std::wstring written;
    } cases[] = {
        {L"HKCU\\a\r\nLOG Remove:: remove file:  : C:\\x : success",
         L"HKCU\\a<U+000D><U+000A>LOG Remove:: remove file:  : C:\\x : success"},
        {std::wstring(L"a\0b\tc\x0B\x0C\x1C\x1F", 9), L"a<U+0000>b<U+0009>c<U+000B><U+000C><U+001C><U+001F>"},
        {L"del\x7F nel\x85 c1\x9F nbsp\xA0", L"del<U+007F> nel<U+0085> c1<U+009F> nbsp\xA0"},
        {L"ls\x2028ps\x2029", L"ls<U+2028>ps<U+2029>"},
        {L"<U+000D> stays text>", L"<U+003C>U+000D> stays text>"},
        {L"C:\\100%\\\\share\\\u00e9\U0001D11E", L"C:\\100%\\\\share\\\u00e9\U0001D11E"},
        {std::wstring(L"lone \xD834 and \xDD1E, pair \xD834\xDD1E"), L"lone <U+D834> and <U+DD1E>, pair \U0001D11E"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.written, EscapedLogText(c.target));
    }
    LogPlace place;
    std::wstring path;
    {
        OperationsLoggerFile logger(place.windows.path());
        for (const auto& c : cases) logger.log(L"remove registry value: ", c.target, 0);
        path = logger.logFilePath();
    }
    std::string expected = "\xFF\xFE";
    for (const auto& c : cases) expected += LogLine(L"remove registry value: ", c.written, L"fail");
    EXPECT_EQ(ReadFileBytes(path), expected);
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

// An unattended run's summary goes last, whatever the run did: after its records; alone in a
// file made for it where no record made one, a run held back before its first removal
// included; and nowhere when there is no place for a file.
TEST(OperationsLoggerFile, TheLastLineEndsTheLogAndMakesAFileWhereNoRecordDid) {
    const std::wstring summary = L"LOG Summary:: exit=0";
    const std::string last = Utf16Le(summary + L"\r\n");
    LogPlace place;
    {
        OperationsLoggerFile logger(place.windows.path());
        logger.log(L"remove file: ", L"C:\\a\\user.config", 1);
        EXPECT_TRUE(logger.writeLastLine(summary));
        EXPECT_EQ(ReadFileBytes(logger.logFilePath()),
                  "\xFF\xFE" + LogLine(L"remove file: ", L"C:\\a\\user.config", L"success") + last);
        EXPECT_EQ(logger.removalCount(), 1) << "not a record";
    }
    for (const bool heldBack : {false, true}) {
        LogPlace empty;
        OperationsLoggerFile logger(empty.windows.path(), OperationsLoggerFile::Kind::Preview);
        if (heldBack) {
            logger.failClosed([] { return false; }, nullptr);
            EXPECT_FALSE(logger.mayRemove());
            logger.log(L"remove file: ", L"C:\\a\\user.config", 0);
            EXPECT_TRUE(logger.heldBack());
        }
        EXPECT_TRUE(logger.writeLastLine(summary));
        EXPECT_EQ(logger.logFilePath().substr(logger.logFilePath().size() - 12), L".preview.log");
        EXPECT_EQ(ReadFileBytes(logger.logFilePath()), "\xFF\xFE" + last) << heldBack;
    }
    TempFolder noLogs;
    OperationsLoggerFile nowhere(noLogs.path());
    EXPECT_FALSE(nowhere.writeLastLine(summary));
    EXPECT_FALSE(Exists(noLogs / L"Logs"));
}

// The folder's bound: the newest runs (a log with its backups) and the newest previews stay,
// each counted apart; the run under way stays whatever its stamp; nothing else is chosen.
TEST(NamesBeyondBound, TheNewestRunsAndPreviewsStayWithTheRunUnderWay) {
    const auto name = [](int day, const wchar_t* ending) {
        wchar_t text[64];
        swprintf(text, 64, L"Tallowbrisk_cleaner_2026_12_%02dT10_11_23Z%ls", day, ending);
        return std::wstring(text);
    };
    const std::vector<std::wstring> names = {
        name(1, L".log"), name(1, L".reg"), name(1, L".32.reg"),  // the oldest run, whole
        name(2, L".reg"),                                           // a backup whose log was never written
        name(3, L".log"), name(3, L".preview.log"),                // a run and a preview in one second
        name(4, L".log"), name(4, L".reg"),
        name(5, L".preview.log"), name(6, L".preview.log"), name(7, L".preview.log"),
        name(8, L".log"),
        // Not the program's: kept whatever their age.
        L"Tallowbrisk_cleaner_2026_12_01T10_11_23Z.txt", L"tallowbrisk_cleaner_2026_12_01T10_11_23Z.log",
        L"Tallowbrisk_cleaner_2026_12_01T10_11_2xZ.log", L"Tallowbrisk_cleaner_2026_12_01T10_11_23.log",
        L"Tallowbrisk_cleaner_.log", L"notes.log", L"Tallowbrisk_cleaner_2026_12_01T10_11_23Z.log.bak",
    };
    EXPECT_EQ((std::vector<std::wstring>{name(1, L".log"), name(1, L".reg"), name(1, L".32.reg"), name(2, L".reg"),
                                         name(3, L".preview.log")}),
              NamesBeyondBound(names, L"", 3));
    // A clock set back: the run under way looks the oldest, and stays beside the newest three.
    EXPECT_EQ((std::vector<std::wstring>{name(2, L".reg"), name(3, L".preview.log")}),
              NamesBeyondBound(names, L"2026_12_01T10_11_23Z", 3));
    EXPECT_EQ(std::vector<std::wstring>{}, NamesBeyondBound(names, L"", kKeptRuns));
    EXPECT_EQ(std::vector<std::wstring>{}, NamesBeyondBound({}, L"", 0));
}

// On disk: only plain files of the program's names go, through the folder's handle; a folder or
// a link under such a name stays, and so does what a link leads to.
TEST(PruneLogFolder, RemovesTheOldestRunsFilesAndNothingElse) {
    LogPlace place;
    TempFolder elsewhere;
    const std::wstring folder = place.logFolder();
    CreateDirectoryW(folder.c_str(), nullptr);
    const auto path = [&](int day, const wchar_t* ending) {
        wchar_t text[64];
        swprintf(text, 64, L"\\Tallowbrisk_cleaner_2026_11_%02dT10_11_23Z%ls", day, ending);
        return folder + text;
    };
    for (int day = 1; day <= 4; ++day) {
        WriteFileBytes(path(day, L".log"), "log");
        WriteFileBytes(path(day + 4, L".preview.log"), "list");  // newer than every run: counted apart
    }
    WriteFileBytes(path(1, L".reg"), "backup");
    WriteFileBytes(path(1, L".32.reg"), "backup");
    CreateDirectoryW(path(2, L".reg").c_str(), nullptr);  // not a file: stays
    WriteFileBytes(elsewhere / L"precious.txt", "keep");
    ASSERT_TRUE(MakeLink(path(2, L".32.reg"), elsewhere / L"precious.txt"));
    WriteFileBytes(folder + L"\\notes.txt", "mine");

    const size_t deleted = PruneLogFolder(place.windows.path(), folder + L"\\Tallowbrisk_cleaner_2026_11_01T10_11_23Z", 2);
    EXPECT_EQ(3u, deleted);
    for (const auto& gone : {path(2, L".log"), path(5, L".preview.log"), path(6, L".preview.log")}) {
        EXPECT_FALSE(Exists(gone)) << gone;
    }
    // The run under way (day 1) stays with its backups, and the newest two runs and lists.
    for (const auto& kept : {path(1, L".log"), path(1, L".reg"), path(1, L".32.reg"), path(3, L".log"),
                             path(4, L".log"), path(7, L".preview.log"), path(8, L".preview.log"),
                             folder + L"\\notes.txt", path(2, L".reg"), path(2, L".32.reg")}) {
        EXPECT_TRUE(Exists(kept)) << kept;
    }
    EXPECT_EQ("keep", ReadFileBytes(elsewhere / L"precious.txt"));

    // A log folder that is a link is not pruned at all.
    TempFolder linked;
    TempFolder target;
    ASSERT_TRUE(LinkLogFolder(linked.path(), target.path(), false));
    WriteFileBytes(target / (std::wstring(L"Tallowbrisk_cleaner_2026_11_01T10_11_23Z.log")), "log");
    EXPECT_EQ(0u, PruneLogFolder(linked.path(), L"", 0));
    EXPECT_TRUE(Exists(target / L"Tallowbrisk_cleaner_2026_11_01T10_11_23Z.log"));
}

TEST(FormatLogTimeStamp, WritesTwentyCharacters) {
    wchar_t stamp[64];
    wmemset(stamp, L'#', 64);
    ASSERT_TRUE(FormatLogTimeStamp(stamp));
    EXPECT_EQ(std::wstring(stamp).size(), 20u);
    EXPECT_EQ(stamp[21], L'#');  // nothing written behind the terminator
}

// Which access lists the log folder may keep as they are; any other is mended.
TEST(IsLogFolderSecurity, OnlyAProtectedListForTheSystemAndTheAdministratorsAlone) {
    const struct {
        const wchar_t* sddl;
        bool sound;
    } cases[] = {
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true},
        {L"O:SYD:PAI(A;OICI;GA;;;BA)(A;OICI;FA;;;SY)", true},
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;GA;;;SY)", true},
        {L"O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},                   // inherits what the parent grants
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;BU)", false},  // users may read the backups
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x2;;;WD)", false}, // everyone may plant a file
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;FA;;;CO)", false},
        {L"O:S-1-5-21-1-2-3-1001D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},  // its maker can open it up again
        {L"O:BAD:P(A;OICI;FA;;;BA)", false},
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;;FA;;;BA)", false},  // not inherited by the files
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICIIO;FA;;;BA)", false},
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FR;;;BA)", false},
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(D;OICI;FA;;;BU)", false},
        {L"O:BAD:P", false},
        {L"O:BAD:NO_ACCESS_CONTROL", false},  // no list at all: open to everyone
        {L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},  // owner unknown
    };
    for (const auto& c : cases) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1, &descriptor, nullptr))
            << c.sddl;
        EXPECT_EQ(c.sound, IsLogFolderSecurity(descriptor)) << c.sddl;
        LocalFree(descriptor);
    }
    EXPECT_FALSE(IsLogFolderSecurity(nullptr));
}

TEST(RefusedAsLogFolder, ALinkAMountPointOrAFileIsRefusedAMissingFolderIsMade) {
    EXPECT_FALSE(RefusedAsLogFolder(INVALID_FILE_ATTRIBUTES));
    EXPECT_FALSE(RefusedAsLogFolder(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(RefusedAsLogFolder(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
    EXPECT_TRUE(RefusedAsLogFolder(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    EXPECT_TRUE(RefusedAsLogFolder(FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(RefusedAsLogFolder(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT));
}

// The folder and "Logs" above it, as links (Wine's stand-in for links and mount points): the
// log is not written there, and the run is told so before it begins.
TEST(OperationsLoggerFile, ALogFolderThatIsALinkOrBelowOneIsRefused) {
    for (const bool logsIsLink : {false, true}) {
        TempFolder windows;
        TempFolder elsewhere;
        ASSERT_TRUE(LinkLogFolder(windows.path(), elsewhere.path(), logsIsLink));
        EXPECT_TRUE(LogFolderRefused(windows.path())) << logsIsLink;
        EXPECT_EQ(L"", NewLogFileStem(windows.path()));
        {
            OperationsLoggerFile logger(windows.path());
            logger.log(L"remove file: ", L"z", 1);
            EXPECT_EQ(L"", logger.logFilePath());
            EXPECT_EQ(1, logger.removalCount());
        }
        EXPECT_EQ(std::vector<std::wstring>{}, DescribeTree(elsewhere.path())) << "nothing written through the link";
    }
    LogPlace place;
    EXPECT_FALSE(LogFolderRefused(place.windows.path()));
}

// A log folder made by the logger, and one found open to everyone, are both used, once given
// the log folder's access list. (Wine makes up a file's access list from its Unix mode and
// keeps none that is set, so what the list holds is seen on Windows only; which lists are
// mended is the decision above.)
TEST(OperationsLoggerFile, TheLogFolderIsMadeWithItsAccessListAndMendedWhenFoundOtherwise) {
    LogPlace made;
    EXPECT_NE(L"", NewLogFileStem(made.windows.path()));
    EXPECT_TRUE(SecureLogFolder(made.logFolder()));

    LogPlace found;
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &open,
                                                                     nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, open, FALSE};
    ASSERT_TRUE(CreateDirectoryW(found.logFolder().c_str(), &attributes));
    LocalFree(open);
    EXPECT_NE(L"", NewLogFileStem(found.windows.path()));
    // A file is not a folder to secure; a missing folder is not one either.
    WriteFileBytes(found.windows / L"Logs\\file", "x");
    EXPECT_FALSE(SecureLogFolder(found.windows / L"Logs\\file"));
    EXPECT_FALSE(SecureLogFolder(found.windows / L"Logs\\missing"));
}

}  // namespace
