// Other users' hives: which rules reach them, in which of their two hives, in what order, and
// under which names in the log and the backup.

#include "registry/user_hives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "app/registry_steps.h"
#include "platform/registry_key.h"
#include "registry/candidate_knowledge.h"
#include "test_sinks.h"
#include "tests/unit/support/registry_memory.h"

namespace {

constexpr wchar_t kSid[] = L"S-1-5-21-1-2-3-1001";
// Where the tests keep the user's two hives: anywhere will do, since the cleaner gets them open.
const std::wstring kHive = std::wstring(L"HKLM\\Loaded\\") + kSid;
const std::wstring kClasses = kHive + L"_Classes";
constexpr wchar_t kAddins[] = L"\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins";

class UserHivesTest : public ::testing::Test {
protected:
    void SetUp() override {
        registry.createKey(std::wstring(L"HKCU") + kAddins + L"\\Tallowbrisk.Addin");
        registry.createKey(kHive + kAddins + L"\\Tallowbrisk.Addin");
        registry.createKey(kHive + kAddins + L"\\Unrelated.Addin");
        registry.createKey(kHive + L"\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Resiliency\\DisabledItems");
        // A COM class of the user's, found by its server's path, in the classes hive; the same
        // name in the user's hive below SOFTWARE\Classes is not where Windows keeps it.
        registry.setString(kClasses + L"\\CLSID\\{A}\\InprocServer32", L"", L"C:\\Tallowbrisk\\addin.dll");
        registry.setString(kHive + L"\\SOFTWARE\\Classes\\CLSID\\{A}\\InprocServer32", L"", L"C:\\Tallowbrisk\\x.dll");
        registry.createKey(L"HKLM\\SOFTWARE\\Tallowbrisk");
        ASSERT_EQ(ERROR_SUCCESS,
                  OpenRegistryKey(registry, HKEY_LOCAL_MACHINE, (kHive.substr(5)).c_str(), KEY_ALL_ACCESS, hive));
        ASSERT_EQ(ERROR_SUCCESS,
                  OpenRegistryKey(registry, HKEY_LOCAL_MACHINE, (kClasses.substr(5)).c_str(), KEY_ALL_ACCESS, classes));
        users.push_back(UserHives{kSid, hive.get().key, classes.get().key});
    }

