// The cleaner that shares its searches between rules against the one that applies the rules
// one by one, on many generated registries: the same keys deleted, the same records, backups
// and progress, and the same plan when the deletions only go to a preview. And the merged class root of the in-memory
// registry that it relies on.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/registry_steps.h"
#include "registry/candidate_knowledge.h"
#include "registry/export_key_tree.h"
#include "registry/preview_registry.h"
#include "test_sinks.h"
#include "tests/unit/support/registry_memory.h"

namespace {

class RecordingBackup : public RegistryBackup {
public:
    BackupOutcome save(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access,
                       const std::wstring& keyName) override {
        saved.push_back(keyName + L"\n" + ExportKeyTree(registry, parent, path, access, keyName).text);
        return BackupOutcome::Saved;
    }
    std::vector<std::wstring> saved;
};

// What one cleaning gave.
struct Outcome {
    std::vector<std::wstring> records;  // as the log's lines say them
    std::vector<std::pair<unsigned, unsigned>> progress;
    std::vector<std::wstring> backups;  // each key saved with its sections; in a preview, the keys planned
    std::string output;
    std::vector<std::wstring> keys;
    size_t openHandles = 0;
};

// A registry of COM classes, interfaces, type libraries, installer and add-in keys, in the
// user's and the machine's classes, in one view or both, with candidates named like the
// product or mentioning it (in either capitalisation) at any depth, some that cannot be
// read or deleted whole. The same seed makes the same registry.
class RegistryMaker {
public:
    explicit RegistryMaker(unsigned seed) : random_(seed) {}

