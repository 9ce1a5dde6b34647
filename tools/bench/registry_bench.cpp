// Benchmark of the registry cleaner on a Wine prefix with many COM classes and many Windows
// Installer components (not a test).
//   registry_bench seed N [C]  adds N synthetic COM classes to HKCR\CLSID, each shaped like a
//                            real registration: a default value, an InprocServer32 subkey with
//                            a path and a ThreadingModel, and a ProgID subkey; and C (0)
//                            component keys to the machine's Installer Components key, each
//                            shaped as Windows Installer writes them: named by a packed
//                            component code, with one value per client product, named by the
//                            product's packed code, whose text is the component's key file in
//                            another vendor's product (a few components are shared by two or
//                            three products, a few are permanent). Both views under WOW64.
//   registry_bench run ENGINE [REPEATS]  times, in one process, one least-work walk of
//                            HKCR\CLSID and of the Components key per view (KeyTreeMentions:
//                            every key opened once, every value read once) and a whole
//                            registry session with ENGINE,
//                            "rules" (each rule searching for itself, the reference) or
//                            "shared" (the cleaner), in turns, REPEATS times (3), the add-in's
//                            Windows Installer registration written anew before each session;
//                            prints the fastest session as a multiple of the fastest walk, the
//                            time it spent after the last rule (the installer step), the slowest
//                            rules, and the peak memory of the process
//   registry_bench walk      times enumerating, opening and walking the COM class keys and
//                            the component keys
//   registry_bench log N [REPEATS]  a whole registry session that removes N product COM classes
//                            (with the registry backup, as "/quiet" runs it), timed with the
//                            log written through (one WriteFile per line) and with the buffered
//                            stream the log used before, in turns, each session on a freshly
//                            seeded registry; prints the fastest of each and their ratio
//   registry_bench compare   adds a few of the product's keys (an add-in, a COM class that
//                            names the product's DLL, HKLM\SOFTWARE\Tallowbrisk), then times,
//                            in one process, the preview of CleanRegistry (through
//                            PreviewRegistry) and then the real CleanRegistry, and prints the
//                            ratio and whether both reported the same keys

// windows.h must come first.
// clang-format off
#include <windows.h>
#include <psapi.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "app/registry_steps.h"
#include "platform/registry_key.h"
#include "platform/registry_win32.h"
#include "platform/wow64.h"
#include "registry/key_tree_mentions.h"
#include "registry/preview_registry.h"
#include "registry/registry_backup_file.h"
#include "report/log_folder.h"
#include "report/operations_logger.h"

