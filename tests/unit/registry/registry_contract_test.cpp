// The same expectations of RegistryApi against advapi32 (in sandbox keys of Wine's real
// registry) and against the in-memory registry, so that the tests of the cleaner on the
// in-memory registry say something about the real one.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry_key.h"
#include "platform/registry_win32.h"
#include "tests/unit/support/registry_memory.h"

namespace {

const wchar_t kSandbox[] = L"Software\\TallowbriskCleanerTests\\Contract";

std::vector<BYTE> Bytes(const void* data, size_t size) {
    const BYTE* p = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(p, p + size);
}

std::vector<BYTE> Text(const std::wstring& text) { return Bytes(text.c_str(), (text.size() + 1) * sizeof(wchar_t)); }

// A registry with a way to make keys and values in it. Paths are below a root key, with
// the view given by `view` (0, KEY_WOW64_64KEY or KEY_WOW64_32KEY).
class Sandbox {
public:
    virtual ~Sandbox() = default;
    virtual RegistryApi& api() = 0;
    virtual void create(HKEY root, const std::wstring& path, REGSAM view = 0) = 0;
    virtual void set(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
                     const std::vector<BYTE>& data, REGSAM view = 0) = 0;
    // Makes root\path a registry link to root\target, as a user can in their own hive.
    virtual void link(HKEY root, const std::wstring& path, const std::wstring& target) = 0;
};

class MemorySandbox : public Sandbox {
public:
    MemorySandbox() { registry_.useWindowsViews(); }
    RegistryApi& api() override { return registry_; }
    void create(HKEY root, const std::wstring& path, REGSAM view = 0) override {
        registry_.createKey(Name(root) + L"\\" + path, View(view));
    }
    void set(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const std::vector<BYTE>& data,
             REGSAM view = 0) override {
        registry_.setValue(Name(root) + L"\\" + path, name, type, data, View(view));
    }
    void link(HKEY root, const std::wstring& path, const std::wstring& target) override {
        registry_.createLink(Name(root) + L"\\" + path, Name(root) + L"\\" + target);
    }
    ~MemorySandbox() override { EXPECT_EQ(0u, registry_.openHandles()); }

private:
    static std::wstring Name(HKEY root) {
        return root == HKEY_LOCAL_MACHINE ? L"HKLM" : root == HKEY_CURRENT_USER ? L"HKCU" : L"HKCR";
    }
    static RegistryView View(REGSAM view) {
        return view == KEY_WOW64_32KEY ? RegistryView::Bits32 : RegistryView::Bits64;
    }
    MemoryRegistry registry_;
};

class Win32Sandbox : public Sandbox {
public:
    Win32Sandbox() { Clear(); }
    ~Win32Sandbox() override {
        // The links first, each as itself: deleting the tree through them would follow them.
        for (const auto& [root, path] : links_) {
            HKEY key;
            if (RegOpenKeyExW(root, path.c_str(), REG_OPTION_OPEN_LINK, DELETE, &key) == ERROR_SUCCESS) {
                EXPECT_EQ(ERROR_SUCCESS, DeleteOpenedKey(key));
                RegCloseKey(key);
            }
        }
        Clear();
    }
    RegistryApi& api() override { return registry_; }
    void create(HKEY root, const std::wstring& path, REGSAM view = 0) override {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr));
        RegCloseKey(key);
    }
    void set(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const std::vector<BYTE>& data,
             REGSAM view = 0) override {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr));
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name.c_str(), 0, type, data.data(), data.size()));
        RegCloseKey(key);
    }
    void link(HKEY root, const std::wstring& path, const std::wstring& target) override {
        // The link names its target by the kernel's name of it, without a terminator.
        unique_registry_key targetKey;
        std::wstring targetName;
        ASSERT_EQ(ERROR_SUCCESS, OpenRegistryKey(registry_, root, target.c_str(), KEY_READ, targetKey));
        ASSERT_EQ(ERROR_SUCCESS, registry_.queryKeyName(targetKey.get().key, &targetName));
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                                                 KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &key, nullptr));
        links_.emplace_back(root, path);
        EXPECT_EQ(ERROR_SUCCESS,
                  RegSetValueExW(key, kLinkValueName, 0, REG_LINK, reinterpret_cast<const BYTE*>(targetName.data()),
                                 static_cast<DWORD>(targetName.size() * sizeof(wchar_t))));
        RegCloseKey(key);
    }

