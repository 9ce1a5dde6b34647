#include "files/folder_removal.h"

#include "files/preview_removal_steps.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/folder_listing.h"
#include "platform/unique_any.h"
#include "tests/unit/support/recording_logger.h"
#include "tests/unit/support/csidl_folders.h"
#include "tests/unit/support/temp_folder.h"

namespace {

LogRecord Folder(const std::wstring& path, int succeeded) { return {L"remove folder: ", path, succeeded}; }


// The records of a preview of RemoveProductFolders, which must leave the disk as it found it.
std::vector<LogRecord> PreviewProductFolders(SpecialFolders& folders) {
    const std::vector<std::wstring> before = DescribeTree(folders.root.path());
    PreviewRemovalSteps preview;
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

// A process of the user's swaps an entry of the product folder for a link to something outside
// while the deletion runs. What the link leads to stays untouched, and the record says "fail".
struct SwapScene {
    TempFolder root;
    const std::wstring product = root / L"Tallowbrisk";
    const std::wstring outside = root / L"precious";
    const std::wstring outsideFile = outside + L"\\keep.txt";
    const std::wstring outsideEmpty = root / L"empty";
    const std::wstring outsideLone = root / L"lone.txt";  // writable: only the checks protect it

    SwapScene() {
        WriteFileBytes(outsideFile, "keep");
        SetFileAttributesW(outsideFile.c_str(), FILE_ATTRIBUTE_READONLY);
        CreateDirectoryW(outsideEmpty.c_str(), nullptr);
        WriteFileBytes(outsideLone, "lone");
    }
    ~SwapScene() { SetBeforeOpenHook(nullptr); }

    void expectOutsideUntouched() const {
        EXPECT_EQ(ReadFileBytes(outsideFile), "keep");
        EXPECT_EQ(GetFileAttributesW(outsideFile.c_str()) & FILE_ATTRIBUTE_READONLY, DWORD{FILE_ATTRIBUTE_READONLY});
        EXPECT_TRUE(Exists(outsideEmpty));
        EXPECT_EQ(ReadFileBytes(outsideLone), "lone");
    }

    // Swaps the entry at `path` for a link to `target` when the walk is about to open it.
    void swapBeforeOpening(const std::wstring& path, const std::wstring& target) {
        SetBeforeOpenHook([this, path, target](const FolderEntry& entry) {
            if (entry.path == path && !swapped) {
                swapped = SwapForLink(path, root / L"moved_away", target);
            }
        });
    }
    bool swapped = false;
};

TEST(DeleteFolderTree, ListedEntrySwappedForALinkBeforeItIsOpened) {
    for (const bool folder : {true, false}) {
        SCOPED_TRACE(folder ? "a sub-folder swapped for a link to a folder" : "a file swapped for a link to a file");
        SwapScene scene;
        WriteFileBytes(scene.product + L"\\sub\\inner.txt", "x");
        WriteFileBytes(scene.product + L"\\data.txt", "x");
        scene.swapBeforeOpening(scene.product + (folder ? L"\\sub" : L"\\data.txt"),
                                folder ? scene.outside : scene.outsideLone);

        RecordingLogger logger;
        EXPECT_EQ(RemoveFolderIfPresent(scene.root.path(), L"Tallowbrisk", &logger), 0);
        EXPECT_TRUE(scene.swapped);
        scene.expectOutsideUntouched();
        EXPECT_EQ(logger.records, (std::vector<LogRecord>{Folder(scene.product, 0)}));
    }
}

// Steps that swap the first entry they are asked to delete, after it was opened and checked.
class SwapBeforeDeleting : public RemovalSteps {
public:
    SwapBeforeDeleting(const SwapScene& scene, std::wstring path, std::wstring target)
        : scene_(scene), path_(std::move(path)), target_(std::move(target)) {}

    bool remove(HANDLE entry) override {
        if (!swapped) {
            swapped = SwapForLink(path_, scene_.root / L"moved_away", target_);
        }
        return RemovalSteps::remove(entry);
    }
    bool swapped = false;

private:
    const SwapScene& scene_;
    std::wstring path_;
    std::wstring target_;
};

// Deleting through the handle reaches what was checked, never what the name leads to afterwards.
TEST(DeleteFolderTree, EntrySwappedForALinkAfterItWasOpened) {
    for (const bool folder : {true, false}) {
        SCOPED_TRACE(folder ? "an empty sub-folder swapped for a link to an empty folder"
                            : "a file swapped for a link to a file");
        SwapScene scene;
        if (folder) {
            CreateDirectoryW(scene.product.c_str(), nullptr);
            CreateDirectoryW((scene.product + L"\\sub").c_str(), nullptr);
        } else {
            WriteFileBytes(scene.product + L"\\data.txt", "x");
        }
        SwapBeforeDeleting steps(scene, scene.product + (folder ? L"\\sub" : L"\\data.txt"),
                                 folder ? scene.outsideEmpty : scene.outsideLone);

        RecordingLogger logger;
        RemoveFolderIfPresent(scene.root.path(), L"Tallowbrisk", &logger, steps);
        EXPECT_TRUE(steps.swapped);
        scene.expectOutsideUntouched();
    }
}

// Links are the reparse points whose tag names another file; the others are data, and a tag
// that can't be read (Wine lists links with 0) counts as a link.
TEST(IsLink, NameSurrogatesAndUnreadableTagsAreLinksCloudAndCompressedFilesAreData) {
    constexpr DWORD kReparse = FILE_ATTRIBUTE_REPARSE_POINT;
    EXPECT_TRUE(IsLink(kReparse, IO_REPARSE_TAG_SYMLINK));
    EXPECT_TRUE(IsLink(kReparse | FILE_ATTRIBUTE_DIRECTORY, IO_REPARSE_TAG_MOUNT_POINT));  // junctions too
    EXPECT_TRUE(IsLink(kReparse | FILE_ATTRIBUTE_DIRECTORY, 0));
    EXPECT_FALSE(IsLink(kReparse, 0x9000601A));                              // a cloud placeholder
    EXPECT_FALSE(IsLink(kReparse, 0x80000013));                              // a deduplicated file
    EXPECT_FALSE(IsLink(kReparse, 0x80000017));                              // a compressed (WOF) file
    EXPECT_FALSE(IsLink(FILE_ATTRIBUTE_DIRECTORY, IO_REPARSE_TAG_SYMLINK));  // no reparse point
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

// Row 9 reaches its folder through "Local" below the roaming folder. A "Local" that is a link
// is not followed: what lies behind it is no product folder of this user's, and no row reports it.
TEST(RemoveProductFolders, PassesOverAProductFolderBehindALinkOnItsWay) {
    SpecialFolders folders;
    const std::wstring elsewhere = folders.root / L"Elsewhere";
    WriteFileBytes(elsewhere + L"\\Tallowbrisk\\keep.txt", "keep");
    ASSERT_TRUE(MakeLink(folders(0x1A, L"Local"), elsewhere));
    RecordingLogger logger;
    RemoveProductFolders(&logger, SpecialFolders::LookUp);
    EXPECT_TRUE(logger.records.empty());
    EXPECT_EQ(ReadFileBytes(elsewhere + L"\\Tallowbrisk\\keep.txt"), "keep");
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
