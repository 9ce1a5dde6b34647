#include "files/settings_files.h"

#include "files/preview_removal_steps.h"

#include <gtest/gtest.h>

#include "platform/folder_listing.h"
#include "platform/unique_any.h"
#include "tests/unit/support/recording_logger.h"
#include "tests/unit/support/small_stack.h"
#include "tests/unit/support/temp_folder.h"

namespace {

const std::wstring kMarker = L"<Tallowbrisk4Outlook.Properties.Settings>";
const std::wstring kSettings = L"<?xml version=\"1.0\"?><configuration><userSettings>" + kMarker +
                               L"<setting name=\"Server\"/></Tallowbrisk4Outlook.Properties.Settings>"
                               L"</userSettings></configuration>";

LogRecord Removed(const std::wstring& path) { return {L"remove file: ", path, 1}; }

struct ContentCase {
    const char* what;
    std::string bytes;
    bool removed;
};

std::string Padded(std::string bytes, size_t size) {
    bytes.resize(size, ' ');
    return bytes;
}

TEST(RemoveSettingsFileIfMarked, FindsTheMarkerInUtf16LeAndIn8BitTextOnly) {
    const std::string utf8 = Utf8(kSettings);
    const std::vector<ContentCase> cases = {
        {"UTF-16LE with BOM", "\xFF\xFE" + Utf16Le(kSettings), true},
        {"UTF-16LE without BOM", Utf16Le(kSettings), true},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + utf8, true},
        {"8-bit text of odd length", utf8 + "x", true},
        {"marker in another letter case", Utf8(L"<tallowbrisk4outlook.properties.settings>"), false},
        {"UTF-16BE",
         [] {
             std::string le = Utf16Le(kSettings), be;
             for (size_t i = 0; i + 1 < le.size(); i += 2) be += {le[i + 1], le[i]};
             return be;
         }(),
         false},
        {"zero byte before the marker", std::string("abc\0", 4) + utf8, false},
        {"empty file", "", false},
        {"exactly 262,144 bytes", Padded(utf8, 262144), true},
        {"262,145 bytes", Padded(utf8, 262145), false},
    };
    for (const ContentCase& c : cases) {
        TempFolder folder;
        const std::wstring path = folder / L"user.config";
        WriteFileBytes(path, c.bytes);
        RecordingLogger logger;
        EXPECT_EQ(RemoveSettingsFileIfMarked(path, &logger) != 0, c.removed) << c.what;
        EXPECT_EQ(Exists(path), !c.removed) << c.what;
        EXPECT_EQ(logger.records, c.removed ? std::vector<LogRecord>{Removed(path)} : std::vector<LogRecord>{})
            << c.what;
    }
}

TEST(RemoveSettingsFileIfMarked, PassesOverAFileThatAnotherHandleHoldsOpen) {
    TempFolder folder;
    const std::wstring path = folder / L"user.config";
    WriteFileBytes(path, Utf8(kSettings));
    unique_file held(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    RecordingLogger logger;
    EXPECT_EQ(RemoveSettingsFileIfMarked(path, &logger), 0);
    EXPECT_TRUE(logger.records.empty());
    held.reset();
    EXPECT_TRUE(Exists(path));
}

TEST(RemoveSettingsFileIfMarked, ReportsAFailedDeletion) {
    TempFolder folder;
    const std::wstring path = folder / L"user.config";
    WriteFileBytes(path, Utf8(kSettings));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);  // the walk would have cleared this
    RecordingLogger logger;
    EXPECT_EQ(RemoveSettingsFileIfMarked(path, &logger), 0);
    EXPECT_EQ(logger.records, (std::vector<LogRecord>{{L"remove file: ", path, 0}}));
}

TEST(ScanForSettingsFiles, RemovesEachMarkedSettingsFileAtAnyDepth) {
    TempFolder root;
    const std::vector<std::wstring> marked = {root / L"user.config", root / L"App_Url_1\\1.0.0.0\\user.config",
                                              root / L"App_Url_2\\a\\b\\c\\d\\user.config"};
    for (const auto& path : marked) WriteFileBytes(path, Utf16Le(kSettings));
    const std::wstring unmarked = root / L"Other_Url\\2.0\\user.config";
    const std::wstring capital = root / L"App_Url_3\\User.config";
    const std::wstring otherName = root / L"App_Url_3\\user.config.bak";
    WriteFileBytes(unmarked, Utf8(L"<configuration><Other.Properties.Settings/></configuration>"));
    WriteFileBytes(capital, Utf8(kSettings));
    WriteFileBytes(otherName, Utf8(kSettings));

    RecordingLogger logger;
    ScanForSettingsFiles(root.path(), &logger);

    for (const auto& path : marked) EXPECT_FALSE(Exists(path)) << path.c_str();
    EXPECT_TRUE(Exists(unmarked));
    EXPECT_TRUE(Exists(capital));  // the name is compared with its letter case
    EXPECT_TRUE(Exists(otherName));
    ASSERT_EQ(logger.records.size(), marked.size());
    for (const auto& path : marked) {
        EXPECT_NE(std::find(logger.records.begin(), logger.records.end(), Removed(path)), logger.records.end());
    }
}