private:
    static void Clear() {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
                HKEY software;
                if (RegOpenKeyExW(root, L"Software", 0, KEY_ALL_ACCESS | view, &software) == ERROR_SUCCESS) {
                    RegDeleteTreeW(software, L"TallowbriskCleanerTests\\Contract");
                    RegDeleteKeyExW(software, L"TallowbriskCleanerTests", view, 0);
                    RegCloseKey(software);
                }
            }
        }
    }
    Win32Registry registry_;
    std::vector<std::pair<HKEY, std::wstring>> links_;
};

template <typename T>
class RegistryContract : public ::testing::Test {
protected:
    T sandbox;
    RegistryApi& api() { return sandbox.api(); }
    std::wstring at(const std::wstring& below) { return std::wstring(kSandbox) + L"\\" + below; }
};

using Implementations = ::testing::Types<MemorySandbox, Win32Sandbox>;
TYPED_TEST_SUITE(RegistryContract, Implementations);

TYPED_TEST(RegistryContract, OpensExistingKeysAndReportsMissingOnes) {
    this->sandbox.create(HKEY_CURRENT_USER, this->at(L"Present\\Child"));
    unique_registry_key key;
    EXPECT_EQ(ERROR_SUCCESS,
              OpenRegistryKey(this->api(), HKEY_CURRENT_USER, this->at(L"Present").c_str(), KEY_ALL_ACCESS, key));
    unique_registry_key child;
    EXPECT_EQ(ERROR_SUCCESS, OpenRegistryKey(this->api(), key.get().key, L"Child", KEY_READ, child));
    unique_registry_key again;
    EXPECT_EQ(ERROR_SUCCESS, OpenRegistryKey(this->api(), key.get().key, L"cHILD", KEY_READ, again))
        << "key names are not case-sensitive";
    unique_registry_key missing;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, OpenRegistryKey(this->api(), key.get().key, L"Absent", KEY_READ, missing));
    EXPECT_FALSE(missing);
    unique_registry_key root;
    EXPECT_EQ(ERROR_SUCCESS, OpenRegistryKey(this->api(), HKEY_CLASSES_ROOT, L"", KEY_READ, root));
    EXPECT_EQ(HKEY_CLASSES_ROOT, root.get().key) << "the empty path gives the predefined key back";
}

TYPED_TEST(RegistryContract, EnumeratesSubkeysWithinTheCallersBuffer) {
    for (const wchar_t* name : {L"bravo", L"Alpha", L"charlie6"}) {
        this->sandbox.create(HKEY_CURRENT_USER, this->at(L"Enum\\") + name);
    }
    unique_registry_key key;
    ASSERT_EQ(ERROR_SUCCESS, OpenRegistryKey(this->api(), HKEY_CURRENT_USER, this->at(L"Enum").c_str(), KEY_READ, key));
    RegistryKeyInfo info;
    ASSERT_EQ(ERROR_SUCCESS, this->api().queryInfoKey(key.get().key, &info));
    EXPECT_EQ(3u, info.subkeys);
    EXPECT_EQ(8u, info.maxSubkeyLength);
    EXPECT_EQ(0u, info.values);

    std::set<std::wstring> names;
    for (DWORD index = 0; index < 3; ++index) {
        wchar_t name[16];
        DWORD length = 16;
        ASSERT_EQ(ERROR_SUCCESS, this->api().enumKey(key.get().key, index, name, &length));
        EXPECT_EQ(std::wcslen(name), length);
        names.insert(name);
    }
    EXPECT_EQ((std::set<std::wstring>{L"Alpha", L"bravo", L"charlie6"}), names) << "names keep their case";
    wchar_t name[16];
    DWORD length = 16;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, this->api().enumKey(key.get().key, 3, name, &length));

    // "charlie6" needs 9 characters with its terminator.
    DWORD index = 0;
    for (; index < 3; ++index) {
        length = 16;
        this->api().enumKey(key.get().key, index, name, &length);
        if (std::wstring(name) == L"charlie6") break;
    }
    length = 8;
    EXPECT_EQ(ERROR_MORE_DATA, this->api().enumKey(key.get().key, index, name, &length));
    length = 9;
    EXPECT_EQ(ERROR_SUCCESS, this->api().enumKey(key.get().key, index, name, &length));
    EXPECT_EQ(8u, length);
}

