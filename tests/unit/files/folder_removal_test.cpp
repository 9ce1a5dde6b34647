#include "files/folder_removal.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/unique_any.h"
#include "tests/unit/support/recording_logger.h"
#include "tests/unit/support/temp_folder.h"

namespace {

LogRecord Folder(const std::wstring& path, int succeeded) { return {L"remove folder: ", path, succeeded}; }

// Special folders placed below one temporary folder; tests choose which CSIDLs resolve.
struct SpecialFolders {
    TempFolder root;
    std::map<int, std::wstring> places;

    SpecialFolders() {
        places = {{0x1A, root / L"Roaming"},
                  {0x2A, root / L"ProgramFilesX86"},
                  {0x26, root / L"ProgramFiles"},
                  {0x1C, root / L"Local"},
                  {0x05, root / L"Documents"}};
        for (auto& [csidl, path] : places) CreateDirectoryW(path.c_str(), nullptr);
        current = this;
    }
    ~SpecialFolders() { current = nullptr; }

    static bool LookUp(int csidl, std::wstring& path) {
        ++current->lookups[csidl];
        auto it = current->places.find(csidl);
        if (it == current->places.end()) {
            path.clear();
            return false;
        }
        path = it->second;
        return true;
    }

    std::wstring operator()(int csidl, const std::wstring& relative) const {
        return places.at(csidl) + L"\\" + relative;
    }

