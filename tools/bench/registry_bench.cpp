// Benchmark of the registry cleaner on a Wine prefix with many COM classes (not a test).
//   registry_bench seed N   adds N synthetic COM classes to HKCR\CLSID, each shaped like a
//                           real registration: a default value, an InprocServer32 subkey with
//                           a path and a ThreadingModel, and a ProgID subkey
//   registry_bench run      times, in one process: one walk of HKCR\CLSID by Wine's own
//                           "reg query /s", one by KeyTreeMentions alone, and CleanRegistry in
//                           one view; then prints the ratios and the peak memory
//   registry_bench compare  adds a few of the product's keys (an add-in, a COM class that names
//                           the product's DLL, HKLM\SOFTWARE\Tallowbrisk), then times, in one
//                           process, the preview of CleanRegistry (through PreviewRegistry) and
//                           then the real CleanRegistry, and prints the ratio and whether both
//                           reported the same keys

// windows.h must come first.
// clang-format off
#include <windows.h>
#include <psapi.h>
// clang-format on

#include <cstdio>
#include <string>
#include <vector>

#include "platform/registry_key.h"
#include "platform/registry_win32.h"
#include "registry/clean_registry.h"
#include "registry/key_tree_mentions.h"
#include "registry/preview_registry.h"

namespace {

void SetText(HKEY key, const wchar_t* name, const std::wstring& text) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

HKEY Create(HKEY parent, const std::wstring& path) {
    HKEY key = nullptr;
    RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}

int Seed(int count) {
    HKEY clsid = Create(HKEY_CLASSES_ROOT, L"CLSID");
    for (int i = 0; i < count; ++i) {
        wchar_t guid[64];
        std::swprintf(guid, 64, L"{B3E1C0DE-%04X-4A5B-8C6D-%012X}", i & 0xFFFF, i);
        HKEY cls = Create(clsid, guid);
        SetText(cls, L"", L"Synthetic Class " + std::to_wstring(i));
        HKEY server = Create(cls, L"InprocServer32");
        SetText(server, L"", L"C:\\Program Files\\Synthetic\\synthetic" + std::to_wstring(i) + L".dll");
        SetText(server, L"ThreadingModel", L"Apartment");
        HKEY progid = Create(cls, L"ProgID");
        SetText(progid, L"", L"Synthetic.Class." + std::to_wstring(i));
        RegCloseKey(progid);
        RegCloseKey(server);
        RegCloseKey(cls);
    }
    RegCloseKey(clsid);
    return 0;
}

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / frequency.QuadPart;
}

// Seconds taken by `reg query HKCR\CLSID /s`, its output thrown away.
double RegQueryWalk() {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = nul;
    PROCESS_INFORMATION process = {};
    wchar_t command[] = L"reg.exe query HKCR\\CLSID /s";
    double start = Now();
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        std::fputs("cannot start reg.exe\n", stderr);
        return 0;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    double seconds = Now() - start;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(nul);
    return seconds;
}

class CountingLogger : public OperationsLogger {
public:
    void log(const wchar_t*, const wchar_t*, int) override { ++count; }
    int count = 0;
};

class TargetLogger : public OperationsLogger {
public:
    void log(const wchar_t*, const wchar_t* target, int succeeded) override {
        targets.push_back(target);
        failed += succeeded ? 0 : 1;
    }
    std::vector<std::wstring> targets;
    int failed = 0;
};