TYPED_TEST(RegistryContract, ReadsValuesWholeOfEveryType) {
    const std::wstring path = this->at(L"Values");
    const BYTE binary[] = {0, 1, 2, 0xFE, 0xFF};
    const DWORD number = 0x12345678;
    const wchar_t multi[] = L"one\0two\0";
    std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> expected = {
        {L"", {REG_SZ, Text(L"default text")}},
        {L"Binary", {REG_BINARY, Bytes(binary, sizeof binary)}},
        {L"Number", {REG_DWORD, Bytes(&number, sizeof number)}},
        {L"Multi", {REG_MULTI_SZ, Bytes(multi, sizeof multi)}},
        {L"Expand", {REG_EXPAND_SZ, Text(L"%SystemRoot%\\x.dll")}},
        {L"Thirteen char", {REG_DWORD, Bytes(&number, sizeof number)}},
        {L"Empty", {REG_BINARY, {}}},
    };
    for (const auto& [name, value] : expected) {
        this->sandbox.set(HKEY_CURRENT_USER, path, name, value.first, value.second);
    }
    unique_registry_key key;
    ASSERT_EQ(ERROR_SUCCESS, OpenRegistryKey(this->api(), HKEY_CURRENT_USER, path.c_str(), KEY_READ, key));
    RegistryKeyInfo info;
    ASSERT_EQ(ERROR_SUCCESS, this->api().queryInfoKey(key.get().key, &info));
    ASSERT_EQ(expected.size(), info.values);
    EXPECT_EQ(13u, info.maxValueNameLength);
    EXPECT_EQ(38u, info.maxValueDataSize);

    std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> read;
    for (DWORD index = 0; index < info.values; ++index) {
        std::vector<wchar_t> name(info.maxValueNameLength + 1);
        std::vector<BYTE> data(info.maxValueDataSize);
        DWORD nameLength = name.size(), type = 0, size = data.size();
        ASSERT_EQ(ERROR_SUCCESS,
                  this->api().enumValue(key.get().key, index, name.data(), &nameLength, &type, data.data(), &size));
        data.resize(size);
        read[std::wstring(name.data(), nameLength)] = {type, data};
    }
    EXPECT_EQ(expected, read);
}

TYPED_TEST(RegistryContract, RefusesValuesThatDoNotFit) {
    const std::wstring path = this->at(L"Big");
    this->sandbox.set(HKEY_CURRENT_USER, path, L"Twelve chars", REG_SZ, Text(L"0123456789"));  // 22 bytes
    unique_registry_key key;
    ASSERT_EQ(ERROR_SUCCESS, OpenRegistryKey(this->api(), HKEY_CURRENT_USER, path.c_str(), KEY_READ, key));
    wchar_t name[32];
    BYTE data[32];
    DWORD nameLength = 12, type = 0, size = sizeof data;
    EXPECT_EQ(ERROR_MORE_DATA, this->api().enumValue(key.get().key, 0, name, &nameLength, &type, data, &size))
        << "the name needs 13 characters with its terminator";
    nameLength = 13;
    size = 21;
    EXPECT_EQ(ERROR_MORE_DATA, this->api().enumValue(key.get().key, 0, name, &nameLength, &type, data, &size));
    nameLength = 13;
    size = 22;
    EXPECT_EQ(ERROR_SUCCESS, this->api().enumValue(key.get().key, 0, name, &nameLength, &type, data, &size));
    EXPECT_EQ(22u, size);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, this->api().enumValue(key.get().key, 1, name, &nameLength, &type, data, &size));
}

TYPED_TEST(RegistryContract, DeletesOnlyKeysWithoutSubkeys) {
    this->sandbox.create(HKEY_CURRENT_USER, this->at(L"Del\\Parent\\Leaf"));
    unique_registry_key del;
    ASSERT_EQ(ERROR_SUCCESS,
              OpenRegistryKey(this->api(), HKEY_CURRENT_USER, this->at(L"Del").c_str(), KEY_ALL_ACCESS, del));
    unique_registry_key parent;
    ASSERT_EQ(ERROR_SUCCESS, OpenRegistryKey(this->api(), del.get().key, L"Parent", KEY_ALL_ACCESS, parent));

    EXPECT_EQ(ERROR_ACCESS_DENIED, this->api().deleteKey(del.get().key, L"Parent", 0));
    EXPECT_EQ(ERROR_SUCCESS, this->api().deleteKey(del.get().key, L"Parent\\Leaf", 0));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, this->api().deleteKey(del.get().key, L"Parent\\Leaf", 0));
    EXPECT_EQ(ERROR_SUCCESS, this->api().deleteKey(del.get().key, L"Parent", 0)) << "an open handle does not keep it";

    RegistryKeyInfo info;
    EXPECT_EQ(ERROR_KEY_DELETED, this->api().queryInfoKey(parent.get().key, &info));
    unique_registry_key gone;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, OpenRegistryKey(this->api(), del.get().key, L"Parent", KEY_READ, gone));
}

