// Every user of the machine: which switches ask for it, which profiles count as users, where
// each user's folders are, and what a user who can't be read leaves in the log.

#include "app/all_users.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "app/leftover_hives.h"
#include "app/registry_steps.h"
#include "app/unattended_runs.h"
#include "platform/loaded_hive.h"
#include "platform/registry_key.h"
#include "platform/registry_win32.h"
#include "platform/user_profiles.h"
#include "tests/unit/support/recording_logger.h"
#include "tests/unit/support/registry_memory.h"
#include "tests/unit/support/temp_folder.h"

namespace {

TEST(ChooseUnattendedRun, AllUsersByTheWholeTailInAnyCaseOrByRunningAsTheSystemAccount) {
    struct Case {
        const wchar_t* tail;
        bool system;
        UnattendedRun run;
        bool allUsers;
        bool interactive = true;
    };
    const Case cases[] = {
        {L"/quiet", false, UnattendedRun::Quiet, false},
        {L"/QUIET /ALLUSERS", false, UnattendedRun::Quiet, true},
        {L"/Preview /AllUsers", false, UnattendedRun::Preview, true},
        {L"/preview", false, UnattendedRun::Preview, false},
        {L"/quiet", true, UnattendedRun::Quiet, true},
        {L"/preview", true, UnattendedRun::Preview, true},
        {L"/quiet  /allusers", false, UnattendedRun::None, false},
        {L"/allusers", true, UnattendedRun::None, false},
        {L"/quiet /allusers ", false, UnattendedRun::None, false},
        {L"/postinstall", true, UnattendedRun::None, false},
        {L"", true, UnattendedRun::None, false},
        {nullptr, true, UnattendedRun::None, false},
        // Where no one sees a window: the switches as always, "/?" without its message, and
        // anything else refused rather than shown.
        {L"/quiet", true, UnattendedRun::Quiet, true, false},
        {L"/Preview /AllUsers", false, UnattendedRun::Preview, true, false},
        {L"/postinstall", true, UnattendedRun::None, false, false},
        {L"/?", true, UnattendedRun::Help, false, false},
        {L"/?", false, UnattendedRun::None, false},
        {L"/quiet ", true, UnattendedRun::Invalid, false, false},
        {L"-quiet", true, UnattendedRun::Invalid, false, false},
        {L"/allusers /quiet", true, UnattendedRun::Invalid, false, false},
        {L"", true, UnattendedRun::Invalid, false, false},
        {nullptr, false, UnattendedRun::Invalid, false, false},
    };
    for (const Case& c : cases) {
        const UnattendedChoice choice = ChooseUnattendedRun(c.tail, c.system, c.interactive);
        EXPECT_EQ(c.run, choice.run) << (c.tail ? c.tail : L"(null)");
        EXPECT_EQ(c.allUsers, choice.allUsers) << (c.tail ? c.tail : L"(null)");
    }
}

// Which hives under HKEY_USERS a run unloads first, under the run lock: every one under the
// cleaner's prefix that this process did not load, whatever process id its name holds (Windows
// gives a dead run's id to the next process soon); its own, and everyone else's, stay.
TEST(LeftoverHives, EveryHiveUnderThePrefixThatThisProcessDidNotLoad) {
    const std::wstring own = TemporaryHiveName(GetCurrentProcessId(), L"S-1-5-21-1-2-3-1005");
    const auto loadedHere = [&](const std::wstring& name) { return name == own || name == own + L"_Classes"; };
    const std::vector<std::wstring> names = {
        L"S-1-5-21-1-2-3-1001",
        L"S-1-5-21-1-2-3-1001_Classes",
        L"TallowbriskCleaner_123_S-1-5-21-1-2-3-1002",
        L"TallowbriskCleaner_123_S-1-5-21-1-2-3-1002_Classes",
        L"tallowbriskcleaner_124_S-1-5-21-1-2-3-1003",  // key names know no letter case
        own,
        own + L"_Classes",
        // A run that died, whose id this process (or any running one) now has.
        TemporaryHiveName(GetCurrentProcessId(), L"S-1-5-21-1-2-3-1004"),
        L"TallowbriskCleaner_x",  // no name a run makes, but under the prefix all the same
        L"TallowbriskCleaner_",
        L"TallowbriskCleanerTests_S-1-5-21-1-2-3-1009",
        L"Other_TallowbriskCleaner_1_S-1-5-21-1-2-3-1010",
        L".DEFAULT",
    };
    EXPECT_EQ((std::vector<std::wstring>{
                  L"TallowbriskCleaner_123_S-1-5-21-1-2-3-1002", L"TallowbriskCleaner_123_S-1-5-21-1-2-3-1002_Classes",
                  L"tallowbriskcleaner_124_S-1-5-21-1-2-3-1003",
                  TemporaryHiveName(GetCurrentProcessId(), L"S-1-5-21-1-2-3-1004"), L"TallowbriskCleaner_x"}),
              LeftoverHives(names, loadedHere));
    EXPECT_EQ(L"TallowbriskCleaner_123_S-1-5-21-1-2-3-1002", TemporaryHiveName(123, L"S-1-5-21-1-2-3-1002"));
}

TEST(IsUserSid, LocalDomainAndEntraIdUsersNotTheSystemsOrServicesAccountsNorLeftovers) {
    for (const wchar_t* sid : {L"S-1-5-21-1-2-3-1001", L"S-1-5-21-3623811015-3361044348-30300820-1013",
                               L"S-1-12-1-3524159221-1247281489-2840393378-2749578052", L"S-1-12-1-1"}) {
        EXPECT_TRUE(IsUserSid(sid)) << sid;
    }
    for (const wchar_t* name :
         {L"S-1-5-18", L"S-1-5-19", L"S-1-5-20", L"S-1-5-21-1-2-3-1001.bak", L"S-1-5-21-1-2-3-1001_Classes",
          L"S-1-5-21-", L"S-1-5-21-1--2", L"S-1-5-21-1-", L"s-1-5-21-1-2-3-1001", L"S-1-5-211-1",
          // Services, virtual accounts, app containers, well-known groups; Entra ID's other kinds.
          L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", L"S-1-5-82-1-2-3-4-5", L"S-1-5-90-0-1",
          L"S-1-5-96-0-1", L"S-1-15-2-1-2-3", L"S-1-5-32-544", L"S-1-1-0", L"S-1-12-1-", L"S-1-12-1-1-",
          L"S-1-12-2-1-2-3-4", L"S-1-12-11-1-2", L"S-1-12-1-1.bak", L"S-1-12-1-1_Classes"}) {
        EXPECT_FALSE(IsUserSid(name)) << name;
    }
}

TEST(UserHiveFile, NtuserDatOrAMandatoryProfilesNtuserManWhenThereIsNoDat) {
    TempFolder profile;
    EXPECT_EQ(profile / L"NTUSER.DAT", UserHiveFile(profile.path())) << "none: the line that fails names NTUSER.DAT";
    WriteFileBytes(profile / L"NTUSER.MAN", "regf");
    EXPECT_EQ(profile / L"NTUSER.MAN", UserHiveFile(profile.path()));
    WriteFileBytes(profile / L"NTUSER.DAT", "regf");
    EXPECT_EQ(profile / L"NTUSER.DAT", UserHiveFile(profile.path()));
}

// Another user's folder is opened by the system account, with the machine's credentials: only
// a local path on a drive letter is taken.
TEST(IsLocalDrivePath, OnlyADriveLettersLocalAbsolutePaths) {
    for (const wchar_t* path : {L"C:\\", L"C:\\Users\\bob\\Documents", L"e:\\Redirected\\bob", L"Z:\\a b\\c.d"}) {
        EXPECT_TRUE(IsLocalDrivePath(path)) << path;
    }
    for (const wchar_t* path :
         {L"\\\\host\\share\\bob", L"\\\\?\\UNC\\host\\share", L"\\\\?\\C:\\Users\\bob", L"\\\\.\\C:\\Users",
          L"\\\\.\\PhysicalDrive0", L"\\\\?\\Volume{7a5b1c2d-0000-0000-0000-100000000000}\\Users", L"\\??\\C:\\Users",
          L"//host/share", L"C:/Users/bob", L"C:\\Users/bob", L"C:Users\\bob", L"C:", L"Users\\bob", L"\\Users\\bob",
          L"1:\\Users", L"C:\\Users\\bob:stream", L"", L"CC:\\Users"}) {
        EXPECT_FALSE(IsLocalDrivePath(path)) << path;
    }
}

TEST(UserFolderFromValue, UserProfileStandsForTheProfileAndOtherVariablesAreNotGuessed) {
    const std::wstring profile = L"C:\\Users\\bob";
    EXPECT_EQ(L"C:\\Users\\bob\\AppData\\Roaming", UserFolderFromValue(L"%USERPROFILE%\\AppData\\Roaming", profile));
    EXPECT_EQ(L"C:\\Users\\bob\\Docs", UserFolderFromValue(L"%userprofile%\\Docs\\", profile));
    EXPECT_EQ(L"D:\\Redirected\\bob", UserFolderFromValue(L"D:\\Redirected\\bob", profile));
    // The process's own variables would name the system account's folders; a network or device
    // path would be reached with the machine's credentials.
    for (const wchar_t* value :
         {L"%APPDATA%", L"%HOMEDRIVE%%HOMEPATH%\\Documents", L"%USERPROFILE%\\%USERNAME%", L"Documents", L"\\Documents",
          L"", L"\\\\server\\share\\bob", L"\\\\?\\UNC\\server\\share\\bob", L"\\\\?\\C:\\Users\\bob"}) {
        EXPECT_EQ(L"", UserFolderFromValue(value, profile)) << value;
    }
}

constexpr wchar_t kShellFolders[] =
    L"HKLM\\Hive\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

TEST(ReadUserFolders, TheUsersOwnValuesWithTheDefaultsWhereOneIsMissing) {
    MemoryRegistry registry;
    registry.createKey(L"HKLM\\Hive\\SOFTWARE");
    unique_registry_key hive;
    ASSERT_EQ(ERROR_SUCCESS, OpenRegistryKey(registry, HKEY_LOCAL_MACHINE, L"Hive", KEY_READ, hive));
    UserFolders folders = ReadUserFolders(registry, hive.get().key, L"C:\\Users\\ann");
    EXPECT_EQ(L"C:\\Users\\ann\\AppData\\Roaming", folders.roaming);
    EXPECT_EQ(L"C:\\Users\\ann\\AppData\\Local", folders.local);
    EXPECT_EQ(L"C:\\Users\\ann\\Documents", folders.documents);

    registry.setString(kShellFolders, L"Personal", L"%USERPROFILE%\\OneDrive\\Documents", REG_EXPAND_SZ);
    registry.setString(kShellFolders, L"appdata", L"E:\\Roaming\\ann", REG_SZ);
    registry.setString(kShellFolders, L"Local AppData", L"%LOCALAPPDATA%", REG_EXPAND_SZ);
    std::vector<std::wstring> refused;
    folders = ReadUserFolders(registry, hive.get().key, L"C:\\Users\\ann", &refused);
    EXPECT_EQ(L"E:\\Roaming\\ann", folders.roaming);
    EXPECT_EQ(L"", folders.local);
    EXPECT_EQ(L"C:\\Users\\ann\\OneDrive\\Documents", folders.documents);
    EXPECT_EQ(std::vector<std::wstring>{L"%LOCALAPPDATA%"}, refused);
    registry.setString(kShellFolders, L"Personal", L"\\\\host\\share", REG_SZ);
    refused.clear();
    EXPECT_EQ(L"", ReadUserFolders(registry, hive.get().key, L"C:\\Users\\ann", &refused).documents);
    EXPECT_EQ((std::vector<std::wstring>{L"%LOCALAPPDATA%", L"\\\\host\\share"}), refused);
    registry.setString(kShellFolders, L"Personal", L"%USERPROFILE%\\OneDrive\\Documents", REG_EXPAND_SZ);

    std::wstring path;
    const SpecialFolderLookup lookUp = UserFolderLookup(folders);
    EXPECT_TRUE(lookUp(CSIDL_PERSONAL, path));
    EXPECT_EQ(L"C:\\Users\\ann\\OneDrive\\Documents", path);
    EXPECT_FALSE(lookUp(CSIDL_LOCAL_APPDATA, path));
    for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_WINDOWS}) {
        EXPECT_FALSE(lookUp(csidl, path)) << csidl;
        EXPECT_EQ(L"", path);
    }
}

