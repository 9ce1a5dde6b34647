// The preview's registry: deletions are planned, not made, and what is planned is gone for
// the rest of the run, in the view it is gone from. The registry cleaner run on top of it
// must report what the same cleaner reports on a copy of the registry that it really cleans.

#include "registry/preview_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/registry_steps.h"
#include "platform/registry_key.h"
#include "registry/rule_in_view.h"
#include "test_sinks.h"
#include "tests/unit/support/registry_memory.h"

namespace {

const wchar_t kAddins[] = L"HKCU\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins";

// A 64-bit machine as the shipped 32-bit program sees it, with leftovers that several rules
// and both views reach: a key shared by both views, a key of each view that two rules (one
// per spelling of the product's name) both match, keys with subtrees, and a link named like
// the add-in that leads to a key of Group Policy's.
const wchar_t kVictim[] = L"HKCU\\SOFTWARE\\Policies\\Victim";

void SeedLeftovers(MemoryRegistry& registry) {
    registry.useWindowsViews();
    registry.setProcessView(RegistryView::Bits32);
    registry.setString(std::wstring(kVictim) + L"\\Inner", L"Tallowbrisk", L"the administrator's");
    registry.createLink(std::wstring(kAddins) + L"\\Tallowbrisk.Link", kVictim);
    registry.createKey(std::wstring(kAddins) + L"\\Tallowbrisk.Addin\\Deeper\\Deepest");
    registry.setString(std::wstring(kAddins) + L"\\Other.Addin", L"Description", L"Shipped with Tallowbrisk");
    registry.createKey(std::wstring(kAddins) + L"\\Unrelated.Addin");
    for (RegistryView view : {RegistryView::Bits64, RegistryView::Bits32}) {
        const std::wstring clsid = view == RegistryView::Bits64 ? L"{A}" : L"{B}";
        registry.setString(L"HKCU\\SOFTWARE\\Classes\\CLSID\\" + clsid + L"\\InprocServer32", L"",
                           L"C:\\Tallowbrisk\\TallowBrisk.dll", REG_SZ, view);
        registry.createKey(L"HKLM\\SOFTWARE\\Tallowbrisk\\Settings", view);
    }
    registry.createKey(L"HKCU\\SOFTWARE\\Classes\\CLSID\\{Other}\\InprocServer32");
}

class PreviewRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { SeedLeftovers(real); }
    void TearDown() override { EXPECT_EQ(0u, real.openHandles()); }

    MemoryRegistry real;
    PreviewRegistry preview{real};
};

TEST_F(PreviewRegistryTest, PlansWhatARealRunRemovesInItsOrderAndChangesNothing) {
    const std::vector<std::wstring> before = real.allKeys();
    RecordingLogger planned;
    CleanRegistry(RegistryPass(preview, true, RegistryRuleTable(), &planned), nullptr);
    EXPECT_EQ(before, real.allKeys());

    MemoryRegistry cleaned;
    SeedLeftovers(cleaned);
    RecordingLogger removed;
    CleanRegistry(RegistryPass(cleaned, true, RegistryRuleTable(), &removed), nullptr);

    EXPECT_EQ(removed.records, planned.records);
    EXPECT_EQ(8u, removed.records.size()) << "two views of HKLM\\SOFTWARE\\Tallowbrisk, {A}, {B}, "
                                             "the two add-ins once, nothing twice, and the link in each view";
    EXPECT_TRUE(cleaned.exists(std::wstring(kAddins) + L"\\Unrelated.Addin"));
    EXPECT_TRUE(cleaned.isLink(std::wstring(kAddins) + L"\\Tallowbrisk.Link"));
    EXPECT_TRUE(cleaned.hasValue(std::wstring(kVictim) + L"\\Inner", L"Tallowbrisk"));

    // On the cleaned machine the preview finds nothing but the link it passes over again.
    PreviewRegistry again(cleaned);
    RecordingLogger nothing;
    CleanRegistry(RegistryPass(again, true, RegistryRuleTable(), &nothing), nullptr);
    const Record link{L"remove registry key: ",
                      L"(64) " + LoggedLinkPath(std::wstring(kAddins) + L"\\Tallowbrisk.Link"), kPassedOver};
    EXPECT_EQ((std::vector<Record>{link, link}), nothing.records);
}