// HKLM\Software is redirected under WOW64; HKCU\Software is shared by both views.
TYPED_TEST(RegistryContract, ShowsEachViewItsOwnRedirectedKeys) {
    const std::wstring views = L"Software\\TallowbriskCleanerTests\\Contract\\Views";
    this->sandbox.create(HKEY_LOCAL_MACHINE, views + L"\\Only64", KEY_WOW64_64KEY);
    this->sandbox.create(HKEY_LOCAL_MACHINE, views + L"\\Only32\\Inner", KEY_WOW64_32KEY);
    this->sandbox.create(HKEY_CURRENT_USER, views + L"\\Shared");
    RegistryApi& api = this->api();

    unique_registry_key key;
    EXPECT_EQ(ERROR_SUCCESS,
              OpenRegistryKey(api, HKEY_LOCAL_MACHINE, (views + L"\\Only64").c_str(), KEY_READ | KEY_WOW64_64KEY, key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              OpenRegistryKey(api, HKEY_LOCAL_MACHINE, (views + L"\\Only64").c_str(), KEY_READ | KEY_WOW64_32KEY, key));
    EXPECT_EQ(ERROR_SUCCESS,
              OpenRegistryKey(api, HKEY_LOCAL_MACHINE, (views + L"\\Only32").c_str(), KEY_READ | KEY_WOW64_32KEY, key));
    EXPECT_EQ(ERROR_SUCCESS, OpenRegistryKey(api, HKEY_LOCAL_MACHINE,
                                             L"Software\\Wow6432Node\\TallowbriskCleanerTests\\Contract\\Views\\Only32",
                                             KEY_READ | KEY_WOW64_64KEY, key))
        << "the 64-bit view shows the 32-bit keys below Wow6432Node";
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        EXPECT_EQ(ERROR_SUCCESS,
                  OpenRegistryKey(api, HKEY_CURRENT_USER, (views + L"\\Shared").c_str(), KEY_READ | view, key));
    }

    // A 64-bit process opening a subkey without a view bit stays in the view of its parent.
    unique_registry_key only32;
    ASSERT_EQ(ERROR_SUCCESS, OpenRegistryKey(api, HKEY_LOCAL_MACHINE, (views + L"\\Only32").c_str(),
                                             KEY_ALL_ACCESS | KEY_WOW64_32KEY, only32));
    EXPECT_EQ(ERROR_SUCCESS, OpenRegistryKey(api, only32.get().key, L"Inner", KEY_READ, key));
    only32.reset();
    key.reset();

    unique_registry_key parent32, parent64;
    ASSERT_EQ(ERROR_SUCCESS,
              OpenRegistryKey(api, HKEY_LOCAL_MACHINE, views.c_str(), KEY_ALL_ACCESS | KEY_WOW64_32KEY, parent32));
    ASSERT_EQ(ERROR_SUCCESS,
              OpenRegistryKey(api, HKEY_LOCAL_MACHINE, views.c_str(), KEY_ALL_ACCESS | KEY_WOW64_64KEY, parent64));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, api.deleteKey(parent64.get().key, L"Only32\\Inner", KEY_WOW64_64KEY));
    EXPECT_EQ(ERROR_SUCCESS, api.deleteKey(parent32.get().key, L"Only32\\Inner", KEY_WOW64_32KEY));
    EXPECT_EQ(ERROR_SUCCESS, api.deleteKey(parent64.get().key, L"Only64", KEY_WOW64_64KEY));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              OpenRegistryKey(api, HKEY_LOCAL_MACHINE, (views + L"\\Only64").c_str(), KEY_READ | KEY_WOW64_64KEY, key));
}

