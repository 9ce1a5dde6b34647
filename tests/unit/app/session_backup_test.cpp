// A cleaning session keeps a ".reg" backup of the registry keys it deletes, beside its log,
// and the backup changes nothing else the session does.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/cleaning_session.h"
#include "app/registry_steps.h"
#include "app/unattended_runs.h"
#include "report/operations_logger.h"
#include "tests/unit/support/registry_memory.h"
#include "tests/unit/support/temp_folder.h"

namespace {

// A session whose only cleaner is the registry cleaner, on an in-memory registry that holds
// two of the product's keys.
class RegistryOnlyPlatform : public SessionPlatform {
public:
    explicit RegistryOnlyPlatform(std::wstring windowsFolder) : windowsFolder_(std::move(windowsFolder)) {
        registry.setString(L"HKCR\\Tallowbrisk.Connect\\CLSID", L"", L"{5E0B3A60-7C21-4E2B-9A51-3D1F0C6B7A01}");
        registry.setValue(L"HKLM\\SOFTWARE\\Tallowbrisk\\Addin", L"Level", REG_DWORD, {3, 0, 0, 0});
    }
    std::wstring logWindowsFolder() override { return windowsFolder_; }
    HCURSOR setCursor(HCURSOR) override { return nullptr; }
    void runCleaners(OperationsLogger& logger, ProgressCleaner& progress, RegistryBackup& backup) override {
        CleanRegistry(RegistryPass(registry, false, RegistryRuleTable(), &logger, &backup), &progress);
    }
    void showMessage(HWND, const std::wstring& text) override { message = text; }
    void writeStandardOutput(const std::wstring& line) override { output = line; }

    MemoryRegistry registry;
    std::wstring message;
    std::wstring output;

private:
    std::wstring windowsFolder_;
};

struct WindowsFolder {
    TempFolder folder;
    WindowsFolder() { CreateDirectoryW((folder / L"Logs").c_str(), nullptr); }
    std::wstring logFolder() const { return folder / L"Logs\\TallowBriskCleaner"; }
};

const char kExpectedLog[] =
    "LOG Remove:: remove registry key:  : HKCR\\Tallowbrisk.Connect : success\r\n"
    "LOG Remove:: remove registry key:  : HKLM\\SOFTWARE\\Tallowbrisk : success\r\n";

// The names of the files (not folders) in `folder` whose name ends in `extension`.
std::vector<std::wstring> FilesEndingIn(const std::wstring& folder, const std::wstring& extension) {
    std::vector<std::wstring> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::wstring name = entry.path().filename().wstring();
        if (entry.is_regular_file() && name.size() > extension.size() &&
            name.compare(name.size() - extension.size(), extension.size(), extension) == 0) {
            names.push_back(name);
        }
    }
    return names;
}

void ExpectTheSameSessionAsWithoutABackup(RegistryOnlyPlatform& platform, const WindowsFolder& windows) {
    EXPECT_FALSE(platform.registry.exists(L"HKCR\\Tallowbrisk.Connect"));
    EXPECT_FALSE(platform.registry.exists(L"HKLM\\SOFTWARE\\Tallowbrisk"));
    const std::vector<std::wstring> logs = FilesEndingIn(windows.logFolder(), L".log");
    ASSERT_EQ(1u, logs.size());
    const std::wstring log = windows.logFolder() + L"\\" + logs[0];
    EXPECT_EQ(L"Tallowbrisk cleaner removed 2 items.\nMore technical information on file:\n" + log, platform.message);
    std::string expected = "\xFF\xFE";
    for (const char* c = kExpectedLog; *c; ++c) expected += std::string{*c, '\0'};
    EXPECT_EQ(expected, ReadFileBytes(log));
}

TEST(SessionBackup, TheDeletedKeysAreSavedBesideTheLog) {
    WindowsFolder windows;
    RegistryOnlyPlatform platform(windows.folder.path());
    RunCleaningSession(nullptr, platform);

    ExpectTheSameSessionAsWithoutABackup(platform, windows);
    const std::vector<std::wstring> backups = FilesEndingIn(windows.logFolder(), L".reg");
    ASSERT_EQ(1u, backups.size());
    const std::wstring& name = backups[0];
    EXPECT_EQ(0u, name.rfind(L"Tallowbrisk_cleaner_", 0));
    EXPECT_EQ(std::wstring(L"Tallowbrisk_cleaner_").size() + 20 + 4, name.size()) << "the stamp and \".reg\"";
    // The key went first, and its backup was made before the log: the log takes the backup's name.
    EXPECT_EQ(FilesEndingIn(windows.logFolder(), L".log"),
              std::vector<std::wstring>{name.substr(0, name.size() - 4) + L".log"});
    const std::string bytes = ReadFileBytes(windows.logFolder() + L"\\" + name);
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    EXPECT_EQ(
        L"\xFEFFWindows Registry Editor Version 5.00\r\n\r\n"
        L"[HKEY_CLASSES_ROOT\\Tallowbrisk.Connect]\r\n\r\n"
        L"[HKEY_CLASSES_ROOT\\Tallowbrisk.Connect\\CLSID]\r\n"
        L"@=\"{5E0B3A60-7C21-4E2B-9A51-3D1F0C6B7A01}\"\r\n\r\n"
        L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowbrisk]\r\n\r\n"
        L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowbrisk\\Addin]\r\n"
        L"\"Level\"=dword:00000003\r\n\r\n",
        text);
}