constexpr wchar_t kProfileList[] = L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";

TEST(ListUserProfiles, UserSidsWithTheirExpandedFoldersAndThoseThatCantBeReadWithNone) {
    MemoryRegistry registry;
    registry.setString(std::wstring(kProfileList) + L"S-1-5-18", L"ProfileImagePath",
                       L"%systemroot%\\system32\\config\\systemprofile", REG_EXPAND_SZ);
    registry.setString(std::wstring(kProfileList) + L"S-1-5-21-1-2-3-1001", L"ProfileImagePath",
                       L"%SystemRoot%\\..\\Users\\ann\\", REG_EXPAND_SZ);
    registry.setString(std::wstring(kProfileList) + L"S-1-5-21-1-2-3-1001.bak", L"ProfileImagePath",
                       L"C:\\Users\\ann.old");
    registry.setString(std::wstring(kProfileList) + L"S-1-5-21-1-2-3-1002", L"ProfileImagePath", L"C:\\Users\\bob");
    registry.setValue(std::wstring(kProfileList) + L"S-1-5-21-1-2-3-1003", L"ProfileImagePath", REG_DWORD,
                      {1, 0, 0, 0});
    registry.setString(std::wstring(kProfileList) + L"S-1-5-21-1-2-3-1004", L"ProfileImagePath", L"Users\\dan");

    const std::vector<UserProfile> profiles = ListUserProfiles(registry);
    wchar_t windows[MAX_PATH];
    ASSERT_NE(0u, GetEnvironmentVariableW(L"SystemRoot", windows, MAX_PATH));
    ASSERT_EQ(4u, profiles.size());
    EXPECT_EQ(L"S-1-5-21-1-2-3-1001", profiles[0].sid);
    EXPECT_EQ(std::wstring(windows) + L"\\..\\Users\\ann", profiles[0].folder);
    EXPECT_EQ(L"C:\\Users\\bob", profiles[1].folder);
    EXPECT_EQ(L"", profiles[2].folder);  // not a string
    EXPECT_EQ(L"", profiles[3].folder);  // not a full path
    EXPECT_EQ(0u, registry.openHandles());
}