// A link is followed by every step of a path that meets it, but for the last step of an open
// that asks for REG_OPTION_OPEN_LINK: that one opens the link itself, whose only value names the
// target. A delete never follows its last step, and refuses a link: the link and its target stay.
TYPED_TEST(RegistryContract, TakesALinkAsItIsOnlyWhenAskedAndNeverDeletesThroughIt) {
    this->sandbox.create(HKEY_CURRENT_USER, this->at(L"Target\\Child"));
    this->sandbox.set(HKEY_CURRENT_USER, this->at(L"Target"), L"Kept", REG_SZ, Text(L"the target's"));
    this->sandbox.link(HKEY_CURRENT_USER, this->at(L"Links\\ToTarget"), this->at(L"Target"));
    RegistryApi& api = this->api();
    unique_registry_key links;
    ASSERT_EQ(ERROR_SUCCESS, OpenRegistryKey(api, HKEY_CURRENT_USER, this->at(L"Links").c_str(), KEY_READ, links));

    unique_registry_key followed;
    ASSERT_EQ(ERROR_SUCCESS, OpenRegistryKey(api, links.get().key, L"ToTarget", KEY_READ, followed));
    RegistryKeyInfo info;
    ASSERT_EQ(ERROR_SUCCESS, api.queryInfoKey(followed.get().key, &info));
    EXPECT_EQ(1u, info.subkeys);
    bool link = true;
    EXPECT_EQ(ERROR_SUCCESS, QueryKeyIsLink(api, followed.get().key, &link));
    EXPECT_FALSE(link);

    unique_registry_key itself;
    ASSERT_EQ(ERROR_SUCCESS,
              OpenRegistryKey(api, links.get().key, L"ToTarget", KEY_READ, itself, REG_OPTION_OPEN_LINK));
    ASSERT_EQ(ERROR_SUCCESS, api.queryInfoKey(itself.get().key, &info));
    EXPECT_EQ(0u, info.subkeys);
    EXPECT_EQ(1u, info.values);
    EXPECT_EQ(ERROR_SUCCESS, QueryKeyIsLink(api, itself.get().key, &link));
    EXPECT_TRUE(link);
    itself.reset();

    unique_registry_key refused;
    EXPECT_EQ(kKeyIsLink, OpenKeyRefusingLink(api, links.get().key, L"ToTarget", KEY_READ, refused));
    EXPECT_FALSE(refused);
    EXPECT_EQ(ERROR_SUCCESS, OpenKeyRefusingLink(api, links.get().key, L"ToTarget\\Child", KEY_READ, refused))
        << "the steps before the last are followed";
    refused.reset();

    EXPECT_EQ(kKeyIsLink, api.deleteKey(links.get().key, L"ToTarget", 0));
    EXPECT_EQ(ERROR_ACCESS_DENIED, api.deleteKey(HKEY_CURRENT_USER, this->at(L"Target").c_str(), 0));
    unique_registry_key still;
    EXPECT_EQ(ERROR_SUCCESS, OpenRegistryKey(api, links.get().key, L"ToTarget\\Child", KEY_READ, still))
        << "the link and its target stay";
}

// A key is named by what it really is: one name for a key both views share, one per view for
// a redirected key, whichever way it was reached.
TYPED_TEST(RegistryContract, NamesEachKeyByWhatItIs) {
    const std::wstring views = L"Software\\TallowbriskCleanerTests\\Contract\\Names";
    this->sandbox.create(HKEY_LOCAL_MACHINE, views + L"\\Split", KEY_WOW64_64KEY);
    this->sandbox.create(HKEY_LOCAL_MACHINE, views + L"\\Split", KEY_WOW64_32KEY);
    this->sandbox.create(HKEY_CURRENT_USER, views + L"\\Shared");
    RegistryApi& api = this->api();
    auto name = [&](HKEY root, const std::wstring& path, REGSAM view) {
        unique_registry_key key;
        std::wstring text;
        EXPECT_EQ(ERROR_SUCCESS, OpenRegistryKey(api, root, path.c_str(), KEY_READ | view, key));
        EXPECT_EQ(ERROR_SUCCESS, api.queryKeyName(key.get().key, &text));
        CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
        return text;
    };
    const std::wstring shared64 = name(HKEY_CURRENT_USER, views + L"\\Shared", KEY_WOW64_64KEY);
    EXPECT_NE(std::wstring::npos, shared64.find(L"\\CONTRACT\\NAMES\\SHARED")) << shared64;
    EXPECT_EQ(shared64, name(HKEY_CURRENT_USER, views + L"\\Shared", KEY_WOW64_32KEY));

    const std::wstring split64 = name(HKEY_LOCAL_MACHINE, views + L"\\Split", KEY_WOW64_64KEY);
    const std::wstring split32 = name(HKEY_LOCAL_MACHINE, views + L"\\Split", KEY_WOW64_32KEY);
    EXPECT_NE(split64, split32);
    EXPECT_EQ(std::wstring::npos, split64.find(L"WOW6432NODE")) << split64;
    EXPECT_NE(std::wstring::npos, split32.find(L"WOW6432NODE")) << split32;
    EXPECT_EQ(split32,
              name(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\TallowbriskCleanerTests\\Contract\\Names\\Split",
                   KEY_WOW64_64KEY));
    std::wstring machine;
    ASSERT_EQ(ERROR_SUCCESS, api.queryKeyName(HKEY_LOCAL_MACHINE, &machine));
    CharUpperBuffW(&machine[0], static_cast<DWORD>(machine.size()));
    EXPECT_EQ(0u, split64.rfind(machine + L"\\", 0)) << "the machine's root names its keys";
    EXPECT_NE(0u, shared64.rfind(machine + L"\\", 0));
}

}  // namespace