// "Tallowbrisk_cleaner_<UTC stamp>.reg" for `seconds` from now.
std::wstring BackupNameIn(int seconds) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks{{now.dwLowDateTime, now.dwHighDateTime}};
    ticks.QuadPart += 10000000ULL * seconds;
    FILETIME then{ticks.LowPart, ticks.HighPart};
    SYSTEMTIME time;
    FileTimeToSystemTime(&then, &time);
    wchar_t name[64];
    swprintf(name, 64, L"Tallowbrisk_cleaner_%04d_%02d_%02dT%02d_%02d_%02dZ.reg", time.wYear, time.wMonth, time.wDay,
             time.wHour, time.wMinute, time.wSecond);
    return name;
}

// Folders stand where the backup would go during the next minute; the log can still be made.
void BlockTheBackup(const WindowsFolder& windows) {
    CreateDirectoryW(windows.logFolder().c_str(), nullptr);
    for (int second = 0; second < 60; ++second) {
        CreateDirectoryW((windows.logFolder() + L"\\" + BackupNameIn(second)).c_str(), nullptr);
    }
}

std::wstring LogText(const WindowsFolder& windows) {
    const std::vector<std::wstring> logs = FilesEndingIn(windows.logFolder(), L".log");
    if (logs.size() != 1) return L"(" + std::to_wstring(logs.size()) + L" logs)";
    const std::string bytes = ReadFileBytes(windows.logFolder() + L"\\" + logs[0]);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()) + 1, bytes.size() / 2 - 1);
}

TEST(SessionBackup, ABackupThatCannotBeWrittenKeepsEveryKey) {
    // The dialog goes on, but deletes no key without its backup: each key's line says fail.
    WindowsFolder windows;
    BlockTheBackup(windows);
    RegistryOnlyPlatform platform(windows.folder.path());
    RunCleaningSession(nullptr, platform);
    EXPECT_TRUE(platform.registry.exists(L"HKCR\\Tallowbrisk.Connect\\CLSID"));
    EXPECT_TRUE(platform.registry.exists(L"HKLM\\SOFTWARE\\Tallowbrisk\\Addin"));
    EXPECT_EQ(
        L"LOG Remove:: remove registry key:  : HKCR\\Tallowbrisk.Connect : fail\r\n"
        L"LOG Remove:: remove registry key:  : HKLM\\SOFTWARE\\Tallowbrisk : fail\r\n",
        LogText(windows));
    EXPECT_TRUE(FilesEndingIn(windows.logFolder(), L".reg").empty());

    // "/quiet" does not start without its backup: nothing removed, 1603.
    WindowsFolder quietWindows;
    BlockTheBackup(quietWindows);
    RegistryOnlyPlatform quiet(quietWindows.folder.path());
    EXPECT_EQ(1603, RunQuietSession(quiet));
    EXPECT_TRUE(quiet.registry.exists(L"HKCR\\Tallowbrisk.Connect\\CLSID"));
    EXPECT_TRUE(quiet.registry.exists(L"HKLM\\SOFTWARE\\Tallowbrisk\\Addin"));
    EXPECT_EQ(
        L"LOG Remove:: remove registry key:  : HKCR\\Tallowbrisk.Connect : fail\r\n"
        L"LOG Remove:: remove registry key:  : HKLM\\SOFTWARE\\Tallowbrisk : fail\r\n" +
            quiet.output + L"\r\n",
        LogText(quietWindows));
    const std::wstring tail = L"removed=0; failed=2; passedOver=0; exit=1603; reason=log-not-written";
    EXPECT_EQ(tail, quiet.output.substr(quiet.output.size() - std::min(tail.size(), quiet.output.size())));
}

// The product's own key cannot be deleted: its backup lies beside a log that names the failed
// attempt, and the closing message counts it as not removed and names the log. It never says
// "found nothing".
TEST(SessionBackup, AKeyThatCannotBeDeletedIsLoggedBesideItsBackup) {
    WindowsFolder windows;
    RegistryOnlyPlatform platform(windows.folder.path());
    platform.registry.failDelete(L"HKLM\\SOFTWARE\\Tallowbrisk\\Addin", ERROR_ACCESS_DENIED);
    RunCleaningSession(nullptr, platform);

    EXPECT_TRUE(platform.registry.exists(L"HKLM\\SOFTWARE\\Tallowbrisk\\Addin"));
    EXPECT_EQ(1u, FilesEndingIn(windows.logFolder(), L".reg").size());
    const std::vector<std::wstring> logs = FilesEndingIn(windows.logFolder(), L".log");
    ASSERT_EQ(1u, logs.size());
    const std::wstring log = windows.logFolder() + L"\\" + logs[0];
    EXPECT_EQ(
        L"Tallowbrisk cleaner removed 1 items.\n1 item could not be removed; the log names it.\nMore technical "
        L"information on file:\n" +
            log,
        platform.message);
    const std::string bytes = ReadFileBytes(log);
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    EXPECT_NE(text.find(L"remove registry key:  : HKLM\\SOFTWARE\\Tallowbrisk : fail\r\n"), std::wstring::npos);
}

}  // namespace
