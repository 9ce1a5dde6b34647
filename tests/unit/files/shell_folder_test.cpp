#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <string>

#include "platform/shell_folder.h"
#include "platform/wow64.h"

namespace {

std::wstring Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH + 1] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? value : L"";
}

std::wstring LookedUp(int csidl) {
    std::wstring path;
    EXPECT_TRUE(LookUpSpecialFolder(csidl, path)) << csidl;
    return path;
}

}  // namespace

// The tests of the 32-bit build run under WOW64 here; elsewhere the next test would prove nothing.
TEST(SpecialFolders, TheShippedBuildsTestsRunUnderWow64) { EXPECT_EQ(sizeof(void*) == 4, RunningUnderWow64()); }

// Under WOW64 the shell gives the 32-bit program files folder for both ids; the product folder
// rows of CSIDL_PROGRAM_FILES must reach the 64-bit one, which Windows also hands 32-bit
// processes as ProgramW6432.
TEST(SpecialFolders, ProgramFilesIsTheNativeFolderAndDiffersFromTheX86OneUnderWow64) {
    const std::wstring programFiles = LookedUp(CSIDL_PROGRAM_FILES);
    const std::wstring programFilesX86 = LookedUp(CSIDL_PROGRAM_FILESX86);
    ASSERT_FALSE(programFiles.empty());
    if (RunningUnderWow64()) {
        EXPECT_EQ(Environment(L"ProgramW6432"), programFiles);
        EXPECT_NE(programFilesX86, programFiles);
    } else {
        wchar_t shell[MAX_PATH + 1] = {};
        ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, shell, CSIDL_PROGRAM_FILES, FALSE));
        EXPECT_EQ(std::wstring(shell), programFiles);
    }
    EXPECT_EQ(Environment(L"ProgramFiles(x86)"), programFilesX86);
}
