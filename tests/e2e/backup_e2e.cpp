// The registry backup on Wine's real registry, driven by backup_test.py:
//   backup_e2e seed               makes the add-in's keys, with values of every type, in
//                                 several places the rules search, in both registry views
//   backup_e2e dump               prints each seeded key with its subtree, in both views,
//                                 every name and every value's type and bytes in hex
//   backup_e2e clean FOLDER       runs the registry cleaner in both views, as under WOW64,
//                                 logging and backing up to FOLDER\Logs\TallowBriskCleaner
//   backup_e2e clean-plain FOLDER the same without a backup
//   backup_e2e unseed             removes whatever seed made, the parents it had to make too

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/registry_steps.h"
#include "platform/registry_win32.h"
#include "registry/registry_backup_file.h"
#include "report/operations_logger.h"
#include "tests/e2e/both_views.h"

namespace {

struct Place {
    HKEY root;
    const wchar_t* path;
    const wchar_t* kept;  // the deepest of its parents that must stay, even empty
};

// The tops of what seed makes; unseed removes them, and their parents up to the kept one as
// far as they are empty.
const Place kPlaces[] = {
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\16.0\\Outlook\\Addins\\Tallowbrisk.Addin",
     L"Software\\Microsoft"},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\16.0\\Outlook\\Addins\\Mentioning.Addin",
     L"Software\\Microsoft"},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\16.0\\Outlook\\Addins\\Other.Addin", L"Software\\Microsoft"},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\16.0\\Outlook\\Resiliency", L"Software\\Microsoft"},
    {HKEY_LOCAL_MACHINE, L"Software\\Tallowbrisk", L"Software"},
    {HKEY_CLASSES_ROOT, L"Tallowbrisk.Connect", L""},
    // The 32-bit view's "CLSID", empty in a fresh prefix, goes once empty again, as the
    // registry cleaner's own end-to-end test leaves it.
    {HKEY_CLASSES_ROOT, L"CLSID\\{5E0B3A60-7C21-4E2B-9A51-3D1F0C6B7B01}", L""},
    {HKEY_CLASSES_ROOT, L"CLSID\\{5E0B3A60-7C21-4E2B-9A51-3D1F0C6B7B02}", L""},
    {HKEY_LOCAL_MACHINE,
     L"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\"
     L"06A3B5E07C2B1E4A9A153D1F0C6B7B03",
     L"Software\\Microsoft\\Windows\\CurrentVersion\\Installer"},
};

