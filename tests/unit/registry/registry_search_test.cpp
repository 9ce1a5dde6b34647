// One rule in one view on the in-memory registry: what each mode collects, how keys are
// deleted, and what is reported.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry_key.h"
#include "registry/delete_key_tree.h"
#include "registry/key_tree_mentions.h"
#include "registry/registry_rules.h"
#include "registry/rule_in_view.h"
#include "test_sinks.h"
#include "tests/unit/support/registry_memory.h"
#include "tests/unit/support/small_stack.h"

namespace {

const wchar_t kAddins[] = L"SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins";
const std::wstring kAddinsKey = std::wstring(L"HKCU\\") + kAddins;
const std::wstring kLoggedAddins = L"HKCU\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins";

std::vector<BYTE> Utf16(const std::wstring& text, bool terminated = true) {
    const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(p, p + (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
}

class RegistrySearch : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(0u, registry.openHandles()) << "a key was left open"; }

    void apply(const wchar_t* path, int mode, HKEY root = HKEY_CURRENT_USER, const wchar_t* pattern = L"Tallowbrisk") {
        ApplyRuleInView(RegistryPass(registry, false, nullptr, &logger), {root, path, pattern, mode, 0},
                        KEY_ALL_ACCESS);
    }
    Record success(const std::wstring& target) { return Record{L"remove registry key: ", target, 1}; }
    Record fail(const std::wstring& target) { return Record{L"remove registry key: ", target, 0}; }
    Record passedOver(const std::wstring& target) {
        return Record{L"remove registry key: ", LoggedLinkPath(target), kPassedOver};
    }

    MemoryRegistry registry;
    RecordingLogger logger;
};

TEST_F(RegistrySearch, NameOrContentCollectsBothKindsOfSubkey) {
    registry.createKey(kAddinsKey + L"\\Tallowbrisk.Addin\\Settings");
    registry.setString(kAddinsKey + L"\\Other.Addin", L"Manifest", L"file:///C:/Program Files/Tallowbrisk/a.vsto");
    registry.setString(kAddinsKey + L"\\Third.Addin", L"Manifest", L"file:///C:/Program Files/Else/a.vsto");

    apply(kAddins, MatchNameOrContent);

    EXPECT_EQ((std::vector<Record>{success(kLoggedAddins + L"\\Other.Addin"),
                                   success(kLoggedAddins + L"\\Tallowbrisk.Addin")}),
              logger.records);
    EXPECT_FALSE(registry.exists(kAddinsKey + L"\\Tallowbrisk.Addin"));
    EXPECT_FALSE(registry.exists(kAddinsKey + L"\\Other.Addin"));
    EXPECT_TRUE(registry.exists(kAddinsKey + L"\\Third.Addin"));
}

TEST_F(RegistrySearch, NameModePassesOverContent) {
    registry.createKey(kAddinsKey + L"\\Tallowbrisk.Addin");
    registry.setString(kAddinsKey + L"\\Other.Addin", L"Manifest", L"Tallowbrisk");

    apply(kAddins, MatchName);

    EXPECT_EQ(std::vector<Record>{success(kLoggedAddins + L"\\Tallowbrisk.Addin")}, logger.records);
    EXPECT_TRUE(registry.exists(kAddinsKey + L"\\Other.Addin"));
}

TEST_F(RegistrySearch, ExaminesOnlyNamesAndRegSzTextWithinTheLimits) {
    auto candidate = [&](const std::wstring& name) { return kAddinsKey + L"\\" + name; };
    // Mentions that count.
    registry.setString(candidate(L"Default"), L"", L"x Tallowbrisk x");
    registry.setString(candidate(L"ValueName"), L"Tallowbrisk.dll", L"");
    registry.createKey(candidate(L"Deep\\One\\Two\\Tallowbrisk"));
    registry.setValue(candidate(L"LongestName"), std::wstring(4084, L'n') + L"Tallowbrisk", REG_DWORD, {1, 0, 0, 0});
    registry.setValue(candidate(L"LongestText"), L"Text", REG_SZ, Utf16(std::wstring(2036, L't') + L"Tallowbrisk"));
    registry.setValue(candidate(L"Unterminated"), L"Text", REG_SZ,
                      Utf16(std::wstring(2037, L't') + L"Tallowbrisk", false));
    // Mentions that do not.
    registry.setString(candidate(L"Expand"), L"Path", L"%ProgramFiles%\\Tallowbrisk", REG_EXPAND_SZ);
    registry.setValue(candidate(L"Multi"), L"List", REG_MULTI_SZ, Utf16(std::wstring(L"a\0Tallowbrisk\0", 14)));
    registry.setValue(candidate(L"Binary"), L"Blob", REG_BINARY, Utf16(L"Tallowbrisk"));
    registry.setValue(candidate(L"TooLongName"), std::wstring(4085, L'n') + L"Tallowbrisk", REG_DWORD, {1, 0, 0, 0});
    registry.setValue(candidate(L"TooLongText"), L"Text", REG_SZ, Utf16(std::wstring(2037, L't') + L"Tallowbrisk"));
    registry.setString(candidate(L"AfterTerminator"), L"Text", std::wstring(L"abc\0Tallowbrisk", 15));
    registry.setString(candidate(L"Capitals"), L"Text", L"TALLOWBRISK");
    registry.setString(candidate(L"Lower"), L"Text", L"tallowbrisk");
    registry.createKey(candidate(L"TALLOWBRISK.Addin"));
    registry.createKey(candidate(L"tallowbrisk.other"));

    apply(kAddins, MatchNameOrContent);

    EXPECT_EQ((std::vector<std::wstring>{kLoggedAddins + L"\\Deep", kLoggedAddins + L"\\Default",
                                         kLoggedAddins + L"\\LongestName", kLoggedAddins + L"\\LongestText",
                                         kLoggedAddins + L"\\Unterminated", kLoggedAddins + L"\\ValueName"}),
              logger.targets());
    for (const wchar_t* kept : {L"Expand", L"Multi", L"Binary", L"TooLongName", L"TooLongText", L"AfterTerminator",
                                L"Capitals", L"Lower", L"TALLOWBRISK.Addin", L"tallowbrisk.other"}) {
        EXPECT_TRUE(registry.exists(candidate(kept))) << kept;
    }
    EXPECT_FALSE(registry.exists(candidate(L"Deep"))) << "a match three levels down takes the whole candidate";
}

TEST_F(RegistrySearch, NeitherCapitalisationMatchesTheOther) {
    registry.createKey(kAddinsKey + L"\\TallowBrisk.Addin");
    apply(kAddins, MatchNameOrContent);
    EXPECT_TRUE(logger.records.empty());
    apply(kAddins, MatchNameOrContent, HKEY_CURRENT_USER, L"TallowBrisk");
    EXPECT_EQ(std::vector<Record>{success(kLoggedAddins + L"\\TallowBrisk.Addin")}, logger.records);
}

TEST_F(RegistrySearch, RemoveKeyDeletesTheRuleKeyLeavesFirstAndReportsOnce) {
    registry.createKey(L"HKLM\\SOFTWARE\\Tallowbrisk\\Addin\\Settings");
    registry.createKey(L"HKLM\\SOFTWARE\\Tallowbrisk\\Updates");
    registry.createKey(L"HKLM\\SOFTWARE\\Other");

    apply(L"SOFTWARE\\Tallowbrisk", RemoveKey, HKEY_LOCAL_MACHINE);

    EXPECT_EQ(std::vector<Record>{success(L"HKLM\\SOFTWARE\\Tallowbrisk")}, logger.records);
    EXPECT_FALSE(registry.exists(L"HKLM\\SOFTWARE\\Tallowbrisk"));
    EXPECT_TRUE(registry.exists(L"HKLM\\SOFTWARE\\Other"));
    std::vector<std::wstring> deletes;
    for (const auto& call : registry.calls()) {
        if (call.operation == MemoryRegistry::Operation::Delete) deletes.push_back(call.path);
    }
    ASSERT_FALSE(deletes.empty());
    EXPECT_EQ(L"HKLM\\SOFTWARE\\Tallowbrisk", deletes.back());
    EXPECT_EQ(L"HKLM\\SOFTWARE\\Tallowbrisk", deletes.front()) << "a key without subkeys would go in one step";

    logger.records.clear();
    apply(L"SOFTWARE\\Tallowbrisk", RemoveKey, HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(logger.records.empty()) << "a missing key is not reported";
}

// Its backup is written before the deletion fails, so the attempt is counted and logged: the
// closing message then names the log beside which the backup lies.
TEST_F(RegistrySearch, RemoveKeyThatFailsIsReportedAsFailed) {
    registry.createKey(L"HKLM\\SOFTWARE\\Tallowbrisk\\Loose");
    registry.createKey(L"HKLM\\SOFTWARE\\Tallowbrisk\\Locked");
    registry.failDelete(L"HKLM\\SOFTWARE\\Tallowbrisk\\Locked", ERROR_ACCESS_DENIED);
    apply(L"SOFTWARE\\Tallowbrisk", RemoveKey, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(std::vector<Record>{fail(L"HKLM\\SOFTWARE\\Tallowbrisk")}, logger.records);
    EXPECT_TRUE(registry.exists(L"HKLM\\SOFTWARE\\Tallowbrisk\\Locked"));
}

TEST_F(RegistrySearch, EmptyPathScansTheTopOfClassesRoot) {
    registry.createKey(L"HKCR\\Tallowbrisk.Connect\\CLSID");
    registry.createKey(L"HKCR\\TallowBrisk.Other");
    registry.createKey(L"HKCR\\.txt");

    apply(L"", MatchName, HKEY_CLASSES_ROOT);

    EXPECT_EQ(std::vector<Record>{success(L"HKCR\\Tallowbrisk.Connect")}, logger.records);
    EXPECT_TRUE(registry.exists(L"HKCR\\TallowBrisk.Other"));
    EXPECT_TRUE(registry.exists(L"HKCR\\.txt"));
}

TEST_F(RegistrySearch, UndeletableChildFailsItsCandidateOnly) {
    const std::wstring first = kAddinsKey + L"\\Tallowbrisk.A";
    registry.createKey(first + L"\\a");
    registry.createKey(first + L"\\b\\inner");
    registry.createKey(first + L"\\c");
    registry.failDelete(first + L"\\b", ERROR_ACCESS_DENIED);
    registry.createKey(kAddinsKey + L"\\Tallowbrisk.B\\x");

    apply(kAddins, MatchNameOrContent);

    EXPECT_EQ(
        (std::vector<Record>{fail(kLoggedAddins + L"\\Tallowbrisk.A"), success(kLoggedAddins + L"\\Tallowbrisk.B")}),
        logger.records);
    EXPECT_FALSE(registry.exists(first + L"\\a")) << "siblings before the undeletable child are gone";
    EXPECT_FALSE(registry.exists(first + L"\\b\\inner"));
    EXPECT_TRUE(registry.exists(first + L"\\b"));
    EXPECT_TRUE(registry.exists(first + L"\\c"));
}

TEST_F(RegistrySearch, KeyThatCannotBeOpenedForDeletionSaysSo) {
    const std::wstring locked = kAddinsKey + L"\\Tallowbrisk.Locked";
    registry.createKey(locked + L"\\child");
    registry.failOpen(locked, ERROR_ACCESS_DENIED, DELETE);

    StdoutCapture out;
    apply(kAddins, MatchNameOrContent);
    EXPECT_EQ("Error opening key.\n", out.text());
    EXPECT_EQ(std::vector<Record>{fail(kLoggedAddins + L"\\Tallowbrisk.Locked")}, logger.records);
}

TEST_F(RegistrySearch, ReadFailuresSkipOnlyWhatCouldNotBeRead) {
    registry.createKey(kAddinsKey + L"\\Tallowbrisk.Unlisted");
    registry.createKey(kAddinsKey + L"\\Tallowbrisk.Listed");
    registry.failEnumKey(kAddinsKey, ERROR_INVALID_PARAMETER, 4);  // Tallowbrisk.Unlisted, in name order
    // Content behind an unreadable key or value is not found; the rest of the subtree is.
    registry.setString(kAddinsKey + L"\\Blocked\\Inner", L"Text", L"Tallowbrisk");
    registry.failOpen(kAddinsKey + L"\\Blocked\\Inner", ERROR_ACCESS_DENIED);
    registry.setString(kAddinsKey + L"\\Unreadable", L"Text", L"Tallowbrisk");
    registry.failEnumValue(kAddinsKey + L"\\Unreadable", ERROR_INVALID_PARAMETER);
    registry.createKey(kAddinsKey + L"\\Probed\\Tallowbrisk");
    registry.failOpen(kAddinsKey + L"\\Probed", ERROR_ACCESS_DENIED);
    registry.setString(kAddinsKey + L"\\Partly\\Open", L"Text", L"Tallowbrisk");
    registry.createKey(kAddinsKey + L"\\Partly\\Shut");
    registry.failOpen(kAddinsKey + L"\\Partly\\Shut", ERROR_ACCESS_DENIED);

    apply(kAddins, MatchNameOrContent);

    // A candidate with a key that refused to be opened may name the product there: it stays,
    // and its line says fail. One whose match was found elsewhere goes.
    EXPECT_EQ(
        (std::vector<Record>{fail(kLoggedAddins + L"\\Blocked"), success(kLoggedAddins + L"\\Partly"),
                             fail(kLoggedAddins + L"\\Probed"), success(kLoggedAddins + L"\\Tallowbrisk.Listed")}),
        logger.records);
    EXPECT_TRUE(registry.exists(kAddinsKey + L"\\Tallowbrisk.Unlisted"));
    EXPECT_TRUE(registry.exists(kAddinsKey + L"\\Blocked\\Inner"));

    logger.records.clear();
    registry.failQueryInfo(kAddinsKey, ERROR_ACCESS_DENIED);
    apply(kAddins, MatchNameOrContent);
    EXPECT_EQ(std::vector<Record>{fail(kLoggedAddins)}, logger.records);
}

// Only a key that is not there is passed over in silence; any other error opening the rule key,
// its first component or a candidate is a failure, with its line, and nothing below it is touched.
TEST_F(RegistrySearch, OpenErrorsOtherThanNotFoundAreFailures) {
    const std::wstring addin = kAddinsKey + L"\\Other.Addin";
    const struct {
        std::wstring key;
        LSTATUS error;
        const wchar_t* path;
        int mode;
        std::vector<Record> records;
    } cases[] = {
        {kAddinsKey, ERROR_FILE_NOT_FOUND, kAddins, MatchNameOrContent, {}},
        {kAddinsKey, ERROR_PATH_NOT_FOUND, kAddins, MatchNameOrContent, {}},
        {kAddinsKey, ERROR_ACCESS_DENIED, kAddins, MatchNameOrContent, {fail(kLoggedAddins)}},
        {kAddinsKey, ERROR_NOT_ENOUGH_MEMORY, kAddins, MatchNameOrContent, {fail(kLoggedAddins)}},
        {L"HKCU\\SOFTWARE", ERROR_ACCESS_DENIED, kAddins, MatchNameOrContent, {fail(kLoggedAddins)}},
        {L"HKCU\\SOFTWARE", ERROR_FILE_NOT_FOUND, kAddins, MatchNameOrContent, {}},
        {addin, ERROR_FILE_NOT_FOUND, kAddins, MatchNameOrContent, {}},
        {addin, ERROR_ACCESS_DENIED, kAddins, MatchNameOrContent, {fail(kLoggedAddins + L"\\Other.Addin")}},
        {addin, ERROR_ACCESS_DENIED, kAddins, MatchName, {}},  // a name scan opens no candidate
        {addin,
         ERROR_ACCESS_DENIED,
         L"SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins\\Other.Addin",
         RemoveKey,
         {fail(kLoggedAddins + L"\\Other.Addin")}},
    };
    for (const auto& c : cases) {
        MemoryRegistry machine;
        machine.setString(addin + L"\\Inner", L"Manifest", L"C:\\Tallowbrisk\\a.vsto");
        machine.failOpen(c.key, c.error);
        RecordingLogger seen;
        ApplyRuleInView(RegistryPass(machine, false, nullptr, &seen),
                        {HKEY_CURRENT_USER, c.path, L"Tallowbrisk", c.mode, 0}, KEY_READ);
        EXPECT_EQ(c.records, seen.records) << c.error << " on " << std::string(c.key.begin(), c.key.end());
        EXPECT_TRUE(machine.exists(addin + L"\\Inner"));
        EXPECT_EQ(0u, machine.openHandles());
    }
}

// A link is never followed: one named like the add-in, one whose target names it, one inside a
// key that names it, and a loop of them. Each that the rule would remove stays, with a line that
// names it as a link and says passed over, and so does every key on the way to it; what they
// lead to is neither read nor touched. Every key below the rule key is opened as it is.
TEST_F(RegistrySearch, LinksStayWithALineAndWhatTheyLeadToIsUntouched) {
    const std::wstring victim = L"HKCU\\SOFTWARE\\Policies\\Victim";
    registry.setString(victim, L"Tallowbrisk", L"the administrator's");
    registry.createKey(victim + L"\\Inner");
    registry.createLink(kAddinsKey + L"\\Tallowbrisk.Addin", victim);
    registry.createLink(kAddinsKey + L"\\Other.Addin", victim);
    registry.setString(kAddinsKey + L"\\Holder.Addin", L"Manifest", L"C:\\Tallowbrisk\\a.vsto");
    registry.createLink(kAddinsKey + L"\\Holder.Addin\\Settings\\Policy", victim);
    registry.setString(kAddinsKey + L"\\Loop", L"", L"Tallowbrisk");
    for (const wchar_t* name : {L"a", L"b", L"c"}) {
        registry.createLink(kAddinsKey + L"\\Loop\\" + name, kAddinsKey + L"\\Loop");
    }
    const std::vector<std::wstring> before = registry.allKeys();

    apply(kAddins, MatchNameOrContent);

    EXPECT_EQ((std::vector<Record>{passedOver(kLoggedAddins + L"\\Holder.Addin\\Settings\\Policy"),
                                   passedOver(kLoggedAddins + L"\\Loop\\a"), passedOver(kLoggedAddins + L"\\Loop\\b"),
                                   passedOver(kLoggedAddins + L"\\Loop\\c"),
                                   passedOver(kLoggedAddins + L"\\Tallowbrisk.Addin")}),
              logger.records);
    EXPECT_EQ(before, registry.allKeys()) << "nothing removed, no link either";
    EXPECT_TRUE(registry.hasValue(victim, L"Tallowbrisk"));
    EXPECT_TRUE(registry.isLink(kAddinsKey + L"\\Tallowbrisk.Addin"));
    EXPECT_LT(registry.calls().size(), 100u) << "the loop was walked";
    for (const auto& call : registry.calls()) {
        if (call.operation == MemoryRegistry::Operation::Open && call.path.rfind(kAddinsKey, 0) == 0) {
            EXPECT_EQ(static_cast<DWORD>(REG_OPTION_OPEN_LINK), call.options)
                << std::string(call.path.begin(), call.path.end());
        }
    }
}

// A rule key that is a link of a user's is passed over, with its line: nothing below it is
// searched, and a rule that removes the key removes neither the link nor its target. One in the
// machine's hive is the system's own (as Wine makes the keys both views share), and is followed.
TEST_F(RegistrySearch, ARuleKeyThatIsAUsersLinkIsPassedOverAndTheMachinesIsFollowed) {
    const std::wstring resiliency = L"SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Resiliency";
    const std::wstring victim = L"HKCU\\SOFTWARE\\Policies\\Victim";
    const std::wstring shared = L"HKLM\\SOFTWARE\\Classes\\Shared";
    const struct {
        HKEY root;
        std::wstring path;
        std::wstring target;
        int mode;
        std::vector<Record> records;
    } cases[] = {
        {HKEY_CURRENT_USER, kAddins, victim, MatchNameOrContent, {passedOver(L"HKCU\\" + std::wstring(kAddins))}},
        {HKEY_CURRENT_USER, resiliency, victim, RemoveKey, {passedOver(L"HKCU\\" + resiliency)}},
        {HKEY_LOCAL_MACHINE,
         L"SOFTWARE\\Classes\\CLSID",
         shared,
         MatchNameOrContent,
         {success(L"HKLM\\SOFTWARE\\Classes\\CLSID\\Tallowbrisk.Addin")}},
    };
    for (const auto& c : cases) {
        MemoryRegistry machine;
        machine.setString(c.target + L"\\Tallowbrisk.Addin", L"Manifest", L"C:\\Tallowbrisk\\a.vsto");
        const std::wstring ruleKey = (c.root == HKEY_LOCAL_MACHINE ? L"HKLM\\" : L"HKCU\\") + c.path;
        machine.createLink(ruleKey, c.target);
        RecordingLogger seen;
        ApplyRuleInView(RegistryPass(machine, false, nullptr, &seen),
                        {c.root, c.path.c_str(), L"Tallowbrisk", c.mode, 0}, KEY_READ);
        EXPECT_EQ(c.records, seen.records);
        EXPECT_EQ(c.root == HKEY_CURRENT_USER, machine.exists(c.target + L"\\Tallowbrisk.Addin"));
        EXPECT_TRUE(machine.isLink(ruleKey));
        EXPECT_EQ(0u, machine.openHandles());
    }
}

// A key whose subtree holds a name that the backup file cannot carry back (a line break, a NUL)
// is not removed, whatever else it holds, and its line says fail.
TEST_F(RegistrySearch, NamesTheBackupCannotCarryKeepTheirKeyAndFail) {
    registry.createKey(kAddinsKey + L"\\Tallowbrisk.A\\line\r\nbreak");
    registry.setString(kAddinsKey + L"\\Tallowbrisk.B", L"value\nname", L"x");
    registry.setString(kAddinsKey + L"\\Tallowbrisk.C", std::wstring(L"with\0NUL", 8), L"x");
    registry.createKey(kAddinsKey + L"\\Tallowbrisk.D\\Plain");
    const std::wstring forged = L"Tallowbrisk.E\r\nLOG Remove:: remove file:  : C: : success";
    registry.createKey(kAddinsKey + L"\\" + forged);

    apply(kAddins, MatchName);

    EXPECT_EQ((std::vector<Record>{fail(kLoggedAddins + L"\\Tallowbrisk.A"), fail(kLoggedAddins + L"\\Tallowbrisk.B"),
                                   fail(kLoggedAddins + L"\\Tallowbrisk.C"),
                                   success(kLoggedAddins + L"\\Tallowbrisk.D"), fail(kLoggedAddins + L"\\" + forged)}),
              logger.records);
    for (const wchar_t* kept : {L"\\Tallowbrisk.A\\line\r\nbreak", L"\\Tallowbrisk.B", L"\\Tallowbrisk.C"}) {
        EXPECT_TRUE(registry.exists(kAddinsKey + kept));
    }
    EXPECT_TRUE(registry.exists(kAddinsKey + L"\\" + forged));
}

TEST(DeleteKeyTree, KeyAlreadyGoneCountsAsDeleted) {
    MemoryRegistry registry;
    registry.createKey(L"HKCU\\SOFTWARE");
    EXPECT_TRUE(DeleteKeyTree(registry, HKEY_CURRENT_USER, L"SOFTWARE\\Missing", KEY_ALL_ACCESS));
    EXPECT_EQ(0u, registry.openHandles());
}

TEST(DeleteKeyTree, NeverNamesAnotherKey) {
    MemoryRegistry registry;
    registry.createKey(L"HKCU\\SOFTWARE\\Parent\\Child");
    EXPECT_FALSE(DeleteKeyTree(registry, HKEY_CURRENT_USER, L"", KEY_ALL_ACCESS)) << "the empty path is the parent";

    // A path longer than the registry takes is refused, never cut short. Below the key it names,
    // each key is named by its own name below its parent's handle: a chain whose whole path is
    // that long goes whole, and every call names a key of the chain.
    std::wstring path = L"HKCU\\SOFTWARE\\Long";
    for (int level = 0; level < 140; ++level) {
        path += L"\\" + std::wstring(250, static_cast<wchar_t>(L'a' + level % 26));
    }
    registry.createKey(path);
    unique_registry_key software;
    ASSERT_EQ(ERROR_SUCCESS, OpenRegistryKey(registry, HKEY_CURRENT_USER, L"SOFTWARE", KEY_ALL_ACCESS, software));
    EXPECT_FALSE(DeleteKeyTree(registry, software.get().key, path.substr(14), KEY_ALL_ACCESS));
    EXPECT_TRUE(registry.exists(path));
    EXPECT_TRUE(DeleteKeyTree(registry, software.get().key, L"Long", KEY_ALL_ACCESS));
    EXPECT_FALSE(registry.exists(L"HKCU\\SOFTWARE\\Long"));
    for (const auto& call : registry.calls()) {
        EXPECT_EQ(0u, path.rfind(call.path, 0)) << call.path.size();
    }
}

TEST(DeleteKeyTree, ChildThatVanishesFromUnderItsNameEndsTheWork) {
    // The child is listed, but opening it finds nothing, as with a dangling link: deleting it
    // "succeeds" without removing it, and index 0 would show it again forever.
    MemoryRegistry registry;
    registry.createKey(L"HKCU\\SOFTWARE\\Parent\\Ghost\\Inner");
    registry.failOpen(L"HKCU\\SOFTWARE\\Parent\\Ghost", ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteKeyTree(registry, HKEY_CURRENT_USER, L"SOFTWARE\\Parent", KEY_ALL_ACCESS));
    EXPECT_TRUE(registry.exists(L"HKCU\\SOFTWARE\\Parent\\Ghost\\Inner"));
    EXPECT_EQ(0u, registry.openHandles());
}

// A chain as deep as the registry allows, with the only mention at its bottom, is searched
// and deleted on a stack far smaller than the main thread's.
DWORD WINAPI SearchDeepChain(void* context) {
    auto& registry = *static_cast<MemoryRegistry*>(context);
    RecordingLogger logger;
    ApplyRuleInView(RegistryPass(registry, false, nullptr, &logger),
                    {HKEY_CURRENT_USER, kAddins, L"Tallowbrisk", MatchNameOrContent, 0}, KEY_ALL_ACCESS);
    return logger.records.size() == 1 && logger.records[0].succeeded ? 1 : 0;
}

TEST(DeepKeys, ChainOf512LevelsIsSearchedAndDeletedOnASmallStack) {
    MemoryRegistry registry;
    std::wstring path = kAddinsKey + L"\\Deep";
    for (int level = 0; level < 512; ++level) {
        path += L"\\k";
    }
    registry.setString(path, L"Path", L"C:\\Tallowbrisk");

    EXPECT_EQ(RunOnSmallStack(
                  256 * 1024, [&] { return SearchDeepChain(&registry); }, 60000),
              std::optional<DWORD>(1));
    EXPECT_FALSE(registry.exists(kAddinsKey + L"\\Deep"));
    EXPECT_EQ(0u, registry.openHandles());
}

}  // namespace