    bool make(MemoryRegistry& registry) {
        registry.mergeClassesRoot();
        wow64_ = pick(3) != 0;
        if (wow64_) {
            registry.useWindowsViews();
            if (pick(2)) registry.setProcessView(RegistryView::Bits32);
        }
        const wchar_t* containers[] = {
            L"HKLM\\SOFTWARE\\Classes\\CLSID",
            L"HKCU\\SOFTWARE\\Classes\\CLSID",
            L"HKLM\\SOFTWARE\\Classes\\Interface",
            L"HKCU\\SOFTWARE\\Classes\\Interface",
            L"HKLM\\SOFTWARE\\Classes\\TypeLib",
            L"HKLM\\SOFTWARE\\Classes\\Installer\\Products",
            L"HKCU\\SOFTWARE\\Classes\\Installer\\Products",
            L"HKLM\\SOFTWARE\\Microsoft\\Installer\\Products",
            L"HKCU\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins",
        };
        const wchar_t* names[] = {L"{A}", L"{b}",           L"{C}",           L"{d}",
                                  L"{E}", L"{Tallowbrisk}", L"{TallowBrisk}", L"{\u00c4}"};
        for (const wchar_t* container : containers) {
            const int count = pick(5);
            for (int i = 0; i < count; ++i) {
                std::wstring name = names[pick(8)];
                if (pick(3) == 0) name = flipCase(name);  // the same key, spelled otherwise
                subtree(registry, std::wstring(container) + L"\\" + name, view(), 0);
            }
        }
        if (pick(2)) subtree(registry, L"HKLM\\SOFTWARE\\Classes\\Tallowbrisk.Connect", view(), 1);
        if (pick(2)) subtree(registry, L"HKLM\\SOFTWARE\\Tallowbrisk", view(), 1);
        if (pick(2)) subtree(registry, L"HKCU\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Resiliency", view(), 2);
        return wow64_;
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    RegistryView view() { return wow64_ && pick(2) ? RegistryView::Bits32 : RegistryView::Bits64; }

    static std::wstring flipCase(std::wstring name) {
        for (wchar_t& c : name) c = iswupper(c) ? towlower(c) : towupper(c);
        return name;
    }

    void subtree(MemoryRegistry& registry, const std::wstring& path, RegistryView view, int depth) {
        registry.createKey(path, view);
        const wchar_t* texts[] = {L"C:\\Program Files\\Tallowbrisk\\a.dll", L"C:\\Program Files\\TallowBrisk\\b.dll",
                                  L"C:\\Windows\\other.dll", L"tallowbrisk", L"Apartment"};
        const wchar_t* valueNames[] = {L"", L"Path", L"ThreadingModel", L"Tallowbrisk", L"TallowBrisk"};
        for (int i = pick(3); i > 0; --i) {
            const wchar_t* name = valueNames[pick(3) ? pick(3) : pick(5)];
            registry.setString(path, name, texts[pick(5)], pick(5) ? REG_SZ : REG_EXPAND_SZ, view);
        }
        if (view == RegistryView::Bits64) {
            // The stored path is the one given only in the 64-bit view.
            switch (pick(14)) {
                case 0:
                    registry.failDelete(path, ERROR_ACCESS_DENIED);
                    break;
                case 1:
                    registry.failOpen(path, ERROR_ACCESS_DENIED, DELETE);
                    break;
                case 2:
                    registry.failOpen(path, ERROR_ACCESS_DENIED);
                    break;
                case 3:
                    registry.failEnumValue(path, ERROR_NOT_ENOUGH_MEMORY, 0);
                    break;
                default:
                    break;
            }
        }
        if (depth >= 3) return;
        const wchar_t* subkeys[] = {L"InprocServer32", L"ProgID", L"Zed", L"Tallowbrisk.Sub", L"TallowBrisk.Sub"};
        for (int i = pick(3); i > 0; --i) {
            subtree(registry, path + L"\\" + subkeys[pick(3) ? pick(3) : pick(5)], view, depth + 1);
        }
    }

    std::mt19937 random_;
    bool wow64_ = false;
};

using Cleaner = InstalledProducts (*)(const RegistryPass&, ProgressCleaner*, const InstallerDataOwners&);

// Cleans the registry of `seed`, or, with `preview`, plans its cleaning through PreviewRegistry.
Outcome Clean(unsigned seed, Cleaner cleaner, bool preview = false) {
    MemoryRegistry registry;
    const bool wow64 = RegistryMaker(seed).make(registry);
    RecordingLogger logger;
    RecordingProgress progress;
    RecordingBackup backup;
    Outcome outcome;
    {
        StdoutCapture output;
        PreviewRegistry planning(registry);
        RegistryApi& cleaned = preview ? static_cast<RegistryApi&>(planning) : registry;
        cleaner(RegistryPass(cleaned, wow64, RegistryRuleTable(), &logger, preview ? nullptr : &backup), &progress, {});
        outcome.output = output.text();
        outcome.backups = planning.planned();
    }
    for (const Record& r : logger.records) {
        outcome.records.push_back(r.kind + L" : " + r.target + (r.succeeded ? L" : success" : L" : fail"));
    }
    outcome.progress = progress.calls;
    outcome.backups.insert(outcome.backups.end(), backup.saved.begin(), backup.saved.end());
    outcome.keys = registry.allKeys();
    outcome.openHandles = registry.openHandles();
    return outcome;
}

TEST(CleanRegistryReuse, GivesWhatTheRulesOneByOneGive) {
    size_t records = 0, failed = 0;
    for (unsigned seed = 1; seed <= 400; ++seed) {
        const Outcome reference = Clean(seed, CleanRegistryRuleByRule);
        const Outcome shared = Clean(seed, CleanRegistry);
        ASSERT_EQ(reference.records, shared.records) << "seed " << seed;
        ASSERT_EQ(reference.backups, shared.backups) << "seed " << seed;
        ASSERT_EQ(reference.keys, shared.keys) << "seed " << seed;
        ASSERT_EQ(reference.progress, shared.progress) << "seed " << seed;
        ASSERT_EQ(reference.output, shared.output) << "seed " << seed;
        ASSERT_EQ(0u, shared.openHandles) << "seed " << seed;
        // The preview of a run, which plans the deletions instead of making them.
        const Outcome plannedByReference = Clean(seed, CleanRegistryRuleByRule, true);
        const Outcome plannedShared = Clean(seed, CleanRegistry, true);
        ASSERT_EQ(plannedByReference.records, plannedShared.records) << "preview, seed " << seed;
        ASSERT_EQ(plannedByReference.backups, plannedShared.backups) << "preview, seed " << seed;
        ASSERT_EQ(plannedByReference.output, plannedShared.output) << "preview, seed " << seed;
        records += reference.records.size();
        for (const std::wstring& line : reference.records) failed += line.back() == L'l' ? 1 : 0;
    }
    // The registries were worth cleaning: many removals, some of them failed.
    EXPECT_GT(records, 2000u);
    EXPECT_GT(failed, 50u);
}

// With nothing of the product, a session opens each key below the machine's COM class key
// once per view, however many rules (HKLM and HKCR, both capitalisations) search it.
TEST(CleanRegistryReuse, ReadsEachClassKeyOncePerView) {
    auto opensBelowClsid = [](Cleaner cleaner, bool wow64) {
        MemoryRegistry registry;
        registry.mergeClassesRoot();
        if (wow64) registry.useWindowsViews();
        for (int i = 0; i < 40; ++i) {
            for (RegistryView view : {RegistryView::Bits64, RegistryView::Bits32}) {
                const std::wstring key = L"HKLM\\SOFTWARE\\Classes\\CLSID\\{" + std::to_wstring(i) + L"}";
                registry.setString(key + L"\\InprocServer32", L"", L"C:\\Windows\\x.dll", REG_SZ, view);
                registry.setString(key + L"\\ProgID", L"", L"X.Y", REG_SZ, view);
            }
        }
        registry.setString(L"HKCU\\SOFTWARE\\Classes\\CLSID\\{7}", L"", L"the user's own");
        cleaner(RegistryPass(registry, wow64, RegistryRuleTable()), nullptr, {});
        size_t opens = 0;
        for (const auto& call : registry.calls()) {
            if (call.operation == MemoryRegistry::Operation::Open &&
                call.path.find(L"CLSID\\{") != std::wstring::npos) {
                ++opens;
            }
        }
        return opens;
    };
    for (bool wow64 : {false, true}) {
        const size_t views = wow64 ? 2 : 1;
        const size_t walk = 40 * 3 * views;  // each class, its InprocServer32 and its ProgID
        // Rules 8, 14, 17 and 23 each walk the classes; rules 7 and 16 open the user's {7}.
        EXPECT_EQ(4 * walk + 2, opensBelowClsid(CleanRegistryRuleByRule, wow64)) << wow64;
        // One walk; the user's {7} once; and in HKCR, where {7} is the user's key merged over
        // the machine's, that class once more with its two subkeys.
        EXPECT_EQ(walk + 1 + 3, opensBelowClsid(CleanRegistry, wow64)) << wow64;
    }
}

// Where a deletion may touch an answer: the names a key has in the views and in the merged
// class root are one name to the knowledge.
TEST(CandidateKnowledge, FilesEveryNameOfAKeyUnderOne) {
    auto family = CandidateKnowledge::FamilyName;
    EXPECT_EQ(L"CLASSES\\CLSID\\{A}", family(HKEY_CLASSES_ROOT, L"CLSID\\{a}"));
    EXPECT_EQ(L"CLASSES\\CLSID\\{A}", family(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\{A}"));
    EXPECT_EQ(L"CLASSES\\CLSID\\{A}", family(HKEY_CURRENT_USER, L"SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{A}"));
    EXPECT_EQ(L"CLASSES\\CLSID", family(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node\\Classes\\CLSID"));
    EXPECT_EQ(L"CLASSES\\CLSID", family(HKEY_CLASSES_ROOT, L"Wow6432Node\\CLSID"));
    EXPECT_EQ(L"HKLM\\SOFTWARE\\TALLOWBRISK", family(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node\\Tallowbrisk"));
    EXPECT_EQ(L"HKCU\\SOFTWARE\\MICROSOFT\\INSTALLER", family(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Installer"));
    EXPECT_EQ(L"CLASSES", family(HKEY_CLASSES_ROOT, L""));
    EXPECT_EQ(L"", family(HKEY_CLASSES_ROOT, L"CLSID\\{\u00e4}")) << "beyond ASCII: no name";

    // A deletion below a candidate, or of it under another name, forgets what was known of
    // it and of nothing else; one beyond ASCII forgets everything.
    const RegistryRule rules[] = {
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\CLSID", L"Tallowbrisk", MatchNameOrContent, 1},
        {HKEY_CLASSES_ROOT, L"CLSID", L"TallowBrisk", MatchNameOrContent, 1},
        {nullptr, nullptr, nullptr, 0, 0},
    };
    CandidateKnowledge knowledge(rules);
    knowledge.startRule(0);
    ASSERT_EQ(2u, knowledge.searchPatterns().size());
    Candidate a, b;
    ASSERT_TRUE(knowledge.identify(L"{a}", KEY_ALL_ACCESS, CandidateSide::Machine, &a));
    ASSERT_TRUE(knowledge.identify(L"{B}", KEY_ALL_ACCESS, CandidateSide::Machine, &b));
    EXPECT_FALSE(knowledge.identify(L"{\u00c4}", KEY_ALL_ACCESS, CandidateSide::Machine, &b));
    knowledge.learn(a, 2, true);
    knowledge.learn(b, 0, false);  // unsettled, nothing seen: nothing known
    knowledge.finishRule();
    knowledge.startRule(1);
    Candidate a2, b2, a32;
    knowledge.identify(L"{A}", KEY_ALL_ACCESS, CandidateSide::Machine, &a2);
    knowledge.identify(L"{b}", KEY_ALL_ACCESS, CandidateSide::Machine, &b2);
    knowledge.identify(L"{A}", KEY_ALL_ACCESS | KEY_WOW64_32KEY, CandidateSide::Machine, &a32);
    bool found = false;
    EXPECT_TRUE(knowledge.recall(a2, &found));
    EXPECT_TRUE(found);
    EXPECT_FALSE(knowledge.recall(b2, &found));
    EXPECT_FALSE(knowledge.recall(a32, &found)) << "another view";
    knowledge.forget(HKEY_CURRENT_USER, L"SOFTWARE\\Classes\\Interface\\{A}");
    EXPECT_TRUE(knowledge.recall(a2, &found));
    knowledge.forget(HKEY_CURRENT_USER, L"SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{a}\\InprocServer32");
    EXPECT_FALSE(knowledge.recall(a2, &found)) << "the user's key of that name, in the other view";
}

// HKCR as Windows shows it: the user's class keys merged over the machine's.
TEST(MemoryRegistryClassesRoot, MergesTheUsersClassesOverTheMachines) {
    MemoryRegistry registry;
    registry.mergeClassesRoot();
    registry.setString(L"HKLM\\SOFTWARE\\Classes\\CLSID\\{A}\\InprocServer32", L"", L"machine.dll");
    registry.setString(L"HKLM\\SOFTWARE\\Classes\\CLSID\\{A}", L"", L"Machine");
    registry.setString(L"HKLM\\SOFTWARE\\Classes\\CLSID\\{A}", L"AppID", L"{M}");
    registry.setString(L"HKCU\\SOFTWARE\\Classes\\CLSID\\{a}", L"", L"User");
    registry.createKey(L"HKCU\\SOFTWARE\\Classes\\CLSID\\{a}\\LocalServer32");
    registry.createKey(L"HKCU\\SOFTWARE\\Classes\\CLSID\\{B}");

    HKEY clsid = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, registry.openKey(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ, &clsid));
    RegistryKeyInfo info;
    ASSERT_EQ(ERROR_SUCCESS, registry.queryInfoKey(clsid, &info));
    EXPECT_EQ(2u, info.subkeys);
    HKEY a = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, registry.openKey(clsid, L"{A}", 0, KEY_READ, &a));
    ASSERT_EQ(ERROR_SUCCESS, registry.queryInfoKey(a, &info));
    EXPECT_EQ(2u, info.subkeys) << "InprocServer32 and LocalServer32";
    EXPECT_EQ(2u, info.values) << "the user's default value, the machine's AppID";
    wchar_t name[64];
    DWORD length = 64;
    BYTE data[64];
    DWORD size = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS, registry.enumValue(a, 0, name, &length, nullptr, data, &size));
    EXPECT_STREQ(L"User", reinterpret_cast<const wchar_t*>(data));

    // A delete through HKCR takes the user's key first; the machine's then shows.
    EXPECT_EQ(ERROR_ACCESS_DENIED, registry.deleteKey(clsid, L"{A}", 0)) << "it has subkeys";
    EXPECT_EQ(ERROR_SUCCESS, registry.deleteKey(clsid, L"{A}\\LocalServer32", 0));
    EXPECT_EQ(ERROR_ACCESS_DENIED, registry.deleteKey(clsid, L"{A}", 0)) << "the machine's subkey shows";
    EXPECT_EQ(ERROR_SUCCESS, registry.deleteKey(clsid, L"{A}\\InprocServer32", 0));
    EXPECT_EQ(ERROR_SUCCESS, registry.deleteKey(clsid, L"{A}", 0));
    EXPECT_FALSE(registry.exists(L"HKCU\\SOFTWARE\\Classes\\CLSID\\{A}"));
    EXPECT_TRUE(registry.exists(L"HKCR\\CLSID\\{A}"));
    EXPECT_EQ(ERROR_SUCCESS, registry.deleteKey(clsid, L"{A}", 0));
    EXPECT_FALSE(registry.exists(L"HKCR\\CLSID\\{A}"));
    EXPECT_EQ(ERROR_KEY_DELETED, registry.queryInfoKey(a, &info));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, registry.deleteKey(clsid, L"{A}", 0));
    registry.closeKey(a);

    // Views: the 32-bit view of HKCR merges the 32-bit views of both sides.
    MemoryRegistry windows;
    windows.mergeClassesRoot();
    windows.useWindowsViews();
    windows.createKey(L"HKLM\\SOFTWARE\\Classes\\CLSID\\{32}", RegistryView::Bits32);
    windows.createKey(L"HKCU\\SOFTWARE\\Classes\\CLSID\\{64}", RegistryView::Bits64);
    EXPECT_TRUE(windows.exists(L"HKCR\\CLSID\\{32}", RegistryView::Bits32));
    EXPECT_FALSE(windows.exists(L"HKCR\\CLSID\\{32}", RegistryView::Bits64));
    EXPECT_TRUE(windows.exists(L"HKCR\\CLSID\\{64}", RegistryView::Bits64));
    EXPECT_FALSE(windows.exists(L"HKCR\\CLSID\\{64}", RegistryView::Bits32));
    registry.closeKey(clsid);
    EXPECT_EQ(0u, registry.openHandles());
}

}  // namespace