namespace {

void SetText(HKEY key, const wchar_t* name, const std::wstring& text) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

HKEY Create(HKEY parent, const std::wstring& path, REGSAM view = 0) {
    HKEY key = nullptr;
    RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
    return key;
}

void SeedClasses(HKEY clsid, int count, REGSAM view) {
    for (int i = 0; i < count; ++i) {
        wchar_t guid[64];
        std::swprintf(guid, 64, L"{B3E1C0DE-%04X-4A5B-8C6D-%012X}", i & 0xFFFF, i);
        HKEY cls = Create(clsid, guid, view);
        SetText(cls, L"", L"Synthetic Class " + std::to_wstring(i));
        HKEY server = Create(cls, L"InprocServer32", view);
        SetText(server, L"", L"C:\\Program Files\\Synthetic\\synthetic" + std::to_wstring(i) + L".dll");
        SetText(server, L"ThreadingModel", L"Apartment");
        HKEY progid = Create(cls, L"ProgID", view);
        SetText(progid, L"", L"Synthetic.Class." + std::to_wstring(i));
        RegCloseKey(progid);
        RegCloseKey(server);
        RegCloseKey(cls);
    }
}

// Where Windows Installer lists, for the system account, the products that use each component.
const wchar_t kComponents[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components";

// A packed code (a GUID's 32 hex digits as Windows Installer stores them): scattered like
// real ones, and the same for the same `kind` and `number`.
std::wstring PackedCode(unsigned kind, unsigned number) {
    unsigned long long state = (static_cast<unsigned long long>(kind) << 32 | number) * 0x9E3779B97F4A7C15ull;
    wchar_t code[40];
    for (int half = 0; half < 2; ++half) {
        state ^= state >> 31;
        state *= 0xBF58476D1CE4E5B9ull;
        state ^= state >> 29;
        std::swprintf(code + half * 16, 17, L"%016llX", state);
    }
    return code;
}

// Products of other vendors that the synthetic components belong to.
const unsigned kOtherProducts = 500;

void SeedComponents(HKEY components, int count, REGSAM view) {
    for (int i = 0; i < count; ++i) {
        HKEY component = Create(components, PackedCode(1, i), view);
        // Most components have one client; every fifth is shared with a second product, every
        // 25th with a third, and every 50th is permanent (the all-zero name stands for no product).
        unsigned product = static_cast<unsigned>(i) % kOtherProducts;
        int clients = 1 + (i % 5 == 0) + (i % 25 == 0);
        for (int c = 0; c < clients; ++c) {
            unsigned client = (product + c * 37) % kOtherProducts;
            SetText(component, PackedCode(2, client).c_str(),
                    L"C:\\Program Files\\Vendor " + std::to_wstring(client % 97) + L"\\Product " +
                        std::to_wstring(client) + L"\\bin\\module" + std::to_wstring(i) + L".dll");
        }
        if (i % 50 == 0) {
            SetText(component, L"00000000000000000000000000000000",
                    L"C:\\Windows\\System32\\shared" + std::to_wstring(i) + L".dll");
        }
        RegCloseKey(component);
    }
}

// The views a session cleans: both under WOW64, otherwise the process's own.
std::vector<REGSAM> Views() {
    if (RunningUnderWow64()) return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
    return {0};
}

// The add-in's own Windows Installer registration, as a per-machine install leaves it: its
// product, features, upgrade code, system data and entry in Programs and Features, and four
// components, one of which names the add-in's folder (the others name registry keys); and
// Outlook's, Click-to-Run's and VSTO's small records of it. A session removes them, so they are
// written again before each: the session then does all its installer and Office work, the walk
// of the components by the rule for them and the steps after the rules included.
void SeedAddinRegistration() {
    const std::wstring packed = L"E4D3C2B106F5817428394A5B6C7D8E9F";
    const std::wstring installer = L"SOFTWARE\\Classes\\Installer\\";
    for (REGSAM view : Views()) {
        HKEY key = Create(HKEY_LOCAL_MACHINE, installer + L"Products\\" + packed, view);
        SetText(key, L"ProductName", L"Tallowbrisk for Outlook");
        RegCloseKey(key);
        key = Create(HKEY_LOCAL_MACHINE, installer + L"Features\\" + packed, view);
        SetText(key, L"Addin", L"");
        RegCloseKey(key);
        key = Create(HKEY_LOCAL_MACHINE, installer + L"UpgradeCodes\\19E7A5C3D4B206F4A8C1E9B7D5F3A102", view);
        SetText(key, packed.c_str(), L"");
        RegCloseKey(key);
        key = Create(HKEY_LOCAL_MACHINE,
                     L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\" +
                         packed + L"\\InstallProperties",
                     view);
        SetText(key, L"DisplayName", L"Tallowbrisk for Outlook");
        SetText(key, L"LocalPackage", L"C:\\windows\\Installer\\5d5d.msi");
        RegCloseKey(key);
        for (unsigned k = 0; k < 4; ++k) {
            key = Create(HKEY_LOCAL_MACHINE, std::wstring(kComponents) + L"\\" + PackedCode(3, k), view);
            SetText(key, packed.c_str(),
                    k == 0 ? L"C:\\Program Files (x86)\\Tallowbrisk\\Tallowbrisk.Addin.dll"
                           : L"02:\\SOFTWARE\\Classes\\CLSID\\{8E2F4A6C-1D3B-4E5F-9A7C-2B4D6F8A0C1" +
                                 std::to_wstring(k) + L"}\\");
            RegCloseKey(key);
        }
        key = Create(HKEY_LOCAL_MACHINE,
                     L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{1B2C3D4E-5F60-4718-8293-A4B5C6D7E8F9}",
                     view);
        SetText(key, L"DisplayName", L"Tallowbrisk for Outlook");
        RegCloseKey(key);
        // Click-to-Run's copy of the add-in's registration, beside other add-ins'.
        const std::wstring c2r = L"SOFTWARE\\Microsoft\\Office\\ClickToRun\\REGISTRY\\MACHINE\\Software\\";
        for (const wchar_t* addin : {L"Tallowbrisk.Addin", L"Other.Addin1", L"Other.Addin2", L"Other.Addin3"}) {
            key = Create(HKEY_LOCAL_MACHINE, c2r + L"Microsoft\\Office\\Outlook\\Addins\\" + addin, view);
            SetText(key, L"FriendlyName", addin);
            RegCloseKey(key);
        }
    }
    // Outlook's and VSTO's records of the add-in, each list with a few other add-ins' entries: small keys.
    const std::wstring office = L"SOFTWARE\\Microsoft\\Office\\";
    HKEY loadTimes = Create(HKEY_CURRENT_USER, office + L"16.0\\Outlook\\AddInLoadTimes");
    HKEY disabled = Create(HKEY_CURRENT_USER, office + L"15.0\\Outlook\\Resiliency\\DisabledItems");
    for (int i = 0; i < 10; ++i) {
        const std::wstring name = i == 0 ? L"Tallowbrisk.Addin" : L"Other.Addin" + std::to_wstring(i);
        const std::wstring path = L"c:\\program files\\" + name + L"\\addin.dll";
        RegSetValueExW(loadTimes, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(L"\x2710"), 4);
        RegSetValueExW(disabled, std::to_wstring(i).c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(disabled);
    RegCloseKey(loadTimes);
    HKEY metadata = Create(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\VSTO\\SolutionMetadata");
    SetText(metadata, L"file:///C:/Program Files/Tallowbrisk/Tallowbrisk.vsto|vstolocal",
            L"{3C4D5E6F-7081-4293-A4B5-C6D7E8F90A1B}");
    RegCloseKey(metadata);
    HKEY solution = Create(HKEY_CURRENT_USER,
                           L"SOFTWARE\\Microsoft\\VSTO\\SolutionMetadata\\{3C4D5E6F-7081-4293-A4B5-C6D7E8F90A1B}");
    SetText(solution, L"addInName", L"Tallowbrisk.Addin");
    RegCloseKey(solution);
}

int Seed(int classes, int components) {
    for (REGSAM view : Views()) {
        HKEY clsid = Create(HKEY_CLASSES_ROOT, L"CLSID", view);
        SeedClasses(clsid, classes, view);
        RegCloseKey(clsid);
        HKEY keys = Create(HKEY_LOCAL_MACHINE, kComponents, view);
        SeedComponents(keys, components, view);
        RegCloseKey(keys);
    }
    return 0;
}

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / frequency.QuadPart;
}

class CountingLogger : public OperationsLogger {
public:
    void log(const wchar_t*, const std::wstring&, int) override { ++count; }
    int count = 0;
};

class TargetLogger : public OperationsLogger {
public:
    void log(const wchar_t*, const std::wstring& target, int succeeded) override {
        targets.push_back(target);
        failed += succeeded ? 0 : 1;
    }
    std::vector<std::wstring> targets;
    int failed = 0;
};

// The log as it was written before: the runtime's buffered stream, flushed when full and at
// the end, so that a killed run lost the lines still in the buffer.
class BufferedLogger : public OperationsLogger {
public:
    explicit BufferedLogger(const std::wstring& windowsFolder) : windowsFolder_(windowsFolder) {}
    ~BufferedLogger() override {
        if (stream_) fclose(stream_);
    }
    void log(const wchar_t* kind, const std::wstring& target, int succeeded) override {
        if (!stream_) {
            stream_ = _wfopen((NewLogFileStem(windowsFolder_) + L".buffered.log").c_str(), L"wb");
            if (stream_) fwrite(L"\xFEFF", sizeof(wchar_t), 1, stream_);
        }
        if (stream_) {
            std::wstring line = std::wstring(L"LOG Remove:: ") + kind + L" : " + target + L" : " +
                                (succeeded ? L"success" : L"fail") + L"\r\n";
            fwrite(line.data(), sizeof(wchar_t), line.size(), stream_);
        }
    }

private:
    std::wstring windowsFolder_;
    FILE* stream_ = nullptr;
};

void SeedProductClasses(int count) {
    for (REGSAM view : Views()) {
        HKEY clsid = Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\CLSID", view);
        for (int i = 0; i < count; ++i) {
            wchar_t guid[64];
            std::swprintf(guid, 64, L"{7A110B15-0000-4000-8000-%012X}\\InprocServer32", i);
            HKEY server = Create(clsid, guid, view);
            SetText(server, L"", L"C:\\Program Files\\Tallowbrisk\\TallowbriskAddin.dll");
            SetText(server, L"ThreadingModel", L"Both");
            RegCloseKey(server);
        }
        RegCloseKey(clsid);
    }
}

// Seconds of one session with the given log, on a freshly seeded registry.
double TimedSession(int count, bool writtenThrough, const std::wstring& windowsFolder) {
    SeedProductClasses(count);
    std::unique_ptr<OperationsLogger> logger;
    if (writtenThrough) {
        logger = std::make_unique<OperationsLoggerFile>(windowsFolder);
    } else {
        logger = std::make_unique<BufferedLogger>(windowsFolder);
    }
    RegistryBackupFile backup(windowsFolder);
    ProgressCleaner noProgress;
    const double start = Now();
    CleanRegistry(RegistryPass(SystemRegistry(), RunningUnderWow64(), RegistryRuleTable(), logger.get(), &backup),
                  &noProgress);
    logger.reset();  // the buffered stream's last lines go out here: part of its time
    return Now() - start;
}

int LogBench(int count, int repeats) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring windowsFolder = std::wstring(temp) + L"registry_bench_log";
    CreateDirectoryW(windowsFolder.c_str(), nullptr);
    CreateDirectoryW((windowsFolder + L"\\Logs").c_str(), nullptr);
    double buffered = 0, through = 0;
    for (int i = 0; i < repeats; ++i) {
        const double b = TimedSession(count, false, windowsFolder);
        const double t = TimedSession(count, true, windowsFolder);
        buffered = i == 0 ? b : std::min(buffered, b);
        through = i == 0 ? t : std::min(through, t);
    }
    std::printf(
        "classes=%d views=%zu buffered_log_session_s=%.3f written_through_session_s=%.3f "
        "written_through_vs_buffered=%.3f\n",
        count, Views().size(), buffered, through, through / buffered);
    return 0;
}

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
        CleanRegistry(RegistryPass(preview, false, RegistryRuleTable(), &planned), nullptr);
    }
    double previewSeconds = Now() - start;
    start = Now();
    CleanRegistry(RegistryPass(SystemRegistry(), false, RegistryRuleTable(), &removed), nullptr);
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

// Seconds for one least-work walk of root\path in `view`; its direct subkeys are added to
// `subkeys`. A key that is missing costs nothing.
double WalkKey(HKEY root, const wchar_t* path, REGSAM view, size_t* subkeys) {
    RegistryApi& registry = SystemRegistry();
    unique_registry_key key;
    if (OpenRegistryKey(registry, root, path, KEY_ALL_ACCESS | view, key) != ERROR_SUCCESS) return 0;
    RegistryKeyInfo info;
    if (registry.queryInfoKey(key.get().key, &info) == ERROR_SUCCESS) *subkeys += info.subkeys;
    double start = Now();
    KeyTreeMentions(registry, key.get().key, L"Tallowbrisk", KEY_ALL_ACCESS | view);
    return Now() - start;
}

// One least-work walk of the keys a session searches most: HKCR\CLSID and the Components key,
// in each view a session cleans.
struct Walk {
    double classesSeconds = 0, componentsSeconds = 0;
    size_t classes = 0, components = 0;
    double seconds() const { return classesSeconds + componentsSeconds; }
};

Walk WalkBoth() {
    Walk walk;
    for (REGSAM view : Views()) {
        walk.classesSeconds += WalkKey(HKEY_CLASSES_ROOT, L"CLSID", view, &walk.classes);
        walk.componentsSeconds += WalkKey(HKEY_LOCAL_MACHINE, kComponents, view, &walk.components);
    }
    return walk;
}

// The time of each rule, taken from the progress the session reports after each.
class RuleClock : public ProgressCleaner {
public:
    void progress(unsigned, unsigned) override {
        double now = Now();
        seconds.push_back(now - last);
        last = now;
    }
    double last = Now();
    std::vector<double> seconds;
};

// "rule:seconds" for the rules that took longest, longest first.
std::string SlowestRules(const std::vector<double>& seconds, size_t count) {
    std::vector<size_t> order(seconds.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return seconds[a] > seconds[b]; });
    std::string text;
    for (size_t i = 0; i < order.size() && i < count; ++i) {
        char item[32];
        std::snprintf(item, sizeof item, "%s%zu:%.3f", i ? "," : "", order[i] + 1, seconds[order[i]]);
        text += item;
    }
    return text;
}

int Run(const std::wstring& engine, int repeats) {
    const bool shared = engine == L"shared";
    if (!shared && engine != L"rules") {
        std::fputs("engine: rules or shared\n", stderr);
        return 2;
    }
    // Walks and sessions take turns, and the fastest of each counts: the machine may be
    // busy with other work, which only ever makes a run slower. A session here deletes only
    // the add-in's registration, written again before each, so each finds the same registry.
    WalkBoth();  // once untimed, so that every timed walk finds the registry warm
    Walk walk = WalkBoth();
    double session = 0;
    CountingLogger logger;
    RuleClock fastest;
    for (int i = 0; i < repeats; ++i) {
        logger.count = 0;
        SeedAddinRegistration();
        RuleClock clock;
        double start = Now();
        if (shared) {
            CleanRegistry(RegistryPass(SystemRegistry(), RunningUnderWow64(), RegistryRuleTable(), &logger), &clock);
        } else {
            CleanRegistryRuleByRule(RegistryPass(SystemRegistry(), RunningUnderWow64(), RegistryRuleTable(), &logger),
                                    &clock);
        }
        double seconds = Now() - start;
        if (i == 0 || seconds < session) {
            session = seconds;
            fastest = clock;
        }
        Walk again = WalkBoth();
        if (again.seconds() < walk.seconds()) walk = again;
    }

    PROCESS_MEMORY_COUNTERS memory = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::printf(
        "engine=%ls bits=%zu views=%zu classes=%zu components=%zu classes_walk_s=%.3f components_walk_s=%.3f "
        "walk_s=%.3f session_s=%.3f session_in_walks=%.2f after_rules_s=%.3f records=%d peak_working_set_kb=%zu "
        "peak_private_kb=%zu slowest_rules=%s\n",
        engine.c_str(), sizeof(void*) * 8, Views().size(), walk.classes, walk.components, walk.classesSeconds,
        walk.componentsSeconds, walk.seconds(), session, session / walk.seconds(),
        session - std::accumulate(fastest.seconds.begin(), fastest.seconds.end(), 0.0), logger.count,
        static_cast<size_t>(memory.PeakWorkingSetSize / 1024), static_cast<size_t>(memory.PeakPagefileUsage / 1024),
        SlowestRules(fastest.seconds, 6).c_str());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"seed" && argc > 2) return Seed(_wtoi(argv[2]), argc > 3 ? _wtoi(argv[3]) : 0);
    if (command == L"run" && argc > 2) return Run(argv[2], argc > 3 ? _wtoi(argv[3]) : 3);
    if (command == L"compare") return Compare();
    if (command == L"log" && argc > 2) return LogBench(_wtoi(argv[2]), argc > 3 ? _wtoi(argv[3]) : 3);
    if (command == L"walk") {
        EnumerateOnly(HKEY_CLASSES_ROOT, L"CLSID");
        EnumerateOnly(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID");
        EnumerateOnly(HKEY_LOCAL_MACHINE, kComponents);
        return 0;
    }
    std::fputs("usage: registry_bench seed N [C] | run rules|shared [REPEATS] | log N [REPEATS] | compare | walk\n",
               stderr);
    return 2;
}
