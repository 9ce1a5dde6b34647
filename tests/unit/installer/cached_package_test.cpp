// The installer's files of a product: its cached package, named by the product's LocalPackage,
// and its icons folders.

#include "installer/cached_package.h"

#include <gtest/gtest.h>

#include "files/preview_removal_steps.h"
#include "tests/unit/support/csidl_folders.h"
#include "tests/unit/support/recording_logger.h"
#include "tests/unit/support/temp_folder.h"

namespace {

LogRecord Folder(const std::wstring& path, int succeeded) { return {L"remove folder: ", path, succeeded}; }

TEST(CachedPackageName, ANameOfAPackageDirectlyInsideTheInstallerFolder) {
    const std::wstring installer = L"C:\\Windows\\Installer";
    EXPECT_EQ(L"5d5d.msi", CachedPackageName(installer, L"C:\\windows\\installer\\5d5d.msi"));
    EXPECT_EQ(L"A B.MSI", CachedPackageName(installer, L"C:\\Windows\\Installer\\A B.MSI"));
    for (const wchar_t* elsewhere :
         {L"", L"5d5d.msi", L"C:\\Windows\\Installer", L"C:\\Windows\\Installer\\", L"C:\\Windows\\Installer\\.msi",
          L"C:\\Windows\\Installer\\5d5d.mst", L"C:\\Windows\\Installer\\5d5d.msi.",
          L"C:\\Windows\\Installer\\5d5d.msi ", L"C:\\Windows\\Installer\\sub\\5d5d.msi",
          L"C:\\Windows\\Installer\\..\\5d5d.msi", L"C:\\Windows\\Installer/../5d5d.msi",
          L"C:\\Windows\\Installer\\\\5d5d.msi", L"C:\\Windows\\Installer\\5d5d.msi:stream.msi",
          L"C:\\Windows\\Installer\\*.msi", L"C:\\Windows\\InstallerX\\5d5d.msi", L"D:\\Windows\\Installer\\5d5d.msi",
          L"\\\\?\\C:\\Windows\\Installer\\5d5d.msi", L"C:\\Windows\\System32\\5d5d.msi"}) {
        EXPECT_EQ(L"", CachedPackageName(installer, elsewhere)) << elsewhere;
    }
    EXPECT_EQ(L"", CachedPackageName(L"", L"\\5d5d.msi"));
}

// The cached package and the icons folders of a product, for a machine's and a user's install;
// a package named elsewhere, a folder or a link in a package's place, and another product's
// package stay.
TEST(RemoveInstallerFiles, RemovesTheCachedPackageAndTheIconsFoldersAndNothingElse) {
    SpecialFolders folders;
    const std::wstring installer = folders(0x24, L"Installer");
    const std::wstring code = L"{1B2C3D4E-5F60-4718-8293-A4B5C6D7E8F9}";
    WriteFileBytes(installer + L"\\5d5d.msi", "package");
    WriteFileBytes(installer + L"\\77aa.msi", "another product's package");
    WriteFileBytes(installer + L"\\" + code + L"\\addin.ico", "icon");
    WriteFileBytes(folders(0x1A, L"Microsoft\\Installer\\" + code + L"\\addin.ico"), "icon");
    WriteFileBytes(folders.root / L"Elsewhere\\5d5d.msi", "not in the Installer folder");
    WriteFileBytes(installer + L"\\folder.msi\\inside.txt", "a folder of that name");
    ASSERT_TRUE(MakeLink(installer + L"\\link.msi", folders.root / L"Elsewhere\\5d5d.msi"));
    const std::vector<std::wstring> packages = {installer + L"\\5d5d.msi", folders.root / L"Elsewhere\\5d5d.msi",
                                                installer + L"\\folder.msi", installer + L"\\link.msi",
                                                installer + L"\\gone.msi"};

    // Another user's roaming folder, for a run for every user.
    const std::wstring bob = folders.root / L"Bob";
    WriteFileBytes(bob + L"\\Microsoft\\Installer\\" + code + L"\\addin.ico", "icon");
    const std::vector<SpecialFolderLookup> others = {[&](int csidl, std::wstring& path) {
        path = csidl == 0x1A ? bob : std::wstring();
        return !path.empty();
    }};

    const std::vector<std::wstring> before = DescribeTree(folders.root.path());
    PreviewRemovalSteps preview;
    RecordingLogger planned;
    RemoveInstallerFiles({packages, {code}}, &planned, SpecialFolders::LookUp, others, preview);
    EXPECT_EQ(DescribeTree(folders.root.path()), before);

    RecordingLogger logger;
    RemoveInstallerFiles({packages, {code}}, &logger, SpecialFolders::LookUp, others, DefaultRemovalSteps());
    const std::vector<LogRecord> expected = {
        {L"remove file: ", installer + L"\\5d5d.msi", 1},           {L"remove file: ", installer + L"\\folder.msi", 0},
        {L"remove file: ", installer + L"\\link.msi", 0},           Folder(installer + L"\\" + code, 1),
        Folder(folders(0x1A, L"Microsoft\\Installer\\" + code), 1), Folder(bob + L"\\Microsoft\\Installer\\" + code, 1),
    };
    EXPECT_EQ(logger.records, expected);
    EXPECT_EQ(planned.records, expected);
    EXPECT_FALSE(Exists(installer + L"\\5d5d.msi"));
    EXPECT_FALSE(Exists(installer + L"\\" + code));
    EXPECT_TRUE(Exists(folders(0x1A, L"Microsoft\\Installer")));
    EXPECT_EQ(ReadFileBytes(installer + L"\\77aa.msi"), "another product's package");
    EXPECT_EQ(ReadFileBytes(folders.root / L"Elsewhere\\5d5d.msi"), "not in the Installer folder");
    EXPECT_TRUE(Exists(installer + L"\\folder.msi\\inside.txt"));
}

// An Installer folder that is a link leads elsewhere: nothing is deleted through it.
TEST(RemoveInstallerFiles, NothingGoesThroughAnInstallerFolderThatIsALink) {
    SpecialFolders folders;
    const std::wstring code = L"{1B2C3D4E-5F60-4718-8293-A4B5C6D7E8F9}";
    WriteFileBytes(folders.root / L"Elsewhere\\5d5d.msi", "keep");
    WriteFileBytes(folders.root / L"Elsewhere\\" + code + L"\\addin.ico", "keep");
    CreateDirectoryW(folders.places[0x24].c_str(), nullptr);
    ASSERT_TRUE(MakeLink(folders(0x24, L"Installer"), folders.root / L"Elsewhere"));
    RecordingLogger logger;
    RemoveInstallerFiles({{folders(0x24, L"Installer\\5d5d.msi")}, {code}}, &logger, SpecialFolders::LookUp, {},
                         DefaultRemovalSteps());
    EXPECT_EQ(logger.records, (std::vector<LogRecord>{{L"remove file: ", folders(0x24, L"Installer\\5d5d.msi"), 0}}));
    EXPECT_EQ(ReadFileBytes(folders.root / L"Elsewhere\\5d5d.msi"), "keep");
    EXPECT_TRUE(Exists(folders.root / L"Elsewhere\\" + code + L"\\addin.ico"));
}

}  // namespace