TEST(ScanForSettingsFiles, ClearsTheReadOnlyBitOfEveryFileItMeets) {
    TempFolder root;
    const std::wstring settings = root / L"App\\user.config";
    const std::wstring other = root / L"App\\notes.txt";
    WriteFileBytes(settings, Utf8(kSettings));
    WriteFileBytes(other, "notes");
    SetFileAttributesW(settings.c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(other.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    // A preview foresees the deletion and clears nothing.
    const std::vector<std::wstring> before = DescribeTree(root.path());
    PreviewRemovalSteps preview;
    RecordingLogger planned;
    ScanForSettingsFiles(root.path(), &planned, preview);
    EXPECT_EQ(planned.records, (std::vector<LogRecord>{Removed(settings)}));
    EXPECT_EQ(DescribeTree(root.path()), before);

    RecordingLogger logger;
    ScanForSettingsFiles(root.path(), &logger);

    EXPECT_FALSE(Exists(settings));
    EXPECT_EQ(logger.records, (std::vector<LogRecord>{Removed(settings)}));
    EXPECT_EQ(GetFileAttributesW(other.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              DWORD{FILE_ATTRIBUTE_HIDDEN});
}

TEST(ScanForSettingsFiles, ReachesFilesBeyondMaxPathAndReportsTheirFullPath) {
    TempFolder root;
    std::wstring path = root.path();
    while (path.size() < 2 * MAX_PATH) path += L"\\a_rather_long_folder_name_for_the_test";
    path += L"\\user.config";
    WriteFileBytes(L"\\\\?\\" + path, Utf8(kSettings));

    RecordingLogger logger;
    ScanForSettingsFiles(root.path(), &logger);

    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(logger.records, (std::vector<LogRecord>{Removed(path)}));
}

// The walk keeps its levels on the heap: a tree much deeper than a small stack could hold
// frame by frame is walked on a thread with only 64 KiB of stack.
TEST(ScanForSettingsFiles, WalksDeepTreesInLittleStack) {
    TempFolder root;
    std::wstring path = root.path();
    for (int level = 0; level < 150; ++level) path += L"\\d";
    std::filesystem::create_directories(L"\\\\?\\" + path);
    WriteFileBytes(L"\\\\?\\" + path + L"\\user.config", Utf8(kSettings));

    RecordingLogger logger;
    ASSERT_TRUE(RunOnSmallStack(64 * 1024, [&] {
        ScanForSettingsFiles(root.path(), &logger);
        return DWORD{0};
    }));
    EXPECT_EQ(logger.records, (std::vector<LogRecord>{Removed(path + L"\\user.config")}));
}

// A process of the user's swaps a listed settings file for a link to a marked settings file
// outside the tree before the walk opens it: what is examined and deleted is the tree's own file.
TEST(ScanForSettingsFiles, SettingsFileSwappedForALinkBeforeItIsOpened) {
    TempFolder root;
    const std::wstring tree = root / L"Microsoft_Corporation";
    const std::wstring settings = tree + L"\\Addin_Url\\user.config";
    const std::wstring outside = root / L"Elsewhere\\user.config";
    WriteFileBytes(settings, Utf8(kSettings));
    WriteFileBytes(outside, Utf8(kSettings));
    bool swapped = false;
    SetBeforeOpenHook([&](const FolderEntry& entry) {
        if (entry.path == settings && !swapped) {
            swapped = SwapForLink(settings, root / L"moved_away", outside);
        }
    });

    RecordingLogger logger;
    ScanForSettingsFiles(tree, &logger);
    SetBeforeOpenHook(nullptr);

    EXPECT_TRUE(swapped);
    EXPECT_TRUE(Exists(outside));
    EXPECT_TRUE(logger.records.empty());
}

TEST(CleanSettingsFiles, WalksMicrosoftCorporationBelowLocalAppData) {
    static TempFolder* localAppData;
    TempFolder folder;
    localAppData = &folder;
    const std::wstring settings = folder / L"Microsoft_Corporation\\Addin_Url\\1.0\\user.config";
    const std::wstring elsewhere = folder / L"Elsewhere\\user.config";
    WriteFileBytes(settings, Utf8(kSettings));
    WriteFileBytes(elsewhere, Utf8(kSettings));

    RecordingLogger logger;
    CleanSettingsFiles(&logger, [](int csidl, std::wstring& path) {
        EXPECT_EQ(csidl, 0x1C);
        path = localAppData->path();
        return true;
    });
    EXPECT_EQ(logger.records, (std::vector<LogRecord>{Removed(settings)}));
    EXPECT_TRUE(Exists(elsewhere));
}

TEST(CleanSettingsFiles, DoesNothingWhenLocalAppDataCannotBeLookedUp) {
    RecordingLogger logger;
    static int lookups;
    lookups = 0;
    CleanSettingsFiles(&logger, [](int, std::wstring& path) {
        ++lookups;
        path.clear();
        return false;
    });
    EXPECT_EQ(lookups, 1);
    EXPECT_TRUE(logger.records.empty());
}

}  // namespace