// What can't be read fails; what is not there, or is left alone by choice, is passed over. A
// stale profile (its folder there, its hive file gone, its user not logged on) has no registry
// to clean, and its folders are cleaned.
TEST(OtherUsers, WhatCantBeReadFailsWhatIsNotThereIsPassedOverAndAStaleProfilesFoldersAreCleaned) {
    MemoryRegistry registry;  // no HKEY_USERS: no one is logged on, and nothing can be loaded here
    RecordingLogger logger;
    TempFolder stale;
    TempFolder damaged;
    WriteFileBytes(damaged / L"NTUSER.DAT", "not a hive");
    OtherUsers users(registry,
                     {{L"S-1-5-21-1-2-3-1000", stale.path()},
                      {L"S-1-5-21-1-2-3-1001", L""},
                      {L"S-1-5-21-1-2-3-1002", stale / L"no such profile"},
                      {L"S-1-5-21-1-2-3-1003", stale.path()},
                      {L"S-1-5-21-1-2-3-1004", damaged.path()}},
                     L"S-1-5-21-1-2-3-1000");
    EXPECT_EQ(4u, users.count());
    std::vector<std::wstring> cleaned;
    users.cleanEach(logger, [&](const UserHives& hives, const SpecialFolderLookup& folders) {
        EXPECT_EQ(nullptr, hives.hive);
        EXPECT_EQ(nullptr, hives.classes);
        std::wstring roaming;
        EXPECT_TRUE(folders(CSIDL_APPDATA, roaming));
        cleaned.push_back(hives.sid + L" " + roaming);
    });
    EXPECT_EQ(std::vector<std::wstring>{L"S-1-5-21-1-2-3-1003 " + stale / L"AppData\\Roaming"}, cleaned);
    EXPECT_EQ(1, users.visited());
    EXPECT_EQ(3, users.passedOver());
    EXPECT_EQ((std::vector<LogRecord>{
                  {L"clean user: ",
                   L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-1-2-3-1001", 0},
                  {L"clean user: ", stale / L"no such profile", kPassedOver},
                  {L"clean user: ", stale / L"NTUSER.DAT", kPassedOver},
                  {L"clean user: ", damaged / L"NTUSER.DAT", 0}}),
              logger.records);
    for (const LogRecord& record : logger.records) {
        EXPECT_TRUE(record.succeeded == 0 || record.succeeded == kPassedOver) << record.target;
    }
    EXPECT_EQ(kPassedOver, logger.records[1].succeeded);
    EXPECT_EQ(kPassedOver, logger.records[2].succeeded);
}

// "/postinstall" as the system account: every user's settings files, each user in turn; one
// whose profile has no hive file still has their settings files cleaned.
TEST(CleanEveryUsersSettingsFiles, EachUsersMarkedSettingsFilesGoAndOnlyWithAllUsers) {
    TempFolder profile;
    const std::wstring settings = profile / L"AppData\\Local\\Microsoft_Corporation\\Addin_Url\\1.0\\user.config";
    const std::wstring other = profile / L"AppData\\Local\\Microsoft_Corporation\\Other\\1.0\\user.config";
    const std::string marked =
        "<configuration><userSettings><Tallowbrisk4Outlook.Properties.Settings></"
        "Tallowbrisk4Outlook.Properties.Settings>"
        "</userSettings></configuration>";
    WriteFileBytes(settings, marked);
    WriteFileBytes(other, "<configuration/>");
    MemoryRegistry registry;
    registry.setString(
        std::wstring(L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\") + L"S-1-5-21-9-9-9-1001",
        L"ProfileImagePath", profile.path());

    RecordingLogger own;
    CleanEveryUsersSettingsFiles(false, registry, own);
    EXPECT_TRUE(Exists(settings)) << "the user the program runs as alone";

    RecordingLogger every;
    CleanEveryUsersSettingsFiles(true, registry, every);
    EXPECT_FALSE(Exists(settings));
    EXPECT_TRUE(Exists(other));
    EXPECT_EQ((std::vector<LogRecord>{{L"clean user: ", profile / L"NTUSER.DAT", kPassedOver},
                                      {L"remove file: ", settings, 1}}),
              every.records);
}

bool UsersKeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_USERS, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// The real thing: two users who are not logged on, each with a hive file in the profile. Each
// hive is loaded for its user's turn alone, cleaned while it is loaded, and unloaded before the
// next user's is loaded. (Wine does not write changes back to the file, so they are checked
// while the hive is loaded.)
TEST(OtherUsers, EachHiveIsLoadedCleanedAndUnloadedBeforeTheNextUsersIsLoaded) {
    ASSERT_TRUE(EnableHivePrivileges());
    const std::wstring addins = L"\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins\\";
    TempFolder profiles[2];
    std::vector<UserProfile> listed;
    std::vector<std::wstring> loaded;
    for (TempFolder& profile : profiles) {
        const std::wstring sid =
            L"S-1-5-21-7-7-" + std::to_wstring(listed.size()) + L"-" + std::to_wstring(GetCurrentProcessId());
        const std::wstring seed = L"TallowbriskCleanerTests_" + sid;
        HKEY key = nullptr;
        for (const wchar_t* name : {L"Tallowbrisk.Addin", L"Other.Addin"}) {
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_USERS, (seed + addins + name).c_str(), 0, nullptr, 0,
                                                     KEY_ALL_ACCESS, nullptr, &key, nullptr));
            RegCloseKey(key);
        }
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_USERS, seed.c_str(), 0, KEY_ALL_ACCESS, &key));
        const LSTATUS saved = RegSaveKeyW(key, (profile / L"NTUSER.DAT").c_str(), nullptr);
        RegCloseKey(key);
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_USERS, seed.c_str()));
        ASSERT_EQ(ERROR_SUCCESS, saved);
        listed.push_back({sid, profile.path()});
        loaded.push_back(TemporaryHiveName(GetCurrentProcessId(), sid));
    }

    RecordingLogger logger;
    OtherUsers users(SystemRegistry(), listed, L"S-1-5-21-7-7-7-1");
    // One rule of the table's, so that the test touches nothing else of the machine's.
    const RegistryRule rules[] = {
        {HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins", L"Tallowbrisk", MatchName, 1},
        {nullptr, nullptr, nullptr, 0, 0}};
    size_t turn = 0;
    users.cleanEach(logger, [&](const UserHives& hives, const SpecialFolderLookup& folders) {
        ASSERT_LT(turn, loaded.size());
        EXPECT_EQ(listed[turn].sid, hives.sid);
        EXPECT_EQ(nullptr, hives.classes);  // no UsrClass.dat in this profile
        std::wstring roaming;
        EXPECT_TRUE(folders(CSIDL_APPDATA, roaming));
        EXPECT_EQ(listed[turn].folder + L"\\AppData\\Roaming", roaming);
        EXPECT_TRUE(UsersKeyExists(loaded[turn] + addins + L"Tallowbrisk.Addin"));
        EXPECT_FALSE(UsersKeyExists(loaded[1 - turn])) << "one user's hive at a time";
        CleanUserRegistry(RegistryPass(SystemRegistry(), false, rules, &logger).forUser(hives), {}, nullptr);
        EXPECT_FALSE(UsersKeyExists(loaded[turn] + addins + L"Tallowbrisk.Addin"));
        EXPECT_TRUE(UsersKeyExists(loaded[turn] + addins + L"Other.Addin"));
        ++turn;
    });
    EXPECT_EQ(2u, turn);
    EXPECT_FALSE(UsersKeyExists(loaded[0]));
    EXPECT_FALSE(UsersKeyExists(loaded[1]));
    ASSERT_EQ(2u, logger.records.size());
    for (size_t index = 0; index < 2; ++index) {
        EXPECT_EQ(L"HKU\\" + listed[index].sid + addins + L"Tallowbrisk.Addin : 1",
                  logger.records[index].target + L" : " + std::to_wstring(logger.records[index].succeeded));
    }
}

}  // namespace
