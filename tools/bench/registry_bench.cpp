// Benchmark of the registry cleaner on a Wine prefix with many COM classes (not a test).
//   registry_bench seed N    adds N synthetic COM classes to HKCR\CLSID (in both views under
//                            WOW64), each shaped like a real registration: a default value,
//                            an InprocServer32 subkey with a path and a ThreadingModel, and a
//                            ProgID subkey
//   registry_bench run ENGINE [REPEATS]  times, in one process, one least-work walk of
//                            HKCR\CLSID per view (KeyTreeMentions: every key opened once,
//                            every value read once) and a whole registry session with ENGINE,
//                            "rules" (each rule searching for itself, the reference) or
//                            "shared" (the cleaner), in turns, REPEATS times (3); prints the
//                            fastest session as a multiple of the fastest walk, the slowest
//                            rules, and the peak memory of the process
//   registry_bench walk      times enumerating, opening and walking the COM class keys
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
#include <string>
#include <vector>

#include "platform/registry_key.h"
#include "platform/registry_win32.h"
#include "platform/wow64.h"
#include "registry/clean_registry.h"
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

// The views a session cleans: both under WOW64, otherwise the process's own.
std::vector<REGSAM> Views() {
    if (RunningUnderWow64()) return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
    return {0};
}

int Seed(int count) {
    for (REGSAM view : Views()) {
        HKEY clsid = Create(HKEY_CLASSES_ROOT, L"CLSID", view);
        SeedClasses(clsid, count, view);
        RegCloseKey(clsid);
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

// The log as it was written before: the runtime's buffered stream, flushed when full and at
// the end, so that a killed run lost the lines still in the buffer.
class BufferedLogger : public OperationsLogger {
public:
    explicit BufferedLogger(const std::wstring& windowsFolder) : windowsFolder_(windowsFolder) {}
    ~BufferedLogger() override {
        if (stream_) fclose(stream_);
    }
    void log(const wchar_t* kind, const wchar_t* target, int succeeded) override {
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
    CleanRegistry(SystemRegistry(), RunningUnderWow64(), logger.get(), &noProgress, RegistryRuleTable(), &backup);
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
    std::printf("classes=%d views=%zu buffered_log_session_s=%.3f written_through_session_s=%.3f "
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

// Seconds for one least-work walk of HKCR\CLSID in each view a session cleans.
double WalkClasses(size_t* classes) {
    RegistryApi& registry = SystemRegistry();
    double seconds = 0;
    *classes = 0;
    for (REGSAM view : Views()) {
        unique_registry_key clsid;
        OpenRegistryKey(registry, HKEY_CLASSES_ROOT, L"CLSID", KEY_ALL_ACCESS | view, clsid);
        RegistryKeyInfo info;
        registry.queryInfoKey(clsid.get().key, &info);
        *classes += info.subkeys;
        double start = Now();
        KeyTreeMentions(registry, clsid.get().key, L"Tallowbrisk", KEY_ALL_ACCESS | view);
        seconds += Now() - start;
    }
    return seconds;
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
    // busy with other work, which only ever makes a run slower. A session here deletes
    // nothing, so each finds the same registry.
    size_t classes = 0;
    WalkClasses(&classes);  // once untimed, so that every timed walk finds the registry warm
    double walk = WalkClasses(&classes);
    double session = 0;
    CountingLogger logger;
    RuleClock fastest;
    for (int i = 0; i < repeats; ++i) {
        logger.count = 0;
        RuleClock clock;
        double start = Now();
        if (shared) {
            CleanRegistry(SystemRegistry(), RunningUnderWow64(), &logger, &clock);
        } else {
            CleanRegistryRuleByRule(SystemRegistry(), RunningUnderWow64(), &logger, &clock);
        }
        double seconds = Now() - start;
        if (i == 0 || seconds < session) {
            session = seconds;
            fastest = clock;
        }
        walk = std::min(walk, WalkClasses(&classes));
    }

    PROCESS_MEMORY_COUNTERS memory = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::printf(
        "engine=%ls views=%zu classes=%zu walk_s=%.3f session_s=%.3f session_in_walks=%.2f records=%d "
        "peak_working_set_kb=%zu peak_private_kb=%zu slowest_rules=%s\n",
        engine.c_str(), Views().size(), classes, walk, session, session / walk, logger.count,
        static_cast<size_t>(memory.PeakWorkingSetSize / 1024), static_cast<size_t>(memory.PeakPagefileUsage / 1024),
        SlowestRules(fastest.seconds, 6).c_str());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"seed" && argc > 2) return Seed(_wtoi(argv[2]));
    if (command == L"run" && argc > 2) return Run(argv[2], argc > 3 ? _wtoi(argv[3]) : 3);
    if (command == L"compare") return Compare();
    if (command == L"log" && argc > 2) return LogBench(_wtoi(argv[2]), argc > 3 ? _wtoi(argv[3]) : 3);
    if (command == L"walk") {
        EnumerateOnly(HKEY_CLASSES_ROOT, L"CLSID");
        EnumerateOnly(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID");
        return 0;
    }
    std::fputs("usage: registry_bench seed N | run rules|shared [REPEATS] | log N [REPEATS] | compare | walk\n", stderr);
    return 2;
}
