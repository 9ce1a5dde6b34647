// What Windows Installer keeps about the add-in's products, found before the rules and removed
// after them: the codes' two spellings, the rule that keeps a component or upgrade code that
// another product uses, and input that names no product, or names it badly.

#include "installer/registration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "app/registry_steps.h"
#include "installer/codes.h"
#include "platform/registry_key.h"
#include "platform/registry_value.h"
#include "registry/preview_registry.h"
#include "registry/user_hives.h"
#include "tests/unit/registry/test_sinks.h"
#include "tests/unit/support/registry_memory.h"

namespace {

constexpr wchar_t kProduct[] = L"{1B2C3D4E-5F60-4718-8293-A4B5C6D7E8F9}";
constexpr wchar_t kPacked[] = L"E4D3C2B106F5817428394A5B6C7D8E9F";
constexpr wchar_t kUpgrade[] = L"19E7A5C3D4B206F4A8C1E9B7D5F3A102";
constexpr wchar_t kOther[] = L"1A2B3C4DE8F9C7D46B5AF0E1D2C3B4A5";  // another vendor's product
constexpr wchar_t kOtherBraced[] = L"{D4C3B2A1-9F8E-4D7C-B6A5-0F1E2D3C4B5A}";
constexpr wchar_t kOtherUpgrade[] = L"E3D2C1B0A5F4C6B4D8E7F9A0B1C2D3E4";

const std::wstring kClassesInstaller = L"HKLM\\SOFTWARE\\Classes\\Installer\\";
const std::wstring kInstallerData = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\";
const std::wstring kSystemData = kInstallerData + L"UserData\\S-1-5-18\\";
const std::wstring kUninstall = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::wstring kUninstall32 = L"HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::vector<BYTE> Bytes(const std::wstring& text, bool terminated = true) {
    const BYTE* begin = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(begin, begin + (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
}

// A machine as a 32-bit per-machine package leaves it on 64-bit Windows, as Wine's msiexec
// writes it: the installer's keys in the 64-bit view, the Programs and Features entry in the
// 32-bit view; beside it another vendor's product, which shares one component and one upgrade
// code with the add-in.
void SeedMachineInstall(MemoryRegistry& registry) {
    registry.useWindowsViews();
    registry.setProcessView(RegistryView::Bits32);
    registry.mergeClassesRoot();
    registry.setString(kClassesInstaller + L"Products\\" + kPacked, L"ProductName", L"Tallowbrisk for Outlook");
    registry.setString(kClassesInstaller + L"Products\\" + kOther, L"ProductName", L"Other Vendor's Tool");
    registry.setString(kClassesInstaller + L"Features\\" + kPacked, L"Addin", L"");
    registry.setString(kClassesInstaller + L"Features\\" + kOther, L"Main", L"");
    for (const std::wstring& upgrades : {kClassesInstaller + L"UpgradeCodes\\", kInstallerData + L"UpgradeCodes\\"}) {
        registry.setString(upgrades + kUpgrade, kPacked, L"");
        registry.setString(upgrades + kOtherUpgrade, kOther, L"");
    }
    registry.setString(kClassesInstaller + L"UpgradeCodes\\F0000000000000000000000000000000", kPacked, L"");
    registry.setString(kClassesInstaller + L"UpgradeCodes\\F0000000000000000000000000000000", kOther, L"");
    const std::wstring components = kSystemData + L"Components\\";
    registry.setString(components + L"F3E2D1A6C5B4E6D4F8071A2B3C4D5E10", kPacked,
                       L"C:\\Program Files (x86)\\Tallowbrisk\\Tallowbrisk.Addin.dll");  // rule 34's
    registry.setString(components + L"F3E2D1A6C5B4E6D4F8071A2B3C4D5E40", kPacked,
                       L"02:\\SOFTWARE\\Classes\\CLSID\\{8E2F4A6C-1D3B-4E5F-9A7C-2B4D6F8A0C11}\\");
    registry.setString(components + L"04F3E2B7000000000000000000006F10", kOther, L"C:\\Other\\tool.exe");
    registry.setString(components + L"04F3E2B7000000000000000000006F20", kOther, L"C:\\Common\\shared.dll");
    registry.setString(components + L"04F3E2B7000000000000000000006F20", kPacked, L"C:\\Common\\shared.dll");
    const std::wstring properties = kSystemData + L"Products\\" + kPacked + L"\\InstallProperties";
    registry.setString(properties, L"DisplayName", L"Tallowbrisk for Outlook");
    registry.setString(properties, L"LocalPackage", L"C:\\windows\\Installer\\5d5d.msi");
    registry.setString(kSystemData + L"Products\\" + kOther + L"\\InstallProperties", L"LocalPackage",
                       L"C:\\windows\\Installer\\77aa.msi");
    registry.setString(kUninstall + kProduct, L"DisplayName", L"Tallowbrisk for Outlook", REG_SZ, RegistryView::Bits32);
    registry.setString(kUninstall + kOtherBraced, L"DisplayName", L"Other Vendor's Tool", REG_SZ, RegistryView::Bits32);
    const std::wstring managed = kInstallerData + L"Managed\\S-1-5-21-1-2-3-1001\\Installer\\";
    registry.setString(managed + L"Products\\" + kPacked, L"ProductName", L"Tallowbrisk for Outlook");
    registry.setString(managed + L"Features\\" + kPacked, L"Addin", L"");
    registry.setString(managed + L"Features\\" + kOther, L"Main", L"");
}

std::vector<std::wstring> Marked(const std::vector<std::wstring>& paths) {
    std::vector<std::wstring> marked;
    for (const std::wstring& path : paths) marked.push_back(L"(64) " + path);
    return marked;
}

TEST(InstallerCodes, PackedAndBracedSpellingsOfTheSameCode) {
    EXPECT_EQ(kPacked, PackedCode(kProduct));
    EXPECT_EQ(kPacked, PackedCode(L"{1b2c3d4e-5f60-4718-8293-a4b5c6d7e8f9}"));
    EXPECT_EQ(kProduct, BracedCode(kPacked));
    EXPECT_EQ(kProduct, BracedCode(L"e4d3c2b106f5817428394a5b6c7d8e9f"));
    EXPECT_EQ(kOther, PackedCode(kOtherBraced));
    EXPECT_EQ(kOtherBraced, BracedCode(PackedCode(kOtherBraced)));
    EXPECT_EQ(kPacked, NormalPackedCode(L"e4d3c2b106f5817428394A5B6C7D8E9F"));

    for (const wchar_t* bad : {L"", L"1B2C3D4E-5F60-4718-8293-A4B5C6D7E8F9", L"{1B2C3D4E-5F60-4718-8293-A4B5C6D7E8F}",
                               L"{1B2C3D4E-5F60-4718-8293-A4B5C6D7E8F9A}", L"{1B2C3D4E5-F60-4718-8293-A4B5C6D7E8F9}",
                               L"{1B2C3D4E-5F60-4718-8293-A4B5C6D7E8FG}", L"(1B2C3D4E-5F60-4718-8293-A4B5C6D7E8F9)",
                               L"{1B2C3D4E-5F60-4718-8293-A4B5C6D7E8F9}x"}) {
        EXPECT_EQ(L"", PackedCode(bad)) << bad;
    }
    for (const wchar_t* bad : {L"", L"E4D3C2B106F5817428394A5B6C7D8E9", L"E4D3C2B106F5817428394A5B6C7D8E9F0",
                               L"E4D3C2B106F5817428394A5B6C7D8E9G", L"TallowbriskTallowbriskTallowbris", kProduct}) {
        EXPECT_EQ(L"", BracedCode(bad)) << bad;
        EXPECT_EQ(L"", NormalPackedCode(bad)) << bad;
    }
}

TEST(EveryValueNamesOneOf, OnlyAKeyWhoseEveryValueNamesARemovedProduct) {
    MemoryRegistry registry;
    const std::wstring parent = L"HKLM\\Components";
    registry.setString(parent + L"\\Alone", kPacked, L"C:\\a.dll");
    registry.setString(parent + L"\\LowerCase", L"e4d3c2b106f5817428394a5b6c7d8e9f", L"C:\\a.dll");
    registry.setValue(parent + L"\\OtherType", kPacked, REG_DWORD, {1, 0, 0, 0});
    registry.setString(parent + L"\\Shared", kPacked, L"C:\\a.dll");
    registry.setString(parent + L"\\Shared", kOther, L"C:\\a.dll");
    registry.setString(parent + L"\\Permanent", kPacked, L"C:\\a.dll");
    registry.setString(parent + L"\\Permanent", L"00000000000000000000000000000000", L"C:\\a.dll");
    registry.setString(parent + L"\\NotACode", kPacked, L"C:\\a.dll");
    registry.setString(parent + L"\\NotACode", L"Tallowbrisk", L"C:\\a.dll");
    registry.createKey(parent + L"\\Empty");
    registry.setString(parent + L"\\WithSubkey", kPacked, L"C:\\a.dll");
    registry.createKey(parent + L"\\WithSubkey\\Child");
    registry.setString(parent + L"\\Unreadable", kPacked, L"C:\\a.dll");
    registry.failEnumValue(parent + L"\\Unreadable", ERROR_INVALID_PARAMETER);
    registry.setString(parent + L"\\Unopenable", kPacked, L"C:\\a.dll");
    registry.failOpen(parent + L"\\Unopenable", ERROR_ACCESS_DENIED);

    unique_registry_key key;
    ASSERT_EQ(ERROR_SUCCESS, OpenRegistryKey(registry, HKEY_LOCAL_MACHINE, L"Components", KEY_READ, key));
    const std::set<std::wstring> removed{kPacked};
    for (const wchar_t* name : {L"Alone", L"LowerCase", L"OtherType"}) {
        EXPECT_TRUE(EveryValueNamesOneOf(registry, key.get().key, name, KEY_ALL_ACCESS, removed)) << name;
    }
    for (const wchar_t* name :
         {L"Shared", L"Permanent", L"NotACode", L"Empty", L"WithSubkey", L"Unreadable", L"Unopenable", L"Missing"}) {
        EXPECT_FALSE(EveryValueNamesOneOf(registry, key.get().key, name, KEY_ALL_ACCESS, removed)) << name;
    }
    EXPECT_TRUE(EveryValueNamesOneOf(registry, key.get().key, L"Shared", KEY_ALL_ACCESS, {kPacked, kOther}));
    EXPECT_FALSE(EveryValueNamesOneOf(registry, key.get().key, L"Alone", KEY_ALL_ACCESS, {}));
}

TEST(ReadStringValue, OnlyATerminatedStringOfItsOwnName) {
    MemoryRegistry registry;
    const std::wstring path = L"HKLM\\Properties";
    registry.setString(path, L"localpackage", L"C:\\windows\\Installer\\5d5d.msi");
    registry.setString(path, L"Expanded", L"%WINDIR%\\Installer\\5d5d.msi", REG_EXPAND_SZ);
    registry.setValue(path, L"Number", REG_DWORD, {1, 0, 0, 0});
    registry.setValue(path, L"CutShort", REG_SZ, Bytes(L"C:\\windows\\Installer\\5d5d.msi", false));
    std::vector<BYTE> odd = Bytes(L"C:\\x.msi");
    odd.push_back(0);
    registry.setValue(path, L"Odd", REG_SZ, odd);
    registry.setValue(path, L"Empty", REG_SZ, {});
    registry.setValue(path, L"Embedded", REG_SZ, Bytes(std::wstring(L"C:\\a.msi\0C:\\b.msi", 17)));

    unique_registry_key key;
    ASSERT_EQ(ERROR_SUCCESS, OpenRegistryKey(registry, HKEY_LOCAL_MACHINE, L"Properties", KEY_READ, key));
    std::wstring text;
    EXPECT_TRUE(ReadStringValue(registry, key.get().key, L"LocalPackage", &text, kPlainString));
    EXPECT_EQ(L"C:\\windows\\Installer\\5d5d.msi", text);
    EXPECT_TRUE(ReadStringValue(registry, key.get().key, L"Embedded", &text, kPlainString));
    EXPECT_EQ(L"C:\\a.msi", text) << "up to the terminator";
    for (const wchar_t* name : {L"Expanded", L"Number", L"CutShort", L"Odd", L"Empty", L"Missing"}) {
        EXPECT_FALSE(ReadStringValue(registry, key.get().key, name, &text, kPlainString)) << name;
    }
    // A profile's paths: expandable, and taken whole without a terminator; never of an odd size.
    const unsigned lenient = kPlainString | kExpandableString | kUnterminatedString;
    EXPECT_TRUE(ReadStringValue(registry, key.get().key, L"Expanded", &text, lenient));
    EXPECT_EQ(L"%WINDIR%\\Installer\\5d5d.msi", text);
    EXPECT_TRUE(ReadStringValue(registry, key.get().key, L"CutShort", &text, lenient));
    EXPECT_EQ(L"C:\\windows\\Installer\\5d5d.msi", text);
    EXPECT_TRUE(ReadStringValue(registry, key.get().key, L"Empty", &text, lenient));
    EXPECT_EQ(L"", text);
    for (const wchar_t* name : {L"Number", L"Odd", L"Missing"}) {
        EXPECT_FALSE(ReadStringValue(registry, key.get().key, name, &text, lenient)) << name;
    }
}

TEST(InstallerRegistration, APerMachineInstallGoesWholeAndTheOtherVendorsProductStays) {
    MemoryRegistry registry;
    SeedMachineInstall(registry);
    RecordingLogger logger;
    NamesOfSavedKeys backup;
    const InstalledProducts installed =
        CleanRegistry(RegistryPass(registry, true, RegistryRuleTable(), &logger, &backup), nullptr);

    const std::wstring components = kSystemData + L"Components\\";
    EXPECT_EQ(Marked({
                  L"HKCR\\Installer\\Products\\" + std::wstring(kPacked),  // rule 10
                  components + L"F3E2D1A6C5B4E6D4F8071A2B3C4D5E10",        // rule 34
                  kSystemData + L"Products\\" + kPacked,                   // rule 35
                  kClassesInstaller + L"Features\\" + kPacked,             // and then the rest
                  components + L"F3E2D1A6C5B4E6D4F8071A2B3C4D5E40",        // named by no rule
                  kClassesInstaller + L"UpgradeCodes\\" + kUpgrade,        // the shared one stays
                  kInstallerData + L"UpgradeCodes\\" + kUpgrade,           //
                  kInstallerData + L"Managed\\S-1-5-21-1-2-3-1001\\Installer\\Products\\" + kPacked,  //
                  kInstallerData + L"Managed\\S-1-5-21-1-2-3-1001\\Installer\\Features\\" + kPacked,  //
                  kUninstall + kProduct,  // in the 32-bit view
              }),
              logger.targets());
    for (const Record& record : logger.records) EXPECT_EQ(1, record.succeeded) << record.target;
    EXPECT_EQ(logger.records.size(), backup.names.size());
    EXPECT_EQ(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + std::wstring(kProduct),
              backup.names.back());

    EXPECT_EQ(std::set<std::wstring>{kPacked}, installed.packed);
    EXPECT_EQ(std::vector<std::wstring>{L"C:\\windows\\Installer\\5d5d.msi"}, installed.localPackages);
    EXPECT_EQ(std::vector<std::wstring>{kProduct}, installed.bracedCodes());

    // Nothing names the product any more; everything of the other product's is there.
    for (const std::wstring& key : registry.allKeys()) {
        EXPECT_EQ(std::wstring::npos, key.find(kPacked)) << key;
        EXPECT_EQ(std::wstring::npos, key.find(kProduct)) << key;
    }
    EXPECT_TRUE(registry.exists(kClassesInstaller + L"Products\\" + kOther));
    EXPECT_TRUE(registry.exists(kClassesInstaller + L"Features\\" + kOther));
    EXPECT_TRUE(registry.exists(kClassesInstaller + L"UpgradeCodes\\" + kOtherUpgrade));
    EXPECT_TRUE(registry.exists(kClassesInstaller + L"UpgradeCodes\\F0000000000000000000000000000000"));
    EXPECT_TRUE(registry.exists(kInstallerData + L"UpgradeCodes\\" + kOtherUpgrade));
    EXPECT_TRUE(registry.exists(components + L"04F3E2B7000000000000000000006F10"));
    EXPECT_TRUE(registry.exists(components + L"04F3E2B7000000000000000000006F20")) << "shared with the other product";
    EXPECT_TRUE(registry.exists(kSystemData + L"Products\\" + kOther + L"\\InstallProperties"));
    EXPECT_TRUE(registry.exists(kUninstall + kOtherBraced, RegistryView::Bits32));
    EXPECT_TRUE(registry.exists(kInstallerData + L"Managed\\S-1-5-21-1-2-3-1001\\Installer\\Features\\" + kOther));
    EXPECT_EQ(0u, registry.openHandles());

    // A second run finds nothing.
    RecordingLogger again;
    CleanRegistry(RegistryPass(registry, true, RegistryRuleTable(), &again), nullptr);
    EXPECT_TRUE(again.targets().empty());
}

// A user's install as Windows keeps it: the product below the user's own keys and the user's
// SID in UserData, the entry in the user's Programs and Features. The code, named by that
// user's own data, drives removals there and in the user's hive: that is where it all lies.
TEST(InstallerRegistration, APerUserInstallOfTheCurrentUserGoesWhole) {
    MemoryRegistry registry;
    const std::wstring user = L"HKCU\\SOFTWARE\\Microsoft\\Installer\\";
    const std::wstring data = kInstallerData + L"UserData\\S-1-5-21-0-0-0-1000\\";
    registry.setString(user + L"Products\\" + kPacked, L"ProductName", L"Tallowbrisk for Outlook");
    registry.setString(user + L"Features\\" + kPacked, L"Addin", L"");
    registry.setString(user + L"UpgradeCodes\\" + kUpgrade, kPacked, L"");
    registry.setString(data + L"Components\\F3E2D1A6C5B4E6D4F8071A2B3C4D5E40", kPacked, L"01:\\SOFTWARE\\Classes\\");
    registry.setString(data + L"Products\\" + kPacked + L"\\InstallProperties", L"LocalPackage",
                       L"C:\\windows\\Installer\\ff95.msi");
    registry.setString(data + L"Products\\" + kPacked + L"\\InstallProperties", L"DisplayName",
                       L"Tallowbrisk for Outlook");
    registry.setString(L"HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + std::wstring(kProduct),
                       L"DisplayName", L"Add-in for Outlook");  // found by its code, not its name
    RecordingLogger logger;
    const InstalledProducts installed = CleanRegistry(RegistryPass(registry, false, RegistryRuleTable(), &logger),
                                                      nullptr, InstallerDataOwnersOfRun(false, L"S-1-5-21-0-0-0-1000"));
    EXPECT_EQ((std::vector<std::wstring>{
                  L"HKCU\\SOFTWARE\\Microsoft\\Installer\\Products\\" + std::wstring(kPacked),
                  data + L"Products\\" + kPacked,
                  data + L"Components\\F3E2D1A6C5B4E6D4F8071A2B3C4D5E40",
                  L"HKCU\\SOFTWARE\\Microsoft\\Installer\\Features\\" + std::wstring(kPacked),
                  L"HKCU\\SOFTWARE\\Microsoft\\Installer\\UpgradeCodes\\" + std::wstring(kUpgrade),
                  L"HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + std::wstring(kProduct),
              }),
              logger.targets());
    EXPECT_EQ(std::vector<std::wstring>{L"C:\\windows\\Installer\\ff95.msi"}, installed.localPackages);
}

// Keys and values that are not what an installer writes name no product: nothing is removed
// for them beyond what the rules remove, and the run goes on.
TEST(InstallerRegistration, MalformedNamesAndValuesNameNoProduct) {
    MemoryRegistry registry;
    registry.mergeClassesRoot();
    const std::wstring products = kClassesInstaller + L"Products\\";
    // Products keys whose names are not packed codes, though the rules take them.
    registry.setString(products + L"E4D3C2B106F5817428394A5B6C7D8E9", L"ProductName", L"Tallowbrisk short");
    registry.setString(products + L"E4D3C2B106F5817428394A5B6C7D8E9FF", L"ProductName", L"Tallowbrisk long");
    registry.setString(products + L"{1B2C3D4E-5F60-4718-8293-A4B5C6D7E8F9}", L"ProductName", L"Tallowbrisk braced");
    registry.setString(kClassesInstaller + L"Features\\E4D3C2B106F5817428394A5B6C7D8E9", L"Addin", L"");
    registry.setString(kClassesInstaller + L"Features\\" + std::wstring(kPacked), L"Addin", L"");
    // Programs and Features entries: a name that is not a GUID goes all the same when its
    // DisplayName names the product; one whose DisplayName is of another type, or cut short,
    // names nothing, and its code is not taken.
    registry.setString(kUninstall + L"Tallowbrisk Legacy", L"DisplayName", L"Tallowbrisk 1.0");
    registry.setString(kUninstall + L"{not-a-guid}", L"DisplayName", L"Tallowbrisk");
    registry.setString(kUninstall + kProduct, L"DisplayName", L"Tallowbrisk", REG_EXPAND_SZ);
    registry.setValue(kUninstall + kOtherBraced, L"DisplayName", REG_SZ, Bytes(L"Tallowbrisk", false));
    registry.setValue(kUninstall + L"{00000000-0000-0000-0000-000000000001}", L"DisplayName", REG_BINARY,
                      Bytes(L"Tallowbrisk"));
    RecordingLogger logger;
    const InstalledProducts installed =
        CleanRegistry(RegistryPass(registry, false, RegistryRuleTable(), &logger), nullptr);

    EXPECT_TRUE(installed.packed.empty());
    EXPECT_EQ((std::vector<std::wstring>{
                  L"HKCR\\Installer\\Products\\E4D3C2B106F5817428394A5B6C7D8E9",
                  L"HKCR\\Installer\\Products\\E4D3C2B106F5817428394A5B6C7D8E9FF",
                  L"HKCR\\Installer\\Products\\{1B2C3D4E-5F60-4718-8293-A4B5C6D7E8F9}",
                  kUninstall + L"Tallowbrisk Legacy",
                  kUninstall + L"{not-a-guid}",
              }),
              logger.targets());
    EXPECT_TRUE(registry.exists(kClassesInstaller + L"Features\\" + std::wstring(kPacked)));
    EXPECT_TRUE(registry.exists(kUninstall + kProduct));
    EXPECT_TRUE(registry.exists(kUninstall + kOtherBraced));
}

TEST(InstallerRegistration, LocalPackagesOfTheWrongTypeOrCutShortAreNotTaken) {
    MemoryRegistry registry;
    const std::wstring properties = kSystemData + L"Products\\" + std::wstring(kPacked) + L"\\InstallProperties";
    registry.setString(properties, L"DisplayName", L"Tallowbrisk for Outlook");
    registry.setString(properties, L"LocalPackage", L"%WINDIR%\\Installer\\5d5d.msi", REG_EXPAND_SZ);
    const std::wstring second = kInstallerData + L"UserData\\S-1-5-21-1\\Products\\" + kPacked + L"\\InstallProperties";
    registry.setValue(second, L"LocalPackage", REG_SZ, Bytes(L"C:\\windows\\Installer\\5d5d.msi", false));
    const std::wstring third = kInstallerData + L"UserData\\S-1-5-21-2\\Products\\" + kPacked + L"\\InstallProperties";
    registry.setString(third, L"LocalPackage", L"C:\\windows\\Installer\\ab12.msi");
    const InstalledProducts installed = FindInstalledProducts(RegistryPass(registry, false, RegistryRuleTable()), {});
    EXPECT_EQ(std::set<std::wstring>{kPacked}, installed.packed) << "found through S-1-5-18 by rule 35";
    EXPECT_EQ(std::vector<std::wstring>{L"C:\\windows\\Installer\\ab12.msi"}, installed.localPackages);
}

// A machine holds thousands of components; the add-in's go, and every one another product
// uses stays.
TEST(InstallerRegistration, ThousandsOfComponents) {
    MemoryRegistry registry;
    registry.mergeClassesRoot();
    registry.setString(kClassesInstaller + L"Products\\" + std::wstring(kPacked), L"ProductName", L"Tallowbrisk");
    const std::wstring components = kSystemData + L"Components\\";
    constexpr int kCount = 3000;
    for (int i = 0; i < kCount; ++i) {
        wchar_t name[40];
        swprintf(name, 40, L"C0000000000000000000000000%06d", i);
        if (i % 3 != 2) registry.setString(components + name, kOther, L"C:\\Other\\file.dll");
        if (i % 3 != 0) registry.setString(components + name, kPacked, L"02:\\SOFTWARE\\Classes\\");
    }
    RecordingLogger logger;
    CleanRegistry(RegistryPass(registry, false, RegistryRuleTable(), &logger), nullptr);
    EXPECT_EQ(static_cast<size_t>(1 + kCount / 3), logger.records.size());
    size_t left = 0;
    for (const std::wstring& key : registry.allKeys()) left += key.rfind(components, 0) == 0;
    EXPECT_EQ(static_cast<size_t>(kCount - kCount / 3), left);
    // The rule for the system's components and the step after the rules read each key once; a
    // key removed is opened once more, by the look for links in it just before its removal.
    const auto opensOfComponents = [&](const MemoryRegistry& seen) {
        std::map<std::wstring, int> opens;
        for (const MemoryRegistry::Call& call : seen.calls()) {
            if (call.operation == MemoryRegistry::Operation::Open && call.path.rfind(components, 0) == 0) {
                ++opens[call.path];
            }
        }
        return opens;
    };
    const std::map<std::wstring, int> opens = opensOfComponents(registry);
    EXPECT_EQ(static_cast<size_t>(kCount), opens.size());
    for (const auto& [path, count] : opens) ASSERT_EQ(registry.exists(path) ? 1 : 2, count) << path;
    // And the step after the rules takes the rule's listing of the key.
    const std::wstring componentsKey = components.substr(0, components.size() - 1);
    EXPECT_EQ(1, registry.listingsOf(componentsKey));
    // Each on its own, the two read those the rule leaves twice.
    MemoryRegistry alone;
    alone.mergeClassesRoot();
    alone.setString(kClassesInstaller + L"Products\\" + std::wstring(kPacked), L"ProductName", L"Tallowbrisk");
    alone.setString(components + L"C0000000000000000000000000000001", kPacked, L"02:\\SOFTWARE\\Classes\\");
    alone.setString(components + L"C0000000000000000000000000000001", kOther, L"C:\\Other\\file.dll");
    CleanRegistryRuleByRule(RegistryPass(alone, false, RegistryRuleTable()), nullptr);
    EXPECT_EQ(2, opensOfComponents(alone)[components + L"C0000000000000000000000000000001"]);
    EXPECT_EQ(2, alone.listingsOf(componentsKey));
}

TEST(InstallerRegistration, ThePreviewPlansTheLinesOfTheRunAndChangesNothing) {
    MemoryRegistry real;
    SeedMachineInstall(real);
    const std::vector<std::wstring> before = real.allKeys();
    PreviewRegistry preview(real);
    RecordingLogger planned;
    const InstalledProducts foreseen =
        CleanRegistry(RegistryPass(preview, true, RegistryRuleTable(), &planned), nullptr);
    EXPECT_EQ(before, real.allKeys());

    MemoryRegistry cleaned;
    SeedMachineInstall(cleaned);
    RecordingLogger removed;
    const InstalledProducts installed =
        CleanRegistry(RegistryPass(cleaned, true, RegistryRuleTable(), &removed), nullptr);
    EXPECT_EQ(removed.records, planned.records);
    EXPECT_EQ(10u, planned.records.size());
    EXPECT_EQ(installed.packed, foreseen.packed);
    EXPECT_EQ(installed.localPackages, foreseen.localPackages);
}

// The cleaner that shares its searches between rules removes what the rules one by one remove.
TEST(InstallerRegistration, TheSharedSearchesRemoveWhatTheRulesOneByOneRemove) {
    MemoryRegistry shared, alone;
    SeedMachineInstall(shared);
    SeedMachineInstall(alone);
    RecordingLogger sharedLog, aloneLog;
    CleanRegistry(RegistryPass(shared, true, RegistryRuleTable(), &sharedLog), nullptr);
    CleanRegistryRuleByRule(RegistryPass(alone, true, RegistryRuleTable(), &aloneLog), nullptr);
    EXPECT_EQ(aloneLog.records, sharedLog.records);
    EXPECT_EQ(alone.allKeys(), shared.allKeys());
}

// The 64-bit build works in the 64-bit view alone; a 32-bit package's entry is found there by
// its Wow6432Node name, as rules 5 and 6 find the add-in's keys.
TEST(InstallerRegistration, The64BitBuildFindsThe32BitViewsEntryByName) {
    MemoryRegistry registry;
    SeedMachineInstall(registry);
    registry.setProcessView(RegistryView::Bits64);
    RecordingLogger logger;
    CleanRegistry(RegistryPass(registry, false, RegistryRuleTable(), &logger), nullptr);
    ASSERT_FALSE(logger.records.empty());
    EXPECT_EQ(kUninstall32 + kProduct, logger.records.back().target);
    EXPECT_FALSE(registry.exists(kUninstall + kProduct, RegistryView::Bits32));
    EXPECT_TRUE(registry.exists(kUninstall + kOtherBraced, RegistryView::Bits32));
}

// Which records may name a product code, and where that code then drives removals: the
// machine's own records, which only administrators and the installer service write, name it
// for the whole machine; a record in a user's hive, which that user can write, for that hive;
// a user's own installer data, which the service writes for an install the user chose, for
// that user's data and hive.
TEST(InstallerRegistration, OnlyTheMachinesOwnRecordsNameCodesForTheMachine) {
    constexpr wchar_t kSid[] = L"S-1-5-21-1-2-3-1001";
    constexpr wchar_t kSelf[] = L"S-1-5-21-1-2-3-1000";  // the user the program runs as
    const std::wstring hive = std::wstring(L"HKLM\\Loaded\\") + kSid;
    const std::wstring userProducts = L"\\SOFTWARE\\Microsoft\\Installer\\Products\\" + std::wstring(kOther);
    const std::wstring userEntry =
        L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + std::wstring(kOtherBraced);
    const auto userData = [](const wchar_t* sid) {
        return kInstallerData + L"UserData\\" + sid + L"\\Products\\" + kOther + L"\\InstallProperties";
    };
    const struct {
        std::wstring key;
        const wchar_t* value;
        RegistryView view;
        const wchar_t* hive;      // null: the machine's; "" HKCU; else the user's SID
        const wchar_t* userData;  // the SID whose own installer data names it, or null
    } sources[] = {
        {kClassesInstaller + L"Products\\" + kOther, L"ProductName", RegistryView::Bits64, nullptr, nullptr},
        {L"HKLM\\SOFTWARE\\Microsoft\\Installer\\Products\\" + std::wstring(kOther), L"ProductName",
         RegistryView::Bits64, nullptr, nullptr},
        {userData(L"S-1-5-18"), L"DisplayName", RegistryView::Bits64, nullptr, nullptr},
        {userData(kSid), L"DisplayName", RegistryView::Bits64, kSid, kSid},
        {userData(kSelf), L"DisplayName", RegistryView::Bits64, L"", kSelf},
        {kUninstall + kOtherBraced, L"DisplayName", RegistryView::Bits64, nullptr, nullptr},
        {kUninstall + kOtherBraced, L"DisplayName", RegistryView::Bits32, nullptr, nullptr},
        {kUninstall32 + kOtherBraced, L"DisplayName", RegistryView::Bits64, nullptr, nullptr},
        // Seen through HKCR on Windows, merged over the machine's classes.
        {L"HKCU\\SOFTWARE\\Classes\\Installer\\Products\\" + std::wstring(kOther), L"ProductName", RegistryView::Bits64,
         L"", nullptr},
        {L"HKCU" + userProducts, L"ProductName", RegistryView::Bits64, L"", nullptr},
        {L"HKCU" + userEntry, L"DisplayName", RegistryView::Bits64, L"", nullptr},
        {hive + userProducts, L"ProductName", RegistryView::Bits64, kSid, nullptr},
        {hive + userEntry, L"DisplayName", RegistryView::Bits64, kSid, nullptr},
    };
    using BySid = std::map<std::wstring, std::set<std::wstring>>;
    for (const auto& source : sources) {
        SCOPED_TRACE(source.key);
        MemoryRegistry registry;
        registry.useWindowsViews();
        registry.mergeClassesRoot();
        registry.createKey(hive);
        registry.setString(source.key, source.value, L"Tallowbrisk helper", REG_SZ, source.view);
        unique_registry_key user;
        ASSERT_EQ(ERROR_SUCCESS, OpenRegistryKey(registry, HKEY_LOCAL_MACHINE,
                                                 (L"Loaded\\" + std::wstring(kSid)).c_str(), KEY_ALL_ACCESS, user));
        InstalledProducts found = FindInstalledProducts(RegistryPass(registry, true, RegistryRuleTable()),
                                                        InstallerDataOwnersOfRun(true, kSelf));
        const UserHives hives{kSid, user.get().key, nullptr};
        const std::set<std::wstring> own =
            FindOwnProducts(RegistryPass(registry, true, RegistryRuleTable()).forUser(hives), found.packed);
        if (!own.empty()) found.ownHive[kSid] = own;
        const std::set<std::wstring> named{kOther};
        const bool machine = !source.hive;
        EXPECT_EQ(machine ? named : std::set<std::wstring>(), found.packed);
        // Another user's own data names codes for their hive when their turn comes (inHive).
        const bool inOwnHive = !machine && (!source.userData || !*source.hive);
        EXPECT_EQ(inOwnHive ? (BySid{{source.hive, named}}) : BySid(), found.ownHive);
        EXPECT_EQ(source.userData ? (BySid{{source.userData, named}}) : BySid(), found.userData);
        EXPECT_EQ(named, found.inHive(machine ? L"" : source.hive));
        // A code that a hive names reaches no one's installer data; one user's data, no one else's.
        for (const wchar_t* sid : {kSid, kSelf}) {
            const bool reaches = machine || (source.userData && std::wstring(source.userData) == sid);
            EXPECT_EQ(reaches ? named : std::set<std::wstring>(), found.inUserData(sid)) << sid;
        }
        EXPECT_EQ(machine ? std::vector<std::wstring>{kOtherBraced} : std::vector<std::wstring>{}, found.bracedCodes())
            << "the icons folder below %WINDIR%\\Installer";
    }
}

// Entries any user can write, beside another vendor's per-machine install: they name that
// product in the user's hive, where they go; every record of the machine's stays. So does it
// for a per-user install of a package the user wrote, with that product's code and the add-in's
// name: it goes from that user's installer data, with its cached package, and that is all.
TEST(InstallerRegistration, EntriesPlantedInAUsersHiveRemoveNothingOfTheMachines) {
    const std::wstring userProducts = kInstallerData + L"UserData\\S-1-5-21-1-2-3-1001\\Products";
    MemoryRegistry registry;
    SeedMachineInstall(registry);
    registry.setString(userProducts + L"\\" + kOther + L"\\InstallProperties", L"DisplayName",
                       L"Tallowbrisk for Outlook");
    registry.setString(userProducts + L"\\" + kOther + L"\\InstallProperties", L"LocalPackage",
                       L"C:\\windows\\Installer\\u1.msi");
    const std::wstring user = L"HKCU\\SOFTWARE\\Microsoft\\";
    registry.setString(user + L"Windows\\CurrentVersion\\Uninstall\\" + kOtherBraced, L"DisplayName",
                       L"Tallowbrisk helper");
    registry.setString(user + L"Installer\\Products\\" + kOther, L"ProductName", L"Tallowbrisk for Outlook");
    registry.setString(user + L"Installer\\Features\\" + kOther, L"Main", L"");
    registry.setString(user + L"Installer\\UpgradeCodes\\" + kOtherUpgrade, kOther, L"");
    registry.setString(L"HKCU\\SOFTWARE\\Classes\\Installer\\Products\\" + std::wstring(kOther), L"ProductName",
                       L"Tallowbrisk");
    RecordingLogger logger;
    const InstalledProducts installed =
        CleanRegistry(RegistryPass(registry, true, RegistryRuleTable(), &logger), nullptr);
    MemoryRegistry unplanted;
    SeedMachineInstall(unplanted);
    unplanted.createKey(userProducts);
    RecordingLogger unplantedLogger;
    CleanRegistry(RegistryPass(unplanted, true, RegistryRuleTable(), &unplantedLogger), nullptr);

    EXPECT_EQ(std::set<std::wstring>{kPacked}, installed.packed);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\windows\\Installer\\5d5d.msi", L"C:\\windows\\Installer\\u1.msi"}),
              installed.localPackages)
        << "not the other product's 77aa.msi";
    const auto machineKeys = [](const MemoryRegistry& seen) {
        std::vector<std::wstring> keys;
        for (const std::wstring& key : seen.allKeys()) {
            if (key.rfind(L"HKCU", 0) != 0) keys.push_back(key);
        }
        return keys;
    };
    EXPECT_EQ(machineKeys(unplanted), machineKeys(registry)) << "every machine-wide record of the other product's";
    std::vector<std::wstring> more;
    for (const std::wstring& target : logger.targets()) {
        const std::vector<std::wstring> known = unplantedLogger.targets();
        if (std::find(known.begin(), known.end(), target) == known.end()) more.push_back(target);
    }
    // The HKCR rule removes the user's classes key, as Windows' merged HKCR does.
    EXPECT_EQ(Marked({
                  L"HKCR\\Installer\\Products\\" + std::wstring(kOther),
                  user + L"Installer\\Products\\" + kOther,
                  userProducts + L"\\" + kOther,
                  user + L"Installer\\Features\\" + kOther,
                  user + L"Installer\\UpgradeCodes\\" + kOtherUpgrade,
                  user + L"Windows\\CurrentVersion\\Uninstall\\" + kOtherBraced,
              }),
              more);
}

// Without /allusers, another user's installer data below UserData\<SID> and Managed\<SID>, and
// the package cached for it, stay, as their own installer keys do; the machine's and the
// user's own go.
TEST(InstallerRegistration, ARunForOneUserLeavesOtherUsersInstallerData) {
    constexpr wchar_t kOwn[] = L"S-1-5-21-9-9-9-1000";
    constexpr wchar_t kAnother[] = L"S-1-5-21-9-9-9-1001";
    const auto seed = [&](MemoryRegistry& registry) {
        SeedMachineInstall(registry);
        for (const wchar_t* sid : {kOwn, kAnother}) {
            const std::wstring data = kInstallerData + L"UserData\\" + sid + L"\\";
            registry.setString(data + L"Products\\" + kPacked + L"\\InstallProperties", L"LocalPackage",
                               std::wstring(L"C:\\windows\\Installer\\") + sid + L".msi");
            registry.setString(data + L"Components\\F3E2D1A6C5B4E6D4F8071A2B3C4D5E77", kPacked, L"C:\\a.dll");
            registry.setString(kInstallerData + L"Managed\\" + sid + L"\\Installer\\Products\\" + kPacked,
                               L"ProductName", L"Tallowbrisk");
        }
    };
    const InstallerDataOwners one = InstallerDataOwnersOfRun(false, kOwn);
    EXPECT_TRUE(one.allows(L"S-1-5-18"));
    EXPECT_TRUE(one.allows(L"s-1-5-21-9-9-9-1000"));
    EXPECT_FALSE(one.allows(kAnother));
    EXPECT_FALSE(InstallerDataOwnersOfRun(false, L"").allows(kAnother));
    EXPECT_TRUE(InstallerDataOwnersOfRun(true, kOwn).allows(kAnother));

    for (const bool allUsers : {false, true}) {
        SCOPED_TRACE(allUsers ? "/allusers" : "one user");
        MemoryRegistry registry;
        seed(registry);
        const InstalledProducts installed = CleanRegistry(RegistryPass(registry, true, RegistryRuleTable()), nullptr,
                                                          InstallerDataOwnersOfRun(allUsers, kOwn));
        std::vector<std::wstring> packages{L"C:\\windows\\Installer\\5d5d.msi",
                                           std::wstring(L"C:\\windows\\Installer\\") + kOwn + L".msi"};
        if (allUsers) packages.push_back(std::wstring(L"C:\\windows\\Installer\\") + kAnother + L".msi");
        EXPECT_EQ(packages, installed.localPackages);
        for (const wchar_t* sid : {kOwn, kAnother}) {
            const bool stays = !allUsers && sid == kAnother;
            const std::wstring data = kInstallerData + L"UserData\\" + sid + L"\\";
            EXPECT_EQ(stays, registry.exists(data + L"Products\\" + kPacked)) << sid;
            EXPECT_EQ(stays, registry.exists(data + L"Components\\F3E2D1A6C5B4E6D4F8071A2B3C4D5E77")) << sid;
            EXPECT_EQ(stays,
                      registry.exists(kInstallerData + L"Managed\\" + sid + L"\\Installer\\Products\\" + kPacked))
                << sid;
        }
        EXPECT_FALSE(registry.exists(kSystemData + L"Products\\" + kPacked));
    }
}

}  // namespace
