// The registry cleaner on Wine's real registry, driven by registry_e2e_test.py:
//   registry_e2e seed            makes the add-in's keys (and some that are not its own) in
//                                the places the rules search, in both registry views
//   registry_e2e clean FOLDER    runs the cleaner in both views, as under WOW64, logging to
//                                FOLDER\Logs\TallowBriskCleaner
//   registry_e2e unseed          removes whatever seed made, the parents it had to make too

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/registry_steps.h"
#include "platform/registry_win32.h"
#include "report/operations_logger.h"
#include "tests/e2e/both_views.h"

namespace {

struct Seed {
    HKEY root;
    std::wstring path;
    REGSAM view;
    const wchar_t* valueName;  // null: no value
    DWORD type;
    std::wstring text;
};

const wchar_t kAddins[] = L"Software\\Microsoft\\Office\\16.0\\Outlook\\Addins";
const wchar_t kResiliency[] = L"Software\\Microsoft\\Office\\16.0\\Outlook\\Resiliency";
const wchar_t kClass64[] = L"CLSID\\{5E0B3A60-7C21-4E2B-9A51-3D1F0C6B7A01}";
const wchar_t kClass32[] = L"CLSID\\{5E0B3A60-7C21-4E2B-9A51-3D1F0C6B7A02}";
const wchar_t kClassOld[] = L"CLSID\\{5E0B3A60-7C21-4E2B-9A51-3D1F0C6B7A03}";

std::vector<Seed> Seeds() {
    const std::wstring addins = kAddins, resiliency = kResiliency;
    const std::wstring c64 = kClass64, c32 = kClass32, cOld = kClassOld;
    return {
        {HKEY_CURRENT_USER, addins + L"\\Tallowbrisk.Addin", 0, L"LoadBehavior", REG_DWORD, L""},
        {HKEY_CURRENT_USER, addins + L"\\Mentioning.Addin", 0, L"Manifest", REG_SZ,
         L"file:///C:/Program Files/Tallowbrisk/Tallowbrisk.vsto|vstolocal"},
        {HKEY_CURRENT_USER, addins + L"\\Other.Addin", 0, L"Manifest", REG_SZ,
         L"file:///C:/Program Files/Other/Other.vsto|vstolocal"},
        {HKEY_CURRENT_USER, resiliency + L"\\DisabledItems", 0, L"1A2B", REG_BINARY, L"xyz"},
        {HKEY_CURRENT_USER, resiliency + L"\\StartupItems", 0, nullptr, 0, L""},
        {HKEY_CLASSES_ROOT, c64, KEY_WOW64_64KEY, L"", REG_SZ, L"Connect"},
        {HKEY_CLASSES_ROOT, c64 + L"\\InprocServer32", KEY_WOW64_64KEY, L"", REG_SZ,
         L"C:\\Program Files\\Tallowbrisk\\adxloader64.dll"},
        {HKEY_CLASSES_ROOT, c64 + L"\\InprocServer32", KEY_WOW64_64KEY, L"ThreadingModel", REG_SZ, L"Both"},
        {HKEY_CLASSES_ROOT, c64 + L"\\ProgID", KEY_WOW64_64KEY, L"", REG_SZ, L"Connect.Addin"},
        {HKEY_CLASSES_ROOT, c32 + L"\\InprocServer32", KEY_WOW64_32KEY, L"", REG_SZ,
         L"C:\\Program Files (x86)\\Tallowbrisk\\adxloader.dll"},
        {HKEY_CLASSES_ROOT, cOld + L"\\InprocServer32", KEY_WOW64_64KEY, L"CodeBase", REG_SZ,
         L"file:///C:/TallowBrisk/old.dll"},
        {HKEY_CLASSES_ROOT, L"Tallowbrisk.Connect\\CLSID", KEY_WOW64_64KEY, L"", REG_SZ, kClass64 + 6},
        {HKEY_LOCAL_MACHINE, L"Software\\Tallowbrisk\\Addin\\Settings", KEY_WOW64_64KEY, L"Level", REG_SZ, L"3"},
        {HKEY_LOCAL_MACHINE, L"Software\\Tallowbrisk\\Updates", KEY_WOW64_64KEY, nullptr, 0, L""},
        {HKEY_LOCAL_MACHINE, L"Software\\Tallowbrisk\\Updates", KEY_WOW64_32KEY, L"Channel", REG_SZ, L"stable"},
    };
}

int SeedKeys() {
    for (const Seed& seed : Seeds()) {
        HKEY key;
        LSTATUS status = RegCreateKeyExW(seed.root, seed.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | seed.view,
                                         nullptr, &key, nullptr);
        if (status != ERROR_SUCCESS) {
            std::fwprintf(stderr, L"cannot make %ls: %ld\n", seed.path.c_str(), status);
            return 1;
        }
        if (seed.valueName) {
            std::vector<BYTE> data(reinterpret_cast<const BYTE*>(seed.text.c_str()),
                                   reinterpret_cast<const BYTE*>(seed.text.c_str() + seed.text.size() + 1));
            if (seed.type == REG_DWORD) data.assign({3, 0, 0, 0});
            RegSetValueExW(key, seed.valueName, 0, seed.type, data.data(), static_cast<DWORD>(data.size()));
        }
        RegCloseKey(key);
    }
    return 0;
}

// Deletes path with its subtree, then each parent left empty, up to the first one that is not.
void Unmake(HKEY root, std::wstring path, REGSAM view) {
    size_t slash = path.rfind(L'\\');
    HKEY parent;
    if (RegOpenKeyExW(root, path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view, &parent) == ERROR_SUCCESS) {
        RegDeleteTreeW(parent, path.substr(slash + 1).c_str());
        RegCloseKey(parent);
    }
    while ((slash = path.rfind(L'\\')) != std::wstring::npos) {
        path.resize(slash);
        if (RegDeleteKeyExW(root, path.c_str(), view, 0) != ERROR_SUCCESS) break;
    }
}

int UnseedKeys() {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        Unmake(HKEY_CURRENT_USER, kAddins, view);
        Unmake(HKEY_CURRENT_USER, kResiliency, view);
        for (const wchar_t* cls : {kClass64, kClass32, kClassOld, L"Tallowbrisk.Connect\\CLSID"}) {
            Unmake(HKEY_CLASSES_ROOT, cls, view);
        }
        Unmake(HKEY_LOCAL_MACHINE, L"Software\\Tallowbrisk", view);
    }
    return 0;
}

int Clean(const wchar_t* windowsFolder) {
    OperationsLoggerFile logger(windowsFolder);
    CleanRegistry(RegistryPass(SystemRegistry(), CleanBothViews(), RegistryRuleTable(), &logger), nullptr);
    std::wprintf(L"%d removal records\n", logger.removalCount());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"seed") return SeedKeys();
    if (command == L"unseed") return UnseedKeys();
    if (command == L"clean" && argc > 2) return Clean(argv[2]);
    std::fputs("usage: registry_e2e seed | clean WINDOWS_FOLDER | unseed\n", stderr);
    return 2;
}
