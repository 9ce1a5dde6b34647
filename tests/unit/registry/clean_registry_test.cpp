// The rule table and the walk over it: order, weights, progress and the sinks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "app/registry_steps.h"
#include "registry/preview_registry.h"
#include "registry/remove_value.h"
#include "registry/rule_in_view.h"
#include "test_sinks.h"
#include "tests/unit/support/registry_memory.h"

namespace {

std::vector<const RegistryRule*> Rules() {
    std::vector<const RegistryRule*> rules;
    for (const RegistryRule* rule = RegistryRuleTable(); rule->root; ++rule) rules.push_back(rule);
    return rules;
}

TEST(RegistryRuleTable, HoldsTheRulesInOrderWithTheirWeights) {
    auto rules = Rules();
    ASSERT_EQ(58u, rules.size());
    int total = 0;
    std::vector<int> weightTen;
    for (size_t i = 0; i < rules.size(); ++i) {
        const RegistryRule& rule = *rules[i];
        total += rule.weight;
        if (rule.weight == 10) weightTen.push_back(i + 1);
        EXPECT_NE(L'\0', rule.pattern[0]) << "rule " << i + 1;
        EXPECT_TRUE(rule.path[0] != L'\\' && (!rule.path[0] || rule.path[std::wcslen(rule.path) - 1] != L'\\'));
        if (rule.mode == RemoveKey) {
            EXPECT_NE(nullptr, std::wcschr(rule.path, L'\\')) << "rule " << i + 1;
        }
        const bool otherCapitalisation = (i + 1 >= 15 && i + 1 <= 23) || i + 1 == 1;
        EXPECT_STREQ(otherCapitalisation ? L"TallowBrisk" : L"Tallowbrisk", rule.pattern) << "rule " << i + 1;
    }
    EXPECT_EQ(266, total);
    EXPECT_EQ((std::vector<int>{7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 18, 19, 20, 21, 22, 26, 27, 28, 29, 34, 35}),
              weightTen);
    EXPECT_EQ(20, rules[22]->weight);
    EXPECT_EQ(HKEY_CLASSES_ROOT, rules[22]->root);
    EXPECT_STREQ(L"CLSID", rules[22]->path);

    EXPECT_EQ(HKEY_CLASSES_ROOT, rules[1]->root);
    EXPECT_STREQ(L"", rules[1]->path);
    EXPECT_EQ(MatchName, rules[1]->mode);
    EXPECT_STREQ(L"SOFTWARE\\Tallowbrisk", rules[2]->path);
    EXPECT_STREQ(L"SOFTWARE\\Wow6432Node\\Tallowbrisk by Marlpit", rules[5]->path);
    EXPECT_STREQ(L"BidonSoft\\BidonClasses\\BidonCLSID", rules[14]->path);
    EXPECT_STREQ(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products",
                 rules[34]->path);
    EXPECT_STREQ(L"SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins", rules[49]->path);
    for (int i : {53, 54, 55, 56, 57}) EXPECT_EQ(RemoveKey, rules[i]->mode);
    EXPECT_STREQ(L"SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Resiliency", rules[56]->path);
}

TEST(CleanRegistry, ReportsProgressRuleByRuleByWeight) {
    MemoryRegistry registry;
    RecordingProgress progress;
    RecordingLogger logger;
    CleanRegistry(RegistryPass(registry, false, RegistryRuleTable(), &logger), &progress);

    ASSERT_EQ(58u, progress.calls.size());
    EXPECT_EQ(std::make_pair(1u, 266u), progress.calls.front());
    EXPECT_EQ(std::make_pair(266u, 266u), progress.calls.back());
    EXPECT_EQ(20u, progress.calls[22].first - progress.calls[21].first) << "the step after rule 23";
    EXPECT_TRUE(logger.records.empty()) << "a machine without the product's keys";
    EXPECT_EQ(0u, registry.openHandles());

    RecordingProgress none;
    const RegistryRule empty[] = {{nullptr, nullptr, nullptr, 0, 0}};
    CleanRegistry(RegistryPass(registry, false, empty, &logger), &none);
    EXPECT_TRUE(none.calls.empty());
}

TEST(CleanRegistry, AppliesEveryRuleInTableOrder) {
    MemoryRegistry registry;
    registry.useWindowsViews();
    registry.setProcessView(RegistryView::Bits32);
    registry.createKey(L"HKCU\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Resiliency\\DisabledItems");
    registry.createKey(L"HKCR\\Tallowbrisk.Connect");
    registry.createKey(L"HKCU\\SOFTWARE\\Microsoft\\Office\\12.0\\Outlook\\Addins\\Tallowbrisk.Addin");
    registry.setString(L"HKCR\\CLSID\\{A}\\InprocServer32", L"", L"C:\\TallowBrisk\\old.dll");
    registry.createKey(L"HKLM\\SOFTWARE\\Tallowbrisk by Marlpit", RegistryView::Bits32);

    RecordingLogger logger;
    CleanRegistry(RegistryPass(registry, true, RegistryRuleTable(), &logger), nullptr);

    EXPECT_EQ((std::vector<std::wstring>{
                  L"(64) HKCR\\Tallowbrisk.Connect",
                  L"(64) HKLM\\SOFTWARE\\Tallowbrisk by Marlpit",
                  L"(64) HKCR\\CLSID\\{A}",
                  L"(64) HKCU\\SOFTWARE\\Microsoft\\Office\\12.0\\Outlook\\Addins\\Tallowbrisk.Addin",
                  L"(64) HKCU\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Resiliency",
              }),
              logger.targets());

    // Without a logger the same keys go, silently.
    MemoryRegistry again;
    again.createKey(L"HKCR\\Tallowbrisk.Connect");
    CleanRegistry(RegistryPass(again, false, RegistryRuleTable()), nullptr);
    EXPECT_FALSE(again.exists(L"HKCR\\Tallowbrisk.Connect"));
    EXPECT_EQ(0u, registry.openHandles());
}

// Outlook's lists of add-ins hold values, not keys: each value of the add-in's goes alone,
// and the list with the other add-ins' values stays.
const std::wstring kOffice = L"HKCU\\SOFTWARE\\Microsoft\\Office\\";
const std::wstring kResiliency15 = kOffice + L"15.0\\Outlook\\Resiliency\\";

std::vector<BYTE> Utf16(const std::wstring& text, size_t extraBytes = 0) {
    std::vector<BYTE> bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    bytes.insert(bytes.end(), extraBytes, 0x7F);
    return bytes;
}

// What Outlook's disabled-items list holds: a type, a length and the add-in's path, in lower case.
std::vector<BYTE> DisabledItem(const std::wstring& path) {
    std::vector<BYTE> item = {1, 0, 0, 0, static_cast<BYTE>((path.size() + 1) * 2), 0, 0, 0};
    const std::vector<BYTE> text = Utf16(path + L'\0');
    item.insert(item.end(), text.begin(), text.end());
    return item;
}

struct ValueCase {
    std::wstring key;
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
    bool removed;
};

TEST(OfficeRecords, EachValueOfTheAddinInOutlooksListsGoesAloneByNameOrByTheTextOfItsBinaryData) {
    const std::wstring loadTimes = kOffice + L"16.0\\Outlook\\AddInLoadTimes";
    const std::wstring disabled = kResiliency15 + L"DisabledItems";
    const std::wstring path = L"c:\\program files\\tallowbrisk\\tallowbrisk.vsto|vstolocal";
    std::vector<BYTE> misaligned = {0};
    for (BYTE b : Utf16(L"Tallowbrisk")) misaligned.push_back(b);
    const std::vector<ValueCase> cases = {
        {loadTimes, L"Tallowbrisk.Addin", REG_BINARY, {1, 2, 3, 4}, true},
        {loadTimes, L"Other.Addin", REG_BINARY, Utf16(L"Tallowbrisk"), false},  // data of a named list is not read
        {kOffice + L"14.0\\Outlook\\AddInLoadTimes", L"TALLOWBRISK.Addin", REG_BINARY, {1}, false},  // case for case
        {loadTimes, L"", REG_SZ, Utf16(L"Tallowbrisk", 2), false},
        {kOffice + L"12.0\\Common\\CustomUIValidationCache", L"Tallowbrisk.Addin", REG_DWORD, {1, 0, 0, 0}, true},
        {kOffice + L"17.0\\Outlook\\AddInLoadTimes", std::wstring(4084, L'n') + L"Tallowbrisk", REG_BINARY, {}, true},
        // the longest name read, and one longer
        {kOffice + L"17.0\\Outlook\\AddInLoadTimes", std::wstring(4085, L'n') + L"Tallowbrisk", REG_BINARY, {}, false},
        {kResiliency15 + L"DoNotDisableAddinList", L"Tallowbrisk.Addin", REG_DWORD, {1, 0, 0, 0}, true},
        {kResiliency15 + L"NotificationReminderAddinData", L"Tallowbrisk.Addin\\dtype", REG_DWORD, {2, 0, 0, 0}, true},
        {kResiliency15 + L"NotificationReminderAddinData", L"Other.Addin\\dtype", REG_DWORD, {2, 0, 0, 0}, false},
        {disabled, L"5A1", REG_BINARY, DisabledItem(path), true},
        {disabled, L"5A2", REG_BINARY, DisabledItem(L"C:\\PROGRAM FILES\\TALLOWBRISK\\ADDIN.DLL"), true},
        {disabled, L"5A3", REG_BINARY, Utf16(L"c:\\tallowbrisk.dll", 1), true},  // odd length: the last byte is no unit
        {disabled, L"5A4", REG_BINARY, Utf16(L"c:\\tallowbri"), false},          // cut before the name ends
        {disabled, L"5A5", REG_BINARY, misaligned, false},                       // the text across two units
        {disabled, L"5A6", REG_BINARY, DisabledItem(L"c:\\other\\other.vsto"), false},
        {disabled, L"5A7", REG_SZ, Utf16(path + L'\0'), false},  // only binary records are read
        {disabled, L"5A8", REG_BINARY, DisabledItem(std::wstring(2040, L'p') + L"tallowbrisk"), false},  // > 4096 bytes
        {disabled, L"5A9", REG_BINARY, {}, false},
        {kResiliency15 + L"CrashingAddinList", L"6B1", REG_BINARY, DisabledItem(path), true},
        {kOffice + L"15.0\\Outlook\\Resiliency", L"Tallowbrisk.Addin", REG_DWORD, {1, 0, 0, 0}, false},
        {L"HKCU\\SOFTWARE\\Policies\\Microsoft\\Office\\16.0\\Outlook\\Resiliency\\AddinList", L"Tallowbrisk.Addin",
         REG_SZ, Utf16(L"1", 2), false},
    };
    MemoryRegistry registry;
    for (const ValueCase& c : cases) registry.setValue(c.key, c.name, c.type, c.data);
    RecordingLogger logger;
    CleanRegistry(RegistryPass(registry, false, RegistryRuleTable(), &logger), nullptr);

    std::vector<std::wstring> expected;
    for (const ValueCase& c : cases) {
        EXPECT_NE(c.removed, registry.hasValue(c.key, c.name)) << c.key.substr(0, 80) << " " << c.name.substr(0, 40);
        if (c.removed) expected.push_back(LoggedValuePath(c.key, c.name));
    }
    std::vector<std::wstring> logged;
    for (const Record& r : logger.records) {
        EXPECT_EQ(std::wstring(kRemoveRegistryValue), r.kind);
        EXPECT_EQ(1, r.succeeded) << r.target.substr(0, 120);
        logged.push_back(r.target);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(logged.begin(), logged.end());
    EXPECT_EQ(expected, logged);
    EXPECT_TRUE(registry.exists(disabled)) << "the lists stay";
    EXPECT_EQ(0u, registry.openHandles());
}

// A backup that refuses the value, a delete that fails, an unreadable list: the value stays and
// the line says fail. The preview plans the deletion once, in one view of a key both share.
TEST(OfficeRecords, AValueGoesOnlyOnceItsBackupIsWrittenAndThePreviewPlansWithoutDeleting) {
    const std::wstring loadTimes = kOffice + L"16.0\\Outlook\\AddInLoadTimes";
    MemoryRegistry registry;
    registry.setValue(loadTimes, L"Tallowbrisk.Addin", REG_BINARY, {1});
    registry.setValue(kResiliency15 + L"DisabledItems", L"1", REG_BINARY, DisabledItem(L"c:\\tallowbrisk\\a.dll"));
    registry.failDeleteValue(kResiliency15 + L"DisabledItems", ERROR_ACCESS_DENIED);
    registry.createKey(kResiliency15 + L"CrashingAddinList");
    registry.failEnumValue(kResiliency15 + L"CrashingAddinList", ERROR_INVALID_DATA);
    registry.setValue(kResiliency15 + L"CrashingAddinList", L"2", REG_BINARY, {});

    NamesOfSavedKeysAndValues refusing(false);
    RecordingLogger logger;
    CleanRegistry(RegistryPass(registry, false, RegistryRuleTable(), &logger, &refusing), nullptr);
    const std::wstring backupKey = L"HKEY_CURRENT_USER" + loadTimes.substr(4);
    EXPECT_EQ((std::vector<std::wstring>{L"HKEY_CURRENT_USER" + kResiliency15.substr(4) + L"DisabledItems|1",
                                         backupKey + L"|Tallowbrisk.Addin"}),
              refusing.names);
    EXPECT_TRUE(registry.hasValue(loadTimes, L"Tallowbrisk.Addin"));
    RecordingLogger plain;
    CleanRegistry(RegistryPass(registry, false, RegistryRuleTable(), &plain), nullptr);
    EXPECT_EQ((std::vector<Record>{
                  {kRemoveRegistryValue, LoggedValuePath(kResiliency15 + L"DisabledItems", L"1"), 0},
                  {kRemoveRegistryValue, kResiliency15 + L"CrashingAddinList", 0},
                  {kRemoveRegistryValue, LoggedValuePath(loadTimes, L"Tallowbrisk.Addin"), 1},
              }),
              plain.records);
    EXPECT_EQ(3u, logger.records.size());
    EXPECT_EQ(0, logger.records[2].succeeded) << "the backup was not written";

    MemoryRegistry machine;
    machine.useWindowsViews();
    machine.setProcessView(RegistryView::Bits32);
    machine.setValue(loadTimes, L"Tallowbrisk.Addin", REG_BINARY, {1});
    machine.setValue(loadTimes, L"Other.Addin", REG_BINARY, {2});
    PreviewRegistry preview(machine);
    RecordingLogger planned;
    CleanRegistry(RegistryPass(preview, true, RegistryRuleTable(), &planned), nullptr);
    EXPECT_EQ(
        (std::vector<Record>{{kRemoveRegistryValue, L"(64) " + LoggedValuePath(loadTimes, L"Tallowbrisk.Addin"), 1}}),
        planned.records);
    EXPECT_TRUE(machine.hasValue(loadTimes, L"Tallowbrisk.Addin"));
    EXPECT_EQ(0u, machine.openHandles());
}

// A value whose name the backup cannot carry back stays, and its line says fail: one with a line
// break (which would also have made up a line of the log), one with a NUL (which every call that
// takes the name as a string would read as another value's). A list that is a link is passed
// over, with its line, and what it leads to keeps its values.
TEST(OfficeRecords, ValuesNamedBeyondTheBackupStayAndAListThatIsALinkIsPassedOver) {
    const std::wstring loadTimes = kOffice + L"16.0\\Outlook\\AddInLoadTimes";
    const std::wstring loadTimes17 = kOffice + L"17.0\\Outlook\\AddInLoadTimes";
    const std::wstring victim = L"HKCU\\SOFTWARE\\Policies\\Victim";
    const std::wstring forged = L"Tallowbrisk\r\nLOG Remove:: remove file:  : C:\\x : success";
    const std::wstring withNul(L"Tallowbrisk.Addin\0x", 19);
    MemoryRegistry registry;
    registry.setValue(loadTimes, forged, REG_BINARY, {1});
    registry.setValue(loadTimes, withNul, REG_BINARY, {2});
    registry.setValue(loadTimes, L"Tallowbrisk.Addin", REG_BINARY, {3});
    registry.setValue(victim, L"Tallowbrisk.Addin", REG_BINARY, {4});
    registry.createLink(loadTimes17, victim);
    RecordingLogger logger;
    CleanRegistry(RegistryPass(registry, false, RegistryRuleTable(), &logger), nullptr);

    EXPECT_EQ((std::vector<Record>{
                  {L"remove registry key: ", LoggedLinkPath(loadTimes17), kPassedOver},
                  {kRemoveRegistryValue, LoggedValuePath(loadTimes, forged), 0},
                  {kRemoveRegistryValue, LoggedValuePath(loadTimes, withNul), 0},
                  {kRemoveRegistryValue, LoggedValuePath(loadTimes, L"Tallowbrisk.Addin"), 1},
                  {kRemoveRegistryValue, LoggedLinkPath(loadTimes17), kPassedOver},
              }),
              logger.records);
    EXPECT_TRUE(registry.hasValue(loadTimes, forged));
    EXPECT_TRUE(registry.hasValue(loadTimes, withNul));
    EXPECT_FALSE(registry.hasValue(loadTimes, L"Tallowbrisk.Addin"));
    EXPECT_TRUE(registry.hasValue(victim, L"Tallowbrisk.Addin"));
    EXPECT_TRUE(registry.isLink(loadTimes17));
}

}  // namespace