    std::map<int, int> lookups;
    static SpecialFolders* current;
};
SpecialFolders* SpecialFolders::current = nullptr;

// The records of a preview of RemoveProductFolders, which must leave the disk as it found it.
std::vector<LogRecord> PreviewProductFolders(SpecialFolders& folders) {
    const std::vector<std::wstring> before = DescribeTree(folders.root.path());
    PreviewFileActions preview;
    RecordingLogger planned;
    RemoveProductFolders(&planned, SpecialFolders::LookUp, preview);
    EXPECT_EQ(DescribeTree(folders.root.path()), before);
    folders.lookups.clear();
    return planned.records;
}

TEST(DeleteFolderTree, RemovesNestedFoldersWithHiddenSystemAndReadOnlyFiles) {
    TempFolder root;
    const std::wstring product = root / L"Tallowbrisk";
    WriteFileBytes(product + L"\\bin\\addin.dll", "MZ");
    WriteFileBytes(product + L"\\bin\\x86\\deep\\er\\native.dll", "MZ");
    WriteFileBytes(product + L"\\hidden.dat", "h");
    WriteFileBytes(product + L"\\readonly.cfg", "r");
    WriteFileBytes(product + L"\\system.dat", "s");
    CreateDirectoryW((product + L"\\empty").c_str(), nullptr);
    SetFileAttributesW((product + L"\\hidden.dat").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW((product + L"\\readonly.cfg").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW((product + L"\\system.dat").c_str(), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);

    RecordingLogger logger;
    EXPECT_NE(RemoveFolderIfPresent(root.path(), L"Tallowbrisk", &logger), 0);
    EXPECT_FALSE(Exists(product));
    EXPECT_TRUE(Exists(root.path()));
    EXPECT_EQ(logger.records, (std::vector<LogRecord>{Folder(product, 1)}));
}

TEST(DeleteFolderTree, RemovesEntriesBeyondMaxPath) {
    TempFolder root;
    const std::wstring product = root / L"Tallowbrisk";
    std::wstring deep = product;
    while (deep.size() < 3 * MAX_PATH) deep += L"\\a_folder_with_a_long_name_to_pass_max_path";
    WriteFileBytes(L"\\\\?\\" + deep + L"\\data.bin", "x");
    SetFileAttributesW((L"\\\\?\\" + deep + L"\\data.bin").c_str(), FILE_ATTRIBUTE_READONLY);

    EXPECT_NE(DeleteFolderTree(product), 0);
    EXPECT_FALSE(Exists(product));
}

TEST(DeleteFolderTree, StopsAtAFileHeldOpenAndReportsFail) {
    TempFolder root;
    const std::wstring product = root / L"Tallowbrisk";
    const std::wstring held = product + L"\\in_use.log";
    WriteFileBytes(held, "busy");
    WriteFileBytes(product + L"\\sub\\other.txt", "x");
    // Open without FILE_SHARE_DELETE, as a running program holds its log.
    unique_file file(CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 0, nullptr));
    ASSERT_TRUE(file);

    RecordingLogger logger;
    EXPECT_EQ(RemoveFolderIfPresent(product, nullptr, &logger), 0);
    EXPECT_TRUE(Exists(held));
    EXPECT_EQ(logger.records, (std::vector<LogRecord>{Folder(product, 0)}));
}

TEST(RemoveFolderIfPresent, PassesOverMissingFoldersAndFiles) {
    TempFolder root;
    WriteFileBytes(root / L"Tallowbrisk", "a file, not a folder");
    RecordingLogger logger;
    EXPECT_EQ(RemoveFolderIfPresent(root.path(), L"Tallowbrisk", &logger), 0);
    EXPECT_EQ(RemoveFolderIfPresent(root.path(), L"Tallowbrisk by marlpit", &logger), 0);
    EXPECT_TRUE(Exists(root / L"Tallowbrisk"));
    EXPECT_TRUE(logger.records.empty());
}

TEST(RemoveFolderIfPresent, RemovesAnEmptyFolder) {
    TempFolder root;
    CreateDirectoryW((root / L"Tallowbrisk").c_str(), nullptr);
    RecordingLogger logger;
    EXPECT_NE(RemoveFolderIfPresent(root.path(), L"Tallowbrisk", &logger), 0);
    EXPECT_EQ(logger.records, (std::vector<LogRecord>{Folder(root / L"Tallowbrisk", 1)}));
}

TEST(RemoveProductFolders, RemovesEveryProductFolderOnceInTableOrder) {
    SpecialFolders folders;
    const std::vector<std::wstring> seeded = {folders(0x1A, L"Tallowbrisk by marlpit"),
                                              folders(0x1A, L"Tallowbrisk"),
                                              folders(0x2A, L"Tallowbrisk by marlpit"),
                                              folders(0x2A, L"Tallowbrisk"),
                                              folders(0x26, L"Tallowbrisk by marlpit"),
                                              folders(0x26, L"Tallowbrisk"),
                                              folders(0x1C, L"Tallowbrisk"),
                                              folders(0x1A, L"Local\\Tallowbrisk"),
                                              folders(0x05, L"Tallowbrisk")};
    for (const auto& path : seeded) WriteFileBytes(path + L"\\file.txt", "x");
    SetFileAttributesW((seeded[1] + L"\\file.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFileBytes(folders(0x1A, L"Local\\Other\\keep.txt"), "keep");
    WriteFileBytes(folders(0x1C, L"Tallowbrisk by marlpit\\keep.txt"), "not a product location");

    std::vector<LogRecord> expected;
    for (const auto& path : seeded) expected.push_back(Folder(path, 1));
    EXPECT_EQ(PreviewProductFolders(folders), expected);  // row 7 finds row 2's planned folder gone

    RecordingLogger logger;
    EXPECT_EQ(RemoveProductFolders(&logger, SpecialFolders::LookUp), 1);
    EXPECT_EQ(logger.records, expected);  // row 7 finds row 2's folder gone
    for (const auto& path : seeded) EXPECT_FALSE(Exists(path));
    EXPECT_TRUE(Exists(folders(0x1A, L"Local\\Other\\keep.txt")));  // row 9 leaves "Local" in place
    EXPECT_TRUE(Exists(folders(0x1C, L"Tallowbrisk by marlpit\\keep.txt")));
    // Looked up again only where the special folder changes: before rows 1, 3, 5, 7, 8, 9 and 10.
    EXPECT_EQ(folders.lookups, (std::map<int, int>{{0x1A, 3}, {0x2A, 1}, {0x26, 1}, {0x1C, 1}, {0x05, 1}}));
}

TEST(RemoveProductFolders, RetriesTheRoamingFolderThatRowTwoLeftStanding) {
    SpecialFolders folders;
    const std::wstring roaming = folders(0x1A, L"Tallowbrisk");
    const std::wstring local = folders(0x1C, L"Tallowbrisk");
    WriteFileBytes(roaming + L"\\in_use.log", "busy");
    WriteFileBytes(local + L"\\data.txt", "x");
    unique_file held(CreateFileW((roaming + L"\\in_use.log").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    const std::vector<LogRecord> expected = {Folder(roaming, 0), Folder(roaming, 0), Folder(local, 1)};
    EXPECT_EQ(PreviewProductFolders(folders), expected) << "the preview foresees the failure";

    RecordingLogger logger;
    RemoveProductFolders(&logger, SpecialFolders::LookUp);
    EXPECT_EQ(logger.records, expected);
}

TEST(RemoveProductFolders, SameFolderForBothProgramFilesFindsNothingTheSecondTime) {
    SpecialFolders folders;
    folders.places[0x26] = folders.places[0x2A];
    WriteFileBytes(folders(0x2A, L"Tallowbrisk\\addin.dll"), "MZ");
    RecordingLogger logger;
    RemoveProductFolders(&logger, SpecialFolders::LookUp);
    EXPECT_EQ(logger.records, (std::vector<LogRecord>{Folder(folders(0x2A, L"Tallowbrisk"), 1)}));
}

TEST(RemoveProductFolders, PassesOverSpecialFoldersThatCannotBeLookedUp) {
    SpecialFolders folders;
    WriteFileBytes(folders(0x05, L"Tallowbrisk\\notes.txt"), "x");
    folders.places.erase(0x1A);
    folders.places.erase(0x2A);
    folders.places.erase(0x26);
    folders.places.erase(0x1C);
    RecordingLogger logger;
    RemoveProductFolders(&logger, SpecialFolders::LookUp);
    EXPECT_EQ(logger.records, (std::vector<LogRecord>{Folder(folders.root / L"Documents\\Tallowbrisk", 1)}));
}

}  // namespace