TEST_F(PreviewRegistryTest, DeletesLikeAdvapi32AndHidesThePlannedSubtree) {
    unique_registry_key addins;
    ASSERT_EQ(ERROR_SUCCESS,
              OpenRegistryKey(preview, HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins",
                              KEY_ALL_ACCESS | KEY_WOW64_64KEY, addins));
    const HKEY key = addins.get().key;
    EXPECT_EQ(ERROR_ACCESS_DENIED, preview.deleteKey(key, L"Tallowbrisk.Addin", KEY_WOW64_64KEY));
    EXPECT_EQ(ERROR_SUCCESS, preview.deleteKey(key, L"Tallowbrisk.Addin\\Deeper\\Deepest", KEY_WOW64_64KEY));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, preview.deleteKey(key, L"Tallowbrisk.Addin\\Deeper\\Deepest", KEY_WOW64_64KEY));
    EXPECT_EQ(ERROR_SUCCESS, preview.deleteKey(key, L"Tallowbrisk.Addin\\Deeper", KEY_WOW64_64KEY));
    EXPECT_EQ(ERROR_SUCCESS, preview.deleteKey(key, L"Tallowbrisk.Addin", KEY_WOW64_64KEY));
    EXPECT_TRUE(real.exists(std::wstring(kAddins) + L"\\Tallowbrisk.Addin\\Deeper\\Deepest"));

    // HKCU\SOFTWARE is shared: the key is gone from the 32-bit view too, and so is its subtree.
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        unique_registry_key gone;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND,
                  OpenRegistryKey(preview, key, L"Tallowbrisk.Addin\\Deeper", KEY_READ | view, gone));
    }
    RegistryKeyInfo info;
    ASSERT_EQ(ERROR_SUCCESS, preview.queryInfoKey(key, &info));
    EXPECT_EQ(3u, info.subkeys);
    std::vector<std::wstring> names;
    wchar_t name[64];
    DWORD length = 64;
    for (DWORD i = 0; preview.enumKey(key, i, name, &length) == ERROR_SUCCESS; ++i, length = 64) {
        names.emplace_back(name, length);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"Other.Addin", L"Tallowbrisk.Link", L"Unrelated.Addin"}), names);
    EXPECT_EQ((std::vector<std::wstring>{std::wstring(kAddins) + L"\\Tallowbrisk.Addin\\Deeper\\Deepest",
                                         std::wstring(kAddins) + L"\\Tallowbrisk.Addin\\Deeper",
                                         std::wstring(kAddins) + L"\\Tallowbrisk.Addin"}),
              preview.planned());
}

TEST_F(PreviewRegistryTest, ARedirectedKeyIsGoneOnlyFromItsOwnView) {
    unique_registry_key software32;
    ASSERT_EQ(ERROR_SUCCESS,
              OpenRegistryKey(preview, HKEY_LOCAL_MACHINE, L"SOFTWARE", KEY_ALL_ACCESS | KEY_WOW64_32KEY, software32));
    EXPECT_EQ(ERROR_SUCCESS, preview.deleteKey(software32.get().key, L"Tallowbrisk\\Settings", KEY_WOW64_32KEY));
    EXPECT_EQ(ERROR_SUCCESS, preview.deleteKey(software32.get().key, L"Tallowbrisk", KEY_WOW64_32KEY));

    unique_registry_key key;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              OpenRegistryKey(preview, HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tallowbrisk", KEY_READ | KEY_WOW64_32KEY, key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, OpenRegistryKey(preview, HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node\\Tallowbrisk",
                                                    KEY_READ | KEY_WOW64_64KEY, key))
        << "the same key, named through the 64-bit view";
    EXPECT_EQ(ERROR_SUCCESS, OpenRegistryKey(preview, HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tallowbrisk\\Settings",
                                             KEY_READ | KEY_WOW64_64KEY, key));
}

}  // namespace