std::vector<BYTE> Text(const std::wstring& text, bool terminated = true) {
    const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(p, p + (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
}

struct Value {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
};

// Every value type the registry editor writes, and the REG_SZ data its quoted form cannot
// carry. Left out: string types whose data is not whole UTF-16 units ending in a NUL, which
// Wine's importers change (they add a terminator) or cannot read; and names with a line break,
// which the cleaner does not remove (Windows' import can't bring them back).
std::vector<Value> EveryKindOfValue() {
    std::vector<BYTE> big(100000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(i * 13 + 1);
    return {
        {L"", REG_SZ, Text(L"C:\\Program Files\\Tallowbrisk\\adxloader64.dll")},
        {L"quote\"and\\backslash \u00e9\u00fc \u2713", REG_SZ, Text(L"say \"hi\" to C:\\x \u00fcn\u00ef \u20ac")},
        {L"empty", REG_SZ, Text(L"")},
        {L"no bytes", REG_SZ, {}},
        {L"line breaks", REG_SZ, Text(L"one\r\ntwo\nthree")},
        {L"inner NUL", REG_SZ, Text(std::wstring(L"A\0B", 3))},
        {L"tab\tin name", REG_SZ, Text(L"tab\there")},
        {std::wstring(5000, L'N'), REG_SZ, Text(std::wstring(3000, L'D'))},
        {L"expand", REG_EXPAND_SZ, Text(L"%ProgramFiles%\\Tallowbrisk\\a.dll")},
        {L"multi", REG_MULTI_SZ, Text(std::wstring(L"one\0two\0", 8))},
        {L"binary", REG_BINARY, big},
        {L"empty binary", REG_BINARY, {}},
        {L"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {L"short dword", REG_DWORD, {1, 2, 3}},
        {L"long dword", REG_DWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {L"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 0x80}},
        {L"big-endian", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}},
        {L"none", REG_NONE, {0xAA, 0xBB}},
        {L"empty none", REG_NONE, {}},
        {L"resource list", REG_RESOURCE_LIST, {8, 0, 0, 0}},
        {L"own type", 0x100000, {0xFF}},
    };
}

struct Seed {
    HKEY root;
    std::wstring path;
    REGSAM view;
    std::vector<Value> values;
};

std::vector<Seed> Seeds() {
    const std::wstring addins = L"Software\\Microsoft\\Office\\16.0\\Outlook\\Addins";
    const std::wstring addin = addins + L"\\Tallowbrisk.Addin";
    std::wstring deep = addin + L"\\Deep";
    for (int level = 0; level < 100; ++level) deep += L"\\k";
    const std::wstring resiliency = L"Software\\Microsoft\\Office\\16.0\\Outlook\\Resiliency";
    const std::wstring class64 = kPlaces[6].path, class32 = kPlaces[7].path;
    const std::wstring product = kPlaces[8].path;
    return {
        {HKEY_CURRENT_USER, addin, 0, EveryKindOfValue()},
        {HKEY_CURRENT_USER, addin + L"\\Empty", 0, {}},
        {HKEY_CURRENT_USER, addin + L"\\br]acket [x] ", 0, {{L"", REG_SZ, Text(L"brackets")}}},
        {HKEY_CURRENT_USER, addin + L"\\\u00fcn\u00ef\u00e7\u00f8d\u00e9\\Inner", 0, {{L"d", REG_DWORD, {1, 0, 0, 0}}}},
        {HKEY_CURRENT_USER, deep, 0, {{L"Bottom", REG_SZ, Text(L"101 levels down")}}},
        {HKEY_CURRENT_USER,
         addins + L"\\Mentioning.Addin",
         0,
         {{L"Manifest", REG_SZ, Text(L"file:///C:/Program Files/Tallowbrisk/Tallowbrisk.vsto|vstolocal")},
          {L"LoadBehavior", REG_DWORD, {3, 0, 0, 0}}}},
        {HKEY_CURRENT_USER, addins + L"\\Other.Addin", 0, {{L"Manifest", REG_SZ, Text(L"file:///C:/Other.vsto")}}},
        {HKEY_CURRENT_USER, resiliency + L"\\DisabledItems", 0, {{L"1A2B", REG_BINARY, {0x01, 0x00, 0x00, 0x00}}}},
        {HKEY_CURRENT_USER, resiliency + L"\\StartupItems", 0, {}},
        {HKEY_LOCAL_MACHINE, L"Software\\Tallowbrisk\\Addin\\Settings", KEY_WOW64_64KEY, EveryKindOfValue()},
        {HKEY_LOCAL_MACHINE,
         L"Software\\Tallowbrisk\\Updates",
         KEY_WOW64_32KEY,
         {{L"Channel", REG_SZ, Text(L"stable")},
          {L"Skipped", REG_MULTI_SZ,
           Text(std::wstring(L"1.2\0"
                             "1.3\0",
                             8))}}},
        {HKEY_CLASSES_ROOT, L"Tallowbrisk.Connect\\CLSID", 0, {{L"", REG_SZ, Text(class64.substr(6))}}},
        {HKEY_CLASSES_ROOT,
         class64 + L"\\InprocServer32",
         KEY_WOW64_64KEY,
         {{L"", REG_SZ, Text(L"C:\\Program Files\\Tallowbrisk\\adxloader64.dll")},
          {L"ThreadingModel", REG_SZ, Text(L"Both")}}},
        {HKEY_CLASSES_ROOT,
         class32 + L"\\InprocServer32",
         KEY_WOW64_32KEY,
         {{L"", REG_EXPAND_SZ, Text(L"%ProgramFiles(x86)%\\Other\\loader.dll")},
          {L"CodeBase", REG_SZ, Text(L"file:///C:/Program Files (x86)/Tallowbrisk/adxloader.dll")}}},
        {HKEY_LOCAL_MACHINE,
         product + L"\\InstallProperties",
         0,
         {{L"DisplayName", REG_SZ, Text(L"Tallowbrisk for Outlook")}, {L"Version", REG_DWORD, {0, 0, 15, 1}}}},
    };
}

int SeedKeys() {
    for (const Seed& seed : Seeds()) {
        HKEY key;
        LSTATUS status = RegCreateKeyExW(seed.root, seed.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | seed.view,
                                         nullptr, &key, nullptr);
        if (status != ERROR_SUCCESS) {
            std::fprintf(stderr, "cannot make a key: %ld\n", status);
            return 1;
        }
        for (const Value& value : seed.values) {
            status = RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(),
                                    static_cast<DWORD>(value.data.size()));
            if (status != ERROR_SUCCESS) {
                std::fprintf(stderr, "cannot set a value: %ld\n", status);
                return 1;
            }
        }
        RegCloseKey(key);
    }
    return 0;
}

// Deletes the place with its subtree, then each parent left empty, up to the first one that
// is not or the one a fresh prefix has.
void Unmake(const Place& place, REGSAM view) {
    std::wstring path = place.path;
    size_t slash = path.rfind(L'\\');
    HKEY parent;
    const std::wstring above = slash == std::wstring::npos ? L"" : path.substr(0, slash);
    if (RegOpenKeyExW(place.root, above.c_str(), 0, KEY_ALL_ACCESS | view, &parent) == ERROR_SUCCESS) {
        RegDeleteTreeW(parent, path.substr(slash + 1).c_str());
        RegCloseKey(parent);
    }
    const std::wstring kept = place.kept;
    while ((slash = path.rfind(L'\\')) != std::wstring::npos && slash > kept.size()) {
        path.resize(slash);
        if (RegDeleteKeyExW(place.root, path.c_str(), view, 0) != ERROR_SUCCESS) break;
    }
}

int UnseedKeys() {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        for (const Place& place : kPlaces) Unmake(place, view);
    }
    return 0;
}

void PrintHex(const void* data, size_t size) {
    const BYTE* bytes = static_cast<const BYTE*>(data);
    for (size_t i = 0; i < size; ++i) std::printf("%02x", bytes[i]);
}

// One line per key and per value, in enumeration order: names and data as hex bytes.
void DumpTree(HKEY key, const std::wstring& path) {
    std::printf("K ");
    PrintHex(path.data(), path.size() * sizeof(wchar_t));
    std::printf("\n");
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data(1 << 20);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LSTATUS status = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        std::printf("V ");
        if (status != ERROR_SUCCESS) {
            std::printf("unreadable %ld\n", status);
            continue;
        }
        PrintHex(name.data(), nameLength * sizeof(wchar_t));
        std::printf(" %lx ", type);
        PrintHex(data.data(), size);
        std::printf("\n");
    }
    for (DWORD index = 0;; ++index) {
        wchar_t child[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY opened;
        if (RegOpenKeyExW(key, child, 0, KEY_READ, &opened) == ERROR_SUCCESS) {
            DumpTree(opened, path + L"\\" + child);
            RegCloseKey(opened);
        }
    }
}

int Dump() {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        for (const Place& place : kPlaces) {
            std::printf("%s ", view == KEY_WOW64_64KEY ? "64" : "32");
            HKEY key;
            if (RegOpenKeyExW(place.root, place.path, 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
                std::printf("missing\n");
                continue;
            }
            DumpTree(key, place.path);
            RegCloseKey(key);
        }
    }
    return 0;
}

// The backup file, timed.
class TimedBackup : public RegistryBackupFile {
public:
    using RegistryBackupFile::RegistryBackupFile;
    BackupOutcome save(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access,
                       const std::wstring& keyName) override {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        const BackupOutcome outcome = RegistryBackupFile::save(registry, parent, path, access, keyName);
        QueryPerformanceCounter(&end);
        ticks += end.QuadPart - start.QuadPart;
        return outcome;
    }
    LONGLONG ticks = 0;
};

int Clean(const wchar_t* windowsFolder, bool withBackup) {
    OperationsLoggerFile logger(windowsFolder);
    TimedBackup backup(windowsFolder);
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    CleanRegistry(
        RegistryPass(SystemRegistry(), CleanBothViews(), RegistryRuleTable(), &logger, withBackup ? &backup : nullptr),
        nullptr);
    QueryPerformanceCounter(&end);
    std::printf("%d removal records in %.0f ms, %.1f ms of them saving the backup\n", logger.removalCount(),
                1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart,
                1000.0 * backup.ticks / frequency.QuadPart);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"seed") return SeedKeys();
    if (command == L"unseed") return UnseedKeys();
    if (command == L"dump") return Dump();
    if (command == L"clean" && argc > 2) return Clean(argv[2], true);
    if (command == L"clean-plain" && argc > 2) return Clean(argv[2], false);
    std::fputs("usage: backup_e2e seed | dump | clean WINDOWS_FOLDER | clean-plain WINDOWS_FOLDER | unseed\n", stderr);
    return 2;
}
