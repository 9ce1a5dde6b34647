// Rules applied in the registry views: one pass outside WOW64, the 64-bit then the 32-bit
// view under it, each with its access mask, and the "(64) " mark.

#include "registry/registry_views.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry/delete_key_tree.h"
#include "registry/registry_rules.h"
#include "test_sinks.h"
#include "tests/unit/support/registry_memory.h"

namespace {

using Operation = MemoryRegistry::Operation;

class RegistryViews : public ::testing::Test {
protected:
    // A 32-bit process on 64-bit Windows, as the shipped program runs.
    void SetUp() override {
        registry.useWindowsViews();
        registry.setProcessView(RegistryView::Bits32);
    }
    void TearDown() override { EXPECT_EQ(0u, registry.openHandles()); }

    std::vector<REGSAM> masks(Operation operation) {
        std::vector<REGSAM> all;
        for (const auto& call : registry.calls()) {
            if (call.operation == operation) all.push_back(call.access);
        }
        return all;
    }

    MemoryRegistry registry;
    RecordingLogger logger;
};

TEST_F(RegistryViews, UnderWow64BothViewsAreCleanedAndMarked) {
    registry.createKey(L"HKLM\\SOFTWARE\\Tallowbrisk\\Addin", RegistryView::Bits64);
    registry.createKey(L"HKLM\\SOFTWARE\\Tallowbrisk\\Addin", RegistryView::Bits32);
    ASSERT_TRUE(registry.exists(L"HKLM\\SOFTWARE\\Wow6432Node\\Tallowbrisk"));

    ApplyRegistryRule(RegistryPass(registry, true, nullptr, &logger),
                      {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tallowbrisk", L"Tallowbrisk", RemoveKey, 0});

    const Record marked{L"remove registry key: ", L"(64) HKLM\\SOFTWARE\\Tallowbrisk", 1};
    EXPECT_EQ((std::vector<Record>{marked, marked}), logger.records);
    EXPECT_FALSE(registry.exists(L"HKLM\\SOFTWARE\\Tallowbrisk", RegistryView::Bits64));
    EXPECT_FALSE(registry.exists(L"HKLM\\SOFTWARE\\Tallowbrisk", RegistryView::Bits32));

    // Every open of the first pass carries the 64-bit view, every open of the second the
    // 32-bit one; the deletes carry the view bits alone.
    std::vector<REGSAM> opens = masks(Operation::Open);
    ASSERT_FALSE(opens.empty());
    // Each asks for what its step needs: reading, or listing and deleting a key's children.
    EXPECT_EQ(0x20119u, opens.front());
    auto firstOf32 = std::find(opens.begin(), opens.end(), 0x20219u);
    ASSERT_NE(opens.end(), firstOf32);
    EXPECT_TRUE(std::all_of(opens.begin(), firstOf32, [](REGSAM m) { return m == 0x20119 || m == 0x10109; }));
    EXPECT_TRUE(std::all_of(firstOf32, opens.end(), [](REGSAM m) { return m == 0x20219 || m == 0x10209; }));
    std::vector<REGSAM> deletes = masks(Operation::Delete);
    EXPECT_EQ(0x100u, deletes.front());
    EXPECT_EQ(0x200u, deletes.back());
}

TEST_F(RegistryViews, OutsideWow64OnePassInTheDefaultViewUnmarked) {
    MemoryRegistry plain;  // 32-bit Windows: one registry, no views
    plain.createKey(L"HKLM\\SOFTWARE\\Tallowbrisk\\Addin");
    plain.setString(L"HKCU\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins\\Other.Addin", L"Path",
                    L"C:\\Tallowbrisk\\a.dll");

    ApplyRegistryRule(RegistryPass(plain, false, nullptr, &logger),
                      {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tallowbrisk", L"Tallowbrisk", RemoveKey, 0});
    ApplyRegistryRule(RegistryPass(plain, false, nullptr, &logger),
                      {HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins", L"Tallowbrisk",
                       MatchNameOrContent, 0});

    EXPECT_EQ((std::vector<std::wstring>{L"HKLM\\SOFTWARE\\Tallowbrisk",
                                         L"HKCU\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins\\Other.Addin"}),
              logger.targets());
    for (const auto& call : plain.calls()) {
        if (call.operation == Operation::Open) {
            EXPECT_TRUE(call.access == KEY_READ || call.access == kDeleteTreeAccess) << std::hex << call.access;
        } else {
            EXPECT_EQ(0u, call.access);
        }
    }
    EXPECT_EQ(0u, plain.openHandles());
}

TEST_F(RegistryViews, SharedKeyIsRemovedByTheFirstPassOnly) {
    const std::wstring addins = L"HKCU\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins";
    registry.createKey(addins + L"\\Tallowbrisk.Addin");

    ApplyRegistryRule(RegistryPass(registry, true, nullptr, &logger),
                      {HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins", L"Tallowbrisk",
                       MatchNameOrContent, 0});

    EXPECT_EQ(std::vector<std::wstring>{L"(64) " + addins + L"\\Tallowbrisk.Addin"}, logger.targets());
}

TEST_F(RegistryViews, ExplicitWow6432NodeRuleRunsInBothViews) {
    registry.createKey(L"HKLM\\SOFTWARE\\Wow6432Node\\Tallowbrisk\\Addin");

    ApplyRegistryRule(RegistryPass(registry, true, nullptr, &logger),
                      {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node\\Tallowbrisk", L"Tallowbrisk", RemoveKey, 0});

    EXPECT_EQ(std::vector<std::wstring>{L"(64) HKLM\\SOFTWARE\\Wow6432Node\\Tallowbrisk"}, logger.targets());
    std::vector<REGSAM> opens = masks(Operation::Open);
    EXPECT_NE(opens.end(), std::find(opens.begin(), opens.end(), 0x20219u)) << "the second pass ran";
}

// A COM class registered in one view only, named by its InprocServer32 path alone. The
// content search must look at the key the scan listed: a 32-bit process that opened it
// without a view bit would look in the 32-bit view even during the 64-bit pass, and miss
// the add-in's 64-bit registration.
TEST_F(RegistryViews, ContentSearchLooksInTheViewOfItsPass) {
    registry.setString(L"HKCR\\CLSID\\{64}\\InprocServer32", L"", L"C:\\Program Files\\Tallowbrisk\\a64.dll", REG_SZ,
                       RegistryView::Bits64);
    registry.setString(L"HKCR\\CLSID\\{32}\\InprocServer32", L"", L"C:\\Program Files\\Tallowbrisk\\a32.dll", REG_SZ,
                       RegistryView::Bits32);
    registry.setString(L"HKCR\\CLSID\\{Other}\\InprocServer32", L"", L"C:\\Windows\\system32\\other.dll", REG_SZ,
                       RegistryView::Bits64);
    ASSERT_TRUE(registry.exists(L"HKCR\\Wow6432Node\\CLSID\\{32}"));

    ApplyRegistryRule(RegistryPass(registry, true, nullptr, &logger),
                      {HKEY_CLASSES_ROOT, L"CLSID", L"Tallowbrisk", MatchNameOrContent, 0});

    EXPECT_EQ((std::vector<std::wstring>{L"(64) HKCR\\CLSID\\{64}", L"(64) HKCR\\CLSID\\{32}"}), logger.targets());
    EXPECT_TRUE(registry.exists(L"HKCR\\CLSID\\{Other}"));
    for (const auto& call : registry.calls()) {
        if (call.operation == Operation::Open && (call.access & ~kRegistryViewBits) == KEY_READ) {
            EXPECT_NE(0u, call.access & kRegistryViewBits)
                << "the probe of " << std::string(call.path.begin(), call.path.end());
        }
    }
}

}  // namespace