int Compare() {
    RegCloseKey(
        Create(HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\16.0\\Outlook\\Addins\\Tallowbrisk.Addin\\Deeper"));
    HKEY server = Create(HKEY_CLASSES_ROOT, L"CLSID\\{7A110B15-0000-4000-8000-000000000001}\\InprocServer32");
    SetText(server, L"", L"C:\\Program Files\\Tallowbrisk\\TallowbriskAddin.dll");
    RegCloseKey(server);
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tallowbrisk\\Settings"));

    TargetLogger planned, removed;
    double start = Now();
    {
        PreviewRegistry preview(SystemRegistry());
        CleanRegistry(preview, false, &planned, nullptr);
    }
    double previewSeconds = Now() - start;
    start = Now();
    CleanRegistry(SystemRegistry(), false, &removed, nullptr);
    double cleanSeconds = Now() - start;
    std::printf("preview_s=%.3f clean_registry_s=%.3f preview_vs_clean=%.2f records=%zu failed=%d same_keys=%d\n",
                previewSeconds, cleanSeconds, previewSeconds / cleanSeconds, removed.targets.size(), removed.failed,
                planned.targets == removed.targets ? 1 : 0);
    return 0;
}

// Seconds to read every subkey name of root\path by index, and to open each once.
void EnumerateOnly(HKEY root, const wchar_t* path) {
    RegistryApi& registry = SystemRegistry();
    unique_registry_key key;
    OpenRegistryKey(registry, root, path, KEY_ALL_ACCESS, key);
    RegistryKeyInfo info;
    registry.queryInfoKey(key.get().key, &info);
    double start = Now();
    wchar_t name[512];
    for (DWORD i = 0; i < info.subkeys; ++i) {
        DWORD length = 512;
        registry.enumKey(key.get().key, i, name, &length);
    }
    double enumerate = Now() - start;
    start = Now();
    for (DWORD i = 0; i < info.subkeys; ++i) {
        DWORD length = 512;
        registry.enumKey(key.get().key, i, name, &length);
        unique_registry_key child;
        OpenRegistryKey(registry, key.get().key, name, KEY_ALL_ACCESS, child);
    }
    double open = Now() - start;
    start = Now();
    KeyTreeMentions(registry, key.get().key, L"Tallowbrisk", KEY_ALL_ACCESS);
    double walk = Now() - start;
    std::printf("%ls: subkeys=%lu enumerate_s=%.3f enumerate_open_s=%.3f key_tree_mentions_s=%.3f\n", path,
                info.subkeys, enumerate, open, walk);
}

int Run() {
    RegistryApi& registry = SystemRegistry();
    unique_registry_key clsid;
    OpenRegistryKey(registry, HKEY_CLASSES_ROOT, L"CLSID", KEY_ALL_ACCESS, clsid);
    RegistryKeyInfo info;
    registry.queryInfoKey(clsid.get().key, &info);

    double reg = RegQueryWalk();

    double start = Now();
    bool mentions = KeyTreeMentions(registry, clsid.get().key, L"Tallowbrisk", KEY_ALL_ACCESS);
    double walk = Now() - start;
    clsid.reset();

    CountingLogger logger;
    start = Now();
    CleanRegistry(registry, false, &logger, nullptr);
    double clean = Now() - start;

    PROCESS_MEMORY_COUNTERS memory = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::printf(
        "classes=%lu reg_query_s=%.3f key_tree_mentions_s=%.3f clean_registry_s=%.3f "
        "walk_vs_reg=%.2f clean_vs_reg=%.2f clean_vs_walk=%.2f records=%d mentions=%d "
        "peak_working_set_kb=%zu peak_private_kb=%zu\n",
        info.subkeys, reg, walk, clean, walk / reg, clean / reg, clean / walk, logger.count, mentions ? 1 : 0,
        static_cast<size_t>(memory.PeakWorkingSetSize / 1024), static_cast<size_t>(memory.PeakPagefileUsage / 1024));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"seed" && argc > 2) return Seed(_wtoi(argv[2]));
    if (command == L"run") return Run();
    if (command == L"compare") return Compare();
    if (command == L"walk") {
        EnumerateOnly(HKEY_CLASSES_ROOT, L"CLSID");
        EnumerateOnly(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID");
        return 0;
    }
    std::fputs("usage: registry_bench seed N | run | compare\n", stderr);
    return 2;
}