    MemoryRegistry registry;
    unique_registry_key hive, classes;
    std::vector<UserHives> users;
    RecordingLogger logger;
    RecordingProgress progress;
    NamesOfSavedKeys backup;
};

// The user's part comes after the machine's, with progress of its own: the current user's rules
// alone, once each.
// A user's pass keeps the machine pass's registry, views, rules and records, but not what the
// machine's searches learnt: that is about the machine's and the current user's keys.
TEST(RegistryPass, AUsersPassKeepsTheRecordsAndSearchesForItself) {
    MemoryRegistry registry;
    RecordingLogger logger;
    NamesOfSavedKeys backup;
    CandidateKnowledge knowledge(RegistryRuleTable());
    const RegistryPass machine = RegistryPass(registry, true, RegistryRuleTable(), &logger, &backup).sharing(knowledge);
    const UserHives hives{kSid, nullptr, nullptr};
    const RegistryPass user = machine.forUser(hives);
    EXPECT_EQ(&knowledge, machine.knowledge());
    EXPECT_EQ(nullptr, machine.user());
    EXPECT_EQ(nullptr, user.knowledge());
    EXPECT_EQ(&hives, user.user());
    EXPECT_EQ(std::make_tuple(&registry, RegistryRuleTable(), static_cast<OperationsLogger*>(&logger),
                              static_cast<RegistryBackup*>(&backup)),
              std::make_tuple(&user.registry(), user.rules(), user.log(), user.backup()));
    EXPECT_EQ((std::vector<REGSAM>{kView64Access, kView32Access}), user.viewAccesses());
    EXPECT_EQ(std::vector<REGSAM>{kDefaultViewAccess}, RegistryPass(registry, false, nullptr).viewAccesses());
}

TEST_F(UserHivesTest, TheCurrentUsersRulesReachAnotherUserInTheirOwnPartWithProgressOncePerRule) {
    CleanRegistry(RegistryPass(registry, false, RegistryRuleTable(), &logger, &backup), &progress);
    ASSERT_EQ(58u, progress.calls.size());
    EXPECT_EQ(std::make_pair(266u, 266u), progress.calls.back());
    CleanUserRegistry(RegistryPass(registry, false, RegistryRuleTable(), &logger, &backup).forUser(users[0]), {},
                      &progress);

    const std::wstring user = std::wstring(L"HKU\\") + kSid;
    EXPECT_EQ((std::vector<std::wstring>{
                  L"HKLM\\SOFTWARE\\Tallowbrisk",
                  L"HKCU\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins\\Tallowbrisk.Addin",
                  user + L"_Classes\\CLSID\\{A}",
                  user + L"\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins\\Tallowbrisk.Addin",
                  user + L"\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Resiliency",
              }),
              logger.targets());
    EXPECT_EQ((std::vector<std::wstring>{
                  L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowbrisk",
                  L"HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins\\Tallowbrisk.Addin",
                  std::wstring(L"HKEY_USERS\\") + kSid + L"_Classes\\CLSID\\{A}",
                  std::wstring(L"HKEY_USERS\\") + kSid +
                      L"\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins\\"
                      L"Tallowbrisk.Addin",
                  std::wstring(L"HKEY_USERS\\") + kSid + L"\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Resiliency",
              }),
              backup.names);
    EXPECT_FALSE(registry.exists(kClasses + L"\\CLSID\\{A}"));
    EXPECT_TRUE(registry.exists(kHive + L"\\SOFTWARE\\Classes\\CLSID\\{A}"));
    EXPECT_TRUE(registry.exists(kHive + kAddins + L"\\Unrelated.Addin"));

    unsigned userRules = 0, userWeights = 0;
    for (const RegistryRule* rule = RegistryRuleTable(); rule->root; ++rule) {
        if (rule->root == HKEY_CURRENT_USER) ++userRules, userWeights += rule->weight;
    }
    ASSERT_EQ(58u + userRules, progress.calls.size());
    EXPECT_EQ(std::make_pair(userWeights, userWeights), progress.calls.back());
}

TEST_F(UserHivesTest, UnderWow64BothViewsOfTheUsersHivesAreSearchedAndMarked) {
    registry.useWindowsViews();
    registry.setProcessView(RegistryView::Bits32);
    registry.createKey(kHive + L"\\SOFTWARE\\Microsoft\\Office\\15.0\\Outlook\\Addins\\Tallowbrisk.Old",
                       RegistryView::Bits32);
    ApplyRuleToUser(RegistryPass(registry, true, nullptr, &logger).forUser(users[0]), RegistryRuleTable()[46]);
    ApplyRuleToUser(RegistryPass(registry, true, nullptr, &logger).forUser(users[0]), RegistryRuleTable()[6]);
    EXPECT_EQ((std::vector<std::wstring>{
                  std::wstring(L"(64) HKU\\") + kSid +
                      L"\\SOFTWARE\\Microsoft\\Office\\15.0\\Outlook\\Addins\\"
                      L"Tallowbrisk.Old",
                  std::wstring(L"(64) HKU\\") + kSid + L"_Classes\\CLSID\\{A}",
              }),
              logger.targets());
}

TEST_F(UserHivesTest, RulesOfTheMachineAndOfTheClassesRootRunOnceAndAUserWithoutHivesIsPassedOver) {
    const UserHives none{L"S-1-5-21-9", nullptr, nullptr};
    for (const RegistryRule* rule = RegistryRuleTable(); rule->root; ++rule) {
        ApplyRuleToUser(RegistryPass(registry, false, nullptr, &logger).forUser(none), *rule);
        if (rule->root != HKEY_CURRENT_USER)
            ApplyRuleToUser(RegistryPass(registry, false, nullptr, &logger).forUser(users[0]), *rule);
    }
    CleanUserRegistry(RegistryPass(registry, false, RegistryRuleTable(), &logger).forUser(none),
                      {L"E4D3C2B106F5817428394A5B6C7D8E9F"}, nullptr);
    EXPECT_TRUE(logger.records.empty());
    EXPECT_EQ(0u, registry.openHandles() - 2);  // the two hives the test holds
}

// Outlook's and VSTO's records in another user's hive go as the current user's do, named where
// they live while that user is logged on, and the values come back into the keys that stay.
TEST_F(UserHivesTest, AnotherUsersOfficeRecordsGoAfterTheCurrentUsers) {
    NamesOfSavedKeysAndValues saved;
    const std::wstring loadTimes = L"\\SOFTWARE\\Microsoft\\Office\\14.0\\Outlook\\AddInLoadTimes";
    const std::wstring vsto = L"\\SOFTWARE\\Microsoft\\VSTO\\";
    const std::wstring guid = L"{0A1B2C3D-4E5F-4061-8283-A4B5C6D7E8F9}";
    for (const std::wstring& root : {std::wstring(L"HKCU"), kHive}) {
        registry.setValue(root + loadTimes, L"Tallowbrisk.Addin", REG_BINARY, {1});
        registry.createKey(root + L"\\SOFTWARE\\Tallowbrisk by Marlpit\\Settings");
    }
    registry.setString(kHive + vsto + L"SolutionMetadata", L"file:///C:/Tallowbrisk/Tallowbrisk.vsto|vstolocal", guid);
    registry.setString(kHive + vsto + L"SolutionMetadata", L"file:///C:/Other/Other.vsto|vstolocal", L"{0}");
    registry.createKey(kHive + vsto + L"SolutionMetadata\\" + guid);
    registry.createKey(kHive + vsto + L"SolutionMetadata\\{0}");
    registry.setString(kHive + vsto + L"Security\\Inclusion\\{1}", L"Url", L"file:///C:/Tallowbrisk/Tallowbrisk.vsto");
    registry.setString(kHive + vsto + L"Security\\Inclusion\\{2}", L"Url", L"file:///C:/Other/Other.vsto");
    CleanRegistry(RegistryPass(registry, false, RegistryRuleTable(), &logger, &saved), nullptr);
    const std::vector<std::wstring> own = logger.targets();
    ASSERT_LE(2u, own.size());
    EXPECT_EQ((std::vector<std::wstring>{L"HKCU\\SOFTWARE\\Tallowbrisk by Marlpit",
                                         L"HKCU" + loadTimes + L"\\\\Tallowbrisk.Addin"}),
              std::vector<std::wstring>(own.end() - 2, own.end()));
    RecordingLogger userLogger;
    CleanUserRegistry(RegistryPass(registry, false, RegistryRuleTable(), &userLogger, &saved).forUser(users[0]), {},
                      nullptr);

    const std::wstring user = std::wstring(L"HKU\\") + kSid;
    const std::vector<std::wstring> targets = userLogger.targets();
    ASSERT_LE(5u, targets.size());
    EXPECT_EQ((std::vector<std::wstring>{
                  user + L"\\SOFTWARE\\Tallowbrisk by Marlpit",
                  user + loadTimes + L"\\\\Tallowbrisk.Addin",
                  user + vsto + L"SolutionMetadata\\\\file:///C:/Tallowbrisk/Tallowbrisk.vsto|vstolocal",
                  user + vsto + L"SolutionMetadata\\" + guid,
                  user + vsto + L"Security\\Inclusion\\{1}",
              }),
              std::vector<std::wstring>(targets.end() - 5, targets.end()));
    EXPECT_EQ(std::wstring(L"HKEY_USERS\\") + kSid + loadTimes + L"|Tallowbrisk.Addin",
              saved.names[saved.names.size() - 4]);
    EXPECT_TRUE(registry.exists(kHive + vsto + L"SolutionMetadata\\{0}"));
    EXPECT_TRUE(registry.exists(kHive + vsto + L"Security\\Inclusion\\{2}"));
    EXPECT_TRUE(registry.exists(kHive + loadTimes));
}

// Another user's install of the add-in, as Windows keeps it: the product, its features and its
// upgrade code below the user's hive, its data below the user's SID in UserData, its entry in the
// user's Programs and Features. Found through the user's hive and data, and removed there as for
// the current user; that user's code reaches no one else's keys.
TEST_F(UserHivesTest, AnotherUsersInstallerRegistrationGoesWithTheirKeys) {
    const std::wstring packed = L"E4D3C2B106F5817428394A5B6C7D8E9F";
    const std::wstring installer = kHive + L"\\SOFTWARE\\Microsoft\\Installer\\";
    const std::wstring data =
        std::wstring(L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\") + kSid;
    const std::wstring entries = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    registry.setString(installer + L"Products\\" + packed, L"ProductName", L"Tallowbrisk for Outlook");
    registry.setString(installer + L"Features\\" + packed, L"Addin", L"");
    registry.setString(installer + L"UpgradeCodes\\19E7A5C3D4B206F4A8C1E9B7D5F3A102", packed, L"");
    registry.setString(data + L"\\Components\\F3E2D1A6C5B4E6D4F8071A2B3C4D5E40", packed, L"01:\\SOFTWARE\\");
    registry.setString(data + L"\\Products\\" + packed + L"\\InstallProperties", L"LocalPackage",
                       L"C:\\windows\\Installer\\ff95.msi");
    // What the installer service wrote for that user's install: it names the code for that
    // user's data and hives.
    registry.setString(data + L"\\Products\\" + packed + L"\\InstallProperties", L"DisplayName",
                       L"Tallowbrisk for Outlook");
    registry.setString(kHive + entries + L"{1B2C3D4E-5F60-4718-8293-A4B5C6D7E8F9}", L"DisplayName", L"Add-in");
    // The same code below the current user's keys, where nothing names it: another user's
    // install chose it, so it stays.
    registry.setString(std::wstring(L"HKCU") + entries + L"{1B2C3D4E-5F60-4718-8293-A4B5C6D7E8F9}", L"DisplayName",
                       L"Add-in");

    const InstalledProducts installed =
        CleanRegistry(RegistryPass(registry, false, RegistryRuleTable(), &logger, &backup), nullptr);
    EXPECT_EQ(std::vector<std::wstring>{L"C:\\windows\\Installer\\ff95.msi"}, installed.localPackages);
    const std::vector<std::wstring> own = logger.targets();
    ASSERT_LE(2u, own.size());
    EXPECT_EQ((std::vector<std::wstring>{
                  data + L"\\Products\\" + packed,
                  data + L"\\Components\\F3E2D1A6C5B4E6D4F8071A2B3C4D5E40",
              }),
              std::vector<std::wstring>(own.end() - 2, own.end()));
    EXPECT_TRUE(registry.exists(std::wstring(L"HKCU") + entries + L"{1B2C3D4E-5F60-4718-8293-A4B5C6D7E8F9}"));

    RecordingLogger userLogger;
    CleanUserRegistry(RegistryPass(registry, false, RegistryRuleTable(), &userLogger, &backup).forUser(users[0]),
                      installed.inHive(kSid), nullptr);
    const std::wstring user = std::wstring(L"HKU\\") + kSid;
    const std::vector<std::wstring> targets = userLogger.targets();
    ASSERT_LE(4u, targets.size());
    EXPECT_EQ((std::vector<std::wstring>{
                  user + L"\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Resiliency",  // the last rule's
                  user + L"\\SOFTWARE\\Microsoft\\Installer\\Features\\" + packed,
                  user + L"\\SOFTWARE\\Microsoft\\Installer\\UpgradeCodes\\19E7A5C3D4B206F4A8C1E9B7D5F3A102",
                  user + entries + L"{1B2C3D4E-5F60-4718-8293-A4B5C6D7E8F9}",
              }),
              std::vector<std::wstring>(targets.end() - 4, targets.end()));
    EXPECT_NE(targets.end(), std::find(targets.begin(), targets.end(),
                                       user + L"\\SOFTWARE\\Microsoft\\Installer\\Products\\" + packed));
    EXPECT_EQ(std::wstring(L"HKEY_USERS\\") + kSid + entries + L"{1B2C3D4E-5F60-4718-8293-A4B5C6D7E8F9}",
              backup.names.back());
}

}  // namespace
