// The rule table and the walk over it: order, weights, progress and the sinks.

#include "registry/clean_registry.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

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
    CleanRegistry(registry, false, &logger, &progress);

    ASSERT_EQ(58u, progress.calls.size());
    EXPECT_EQ(std::make_pair(1u, 266u), progress.calls.front());
    EXPECT_EQ(std::make_pair(266u, 266u), progress.calls.back());
    EXPECT_EQ(20u, progress.calls[22].first - progress.calls[21].first) << "the step after rule 23";
    EXPECT_TRUE(logger.records.empty()) << "a machine without the product's keys";
    EXPECT_EQ(0u, registry.openHandles());

    RecordingProgress none;
    const RegistryRule empty[] = {{nullptr, nullptr, nullptr, 0, 0}};
    CleanRegistry(registry, false, &logger, &none, empty);
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
    CleanRegistry(registry, true, &logger, nullptr);

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
    CleanRegistry(again, false, nullptr, nullptr);
    EXPECT_FALSE(again.exists(L"HKCR\\Tallowbrisk.Connect"));
    EXPECT_EQ(0u, registry.openHandles());
}

}  // namespace
