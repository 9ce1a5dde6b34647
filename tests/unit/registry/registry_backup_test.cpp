// The registry backup: the ".reg" text of every kind of value, the export of a key's
// subtree, the cleaner saving each key just before it deletes it, and the backup files.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/registry_steps.h"
#include "reg_file_reader.h"
#include "registry/backup_key_name.h"
#include "registry/export_key_tree.h"
#include "registry/recorded_removal.h"
#include "registry/reg_file_text.h"
#include "registry/registry_backup_file.h"
#include "registry/rule_in_view.h"
#include "test_sinks.h"
#include "tests/unit/support/registry_memory.h"
#include "tests/unit/support/small_stack.h"
#include "tests/unit/support/temp_folder.h"

namespace {

const std::wstring kAddins = L"HKCU\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins";
const std::wstring kAddinsName = L"HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins";

std::vector<BYTE> Utf16(const std::wstring& text, bool terminated = true) {
    const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(p, p + (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
}

// Every value type, and the REG_SZ data that its quoted form cannot carry.
std::vector<ReadValue> EveryKindOfValue() {
    std::vector<BYTE> big(70000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(i * 7);
    return {
        {L"", REG_SZ, Utf16(L"default")},
        {L"quote\"back\\slash \u00e9 \u2713", REG_SZ,
         Utf16(L"C:\\Program Files\\\"Tallowbrisk\" \u00fcn\u00ef \U0001D11E")},
        {L"empty text", REG_SZ, Utf16(L"")},
        {L"no bytes", REG_SZ, {}},
        {L"odd size", REG_SZ, {0x41, 0, 0x42}},
        {L"unterminated", REG_SZ, Utf16(L"AB", false)},
        {L"inner NUL", REG_SZ, Utf16(std::wstring(L"A\0B", 3))},
        {L"two NULs", REG_SZ, Utf16(std::wstring(L"A\0", 2))},
        {L"line break", REG_SZ, Utf16(L"one\r\ntwo")},
        {L"tab", REG_SZ, Utf16(L"a\tb")},
        {L"line\r\nbreak in the name", REG_SZ, Utf16(L"x")},
        {L"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {L"short dword", REG_DWORD, {1, 2, 3}},
        {L"empty dword", REG_DWORD, {}},
        {L"long dword", REG_DWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {L"binary beyond the search buffer", REG_BINARY, big},
        {L"empty binary", REG_BINARY, {}},
        {L"expand", REG_EXPAND_SZ, Utf16(L"%ProgramFiles%\\Tallowbrisk")},
        {L"multi", REG_MULTI_SZ, Utf16(std::wstring(L"one\0two\0", 8))},
        {L"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {L"none", REG_NONE, {0xAA}},
        {L"big-endian", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}},
        {L"own type", 0x100000, {0xFF}},
        {std::wstring(5000, L'n'), REG_SZ, Utf16(std::wstring(3000, L'd'))},  // beyond the search buffers
    };
}

// Those of them whose names the file carries to every importer: all but the one with a line break.
std::vector<ReadValue> WritableKindsOfValue() {
    std::vector<ReadValue> values;
    for (ReadValue& value : EveryKindOfValue()) {
        if (WritableName(value.name)) values.push_back(std::move(value));
    }
    return values;
}

std::wstring ValueText(const ReadValue& value) {
    return RegValueLine(value.name, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
}

TEST(RegValueLine, EveryKindOfValueComesBackByteForByte) {
    std::wstring text = RegKeyLine(L"HKEY_CURRENT_USER\\x");
    const std::vector<ReadValue> values = EveryKindOfValue();
    for (const ReadValue& value : values) text += ValueText(value);
    const ReadRegFile read = ReadRegText(text, false);
    EXPECT_TRUE(read.errors.empty()) << std::string(read.errors[0].begin(), read.errors[0].end());
    ASSERT_EQ(1u, read.sections.size());
    ASSERT_EQ(values.size(), read.sections[0].values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(values[i], read.sections[0].values[i]) << "value " << i;
    }
    // Hex data keeps within 80 columns, as the registry editor writes it.
    const std::wstring binary = ValueText(values[15]);
    for (size_t start = 0, end; (end = binary.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
        EXPECT_LE(end - start, 80u);
    }
}

TEST(RegValueLine, WritesTheFormsOfTheRegistryEditor) {
    auto line = [](const wchar_t* name, DWORD type, std::vector<BYTE> data) {
        return ValueText(ReadValue{name, type, std::move(data)});
    };
    EXPECT_EQ(L"@=\"C:\\\\a \\\"b\\\"\"\r\n", line(L"", REG_SZ, Utf16(L"C:\\a \"b\"")));
    EXPECT_EQ(L"\"a\\\"b\"=\"\"\r\n", line(L"a\"b", REG_SZ, Utf16(L"")));
    EXPECT_EQ(L"\"n\"=hex(1):41,00,42,00\r\n", line(L"n", REG_SZ, Utf16(L"AB", false)));
    EXPECT_EQ(L"\"e\"=hex(1):\r\n", line(L"e", REG_SZ, {}));
    EXPECT_EQ(L"\"d\"=dword:12345678\r\n", line(L"d", REG_DWORD, {0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(L"\"s\"=hex(4):01,02,03\r\n", line(L"s", REG_DWORD, {1, 2, 3}));
    EXPECT_EQ(L"\"q\"=hex(b):01,00,00,00,00,00,00,80\r\n", line(L"q", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0x80}));
    EXPECT_EQ(L"\"x\"=hex(100000):ff\r\n", line(L"x", 0x100000, {0xFF}));
    EXPECT_EQ(L"\"line\\r\\nbreak\"=hex(0):\r\n", line(L"line\r\nbreak", REG_NONE, {}));
    // Where Wine's regedit breaks the same 30 bytes.
    std::vector<BYTE> bytes;
    for (int i = 0; i < 30; ++i) bytes.push_back(static_cast<BYTE>(i));
    EXPECT_EQ(
        L"\"long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
        L"  16,17,18,19,1a,1b,1c,1d\r\n",
        line(L"long", REG_BINARY, bytes));
}

// The product's key as a user's machine might hold it: every kind of value, empty keys,
// names with brackets and non-ASCII letters.
void PlantAddin(MemoryRegistry& registry, const std::wstring& key) {
    for (const ReadValue& value : WritableKindsOfValue()) registry.setValue(key, value.name, value.type, value.data);
    registry.createKey(key + L"\\Empty");
    registry.setString(key + L"\\br]acket [x]", L"", L"Tallowbrisk");
    registry.setValue(key + L"\\\u00fcn\u00ef\\Deeper", L"d", REG_DWORD, {1, 0, 0, 0});
}

TEST(ExportKeyTree, SavesTheWholeSubtreeParentsFirstAndOnlyReads) {
    MemoryRegistry registry;
    PlantAddin(registry, kAddins + L"\\Tallowbrisk.Addin");
    const auto keysBefore = registry.allKeys();
    registry.clearCalls();

    const std::wstring name = kAddinsName + L"\\Tallowbrisk.Addin";
    const ReadRegFile read = ReadRegText(
        ExportKeyTree(registry, HKEY_CURRENT_USER, kAddins.substr(5) + L"\\Tallowbrisk.Addin", KEY_ALL_ACCESS, name)
            .text,
        false);

    EXPECT_TRUE(read.errors.empty());
    EXPECT_TRUE(read.comments.empty());
    ASSERT_EQ(5u, read.sections.size());
    const std::vector<std::wstring> keys{name, name + L"\\br]acket [x]", name + L"\\Empty", name + L"\\\u00fcn\u00ef",
                                         name + L"\\\u00fcn\u00ef\\Deeper"};
    for (size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(keys[i], read.sections[i].key);
    EXPECT_EQ(WritableKindsOfValue(), read.sections[0].values);
    EXPECT_TRUE(read.sections[2].values.empty());
    EXPECT_EQ((std::vector<ReadValue>{{L"d", REG_DWORD, {1, 0, 0, 0}}}), read.sections[4].values);

    EXPECT_EQ(keysBefore, registry.allKeys());
    for (const auto& call : registry.calls()) EXPECT_EQ(static_cast<REGSAM>(KEY_READ), call.access);
    EXPECT_EQ(0u, registry.openHandles());
    EXPECT_EQ(L"", ExportKeyTree(registry, HKEY_CURRENT_USER, L"SOFTWARE\\Missing", KEY_ALL_ACCESS, L"x").text);
}

TEST(ExportKeyTree, NamesWhatItCannotReadAndSavesTheRest) {
    MemoryRegistry registry;
    const std::wstring top = kAddins + L"\\Tallowbrisk.Addin";
    registry.setString(top + L"\\Locked\\Inner", L"v", L"1");
    registry.setString(top + L"\\Open", L"v", L"2");
    registry.setString(top + L"\\Unqueried\\Inner", L"v", L"4");
    // Without the key's numbers the buffers start small and grow when a value does not fit.
    const std::wstring longName(300, L'w'), longText(10000, L'5');
    registry.setString(top + L"\\Unqueried", longName, longText);
    registry.setString(top, L"first", L"a");
    registry.setString(top, L"second", L"b");
    registry.setString(top, L"third", L"c");
    registry.failOpen(top + L"\\Locked", ERROR_ACCESS_DENIED);
    registry.failEnumValue(top, ERROR_ACCESS_DENIED, 1);
    registry.failQueryInfo(top + L"\\Unqueried", ERROR_ACCESS_DENIED);

    const std::wstring name = L"HKEY_CURRENT_USER\\T";
    const ReadRegFile read =
        ReadRegText(ExportKeyTree(registry, HKEY_CURRENT_USER, top.substr(5), 0, name).text, false);

    std::vector<std::wstring> keys;
    for (const ReadSection& section : read.sections) keys.push_back(section.key);
    EXPECT_EQ((std::vector<std::wstring>{name, name + L"\\Open", name + L"\\Unqueried", name + L"\\Unqueried\\Inner"}),
              keys);
    EXPECT_EQ((std::vector<ReadValue>{{L"first", REG_SZ, Utf16(L"a")}, {L"third", REG_SZ, Utf16(L"c")}}),
              read.sections[0].values);
    EXPECT_EQ((std::vector<ReadValue>{{longName, REG_SZ, Utf16(longText)}}), read.sections[2].values);
    EXPECT_EQ((std::vector<std::wstring>{L"; Not saved: value 1 of [" + name + L"] could not be read",
                                         L"; Not saved, could not be opened: [" + name + L"\\Locked]"}),
              read.comments);
    EXPECT_TRUE(read.errors.empty());
    EXPECT_EQ(0u, registry.openHandles());
}

// A subtree with a name that the file cannot carry back, or with a link, is not saved at all:
// the key must stay whole. The backup's file is not written, so a run goes on.
TEST(ExportKeyTree, RefusesASubtreeWithANameTheFileCannotCarryOrALink) {
    const std::wstring top = kAddins + L"\\Tallowbrisk.Addin";
    const struct {
        void (*plant)(MemoryRegistry&, const std::wstring& top);
        LSTATUS status;
    } cases[] = {
        {[](MemoryRegistry& r, const std::wstring& t) { r.createKey(t + L"\\Sub\\line\r\nbreak"); },
         ERROR_INVALID_NAME},
        {[](MemoryRegistry& r, const std::wstring& t) { r.setString(t + L"\\Sub", L"line\nbreak", L"x"); },
         ERROR_INVALID_NAME},
        {[](MemoryRegistry& r, const std::wstring& t) { r.setString(t, std::wstring(L"a\0b", 3), L"x"); },
         ERROR_INVALID_NAME},
        {[](MemoryRegistry& r, const std::wstring& t) { r.createLink(t + L"\\Sub\\Link", kAddins); }, kKeyIsLink},
        {[](MemoryRegistry& r, const std::wstring& t) { r.createLink(t, kAddins); }, kKeyIsLink},
    };
    for (const auto& c : cases) {
        MemoryRegistry registry;
        c.plant(registry, top);
        const std::vector<std::wstring> before = registry.allKeys();
        const ExportedKeyTree exported =
            ExportKeyTree(registry, HKEY_CURRENT_USER, top.substr(5), 0, kAddinsName + L"\\x");
        EXPECT_EQ(L"", exported.text);
        EXPECT_EQ(c.status, exported.status);
        TempFolder windows;
        RegistryBackupFile backup(windows.path());
        EXPECT_EQ(BackupOutcome::Unreadable,
                  backup.save(registry, HKEY_CURRENT_USER, top.substr(5), 0, kAddinsName + L"\\x"));
        EXPECT_EQ(L"", backup.filePath());
        EXPECT_EQ(before, registry.allKeys());
        EXPECT_EQ(0u, registry.openHandles());
    }
}

// Hands each key to the export and remembers what it was given; says `outcome`.
class RecordingBackup : public RegistryBackup {
public:
    BackupOutcome save(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access,
                       const std::wstring& keyName) override {
        names.push_back(keyName);
        accesses.push_back(access);
        texts.push_back(ExportKeyTree(registry, parent, path, access, keyName).text);
        return outcome;
    }
    BackupOutcome outcome = BackupOutcome::Saved;
    std::vector<std::wstring> names;
    std::vector<REGSAM> accesses;
    std::vector<std::wstring> texts;
};

// A small stack, as in the search's deep-chain test: the export keeps its walk on the heap.
DWORD WINAPI CleanDeepChain(void* context) {
    auto& registry = *static_cast<MemoryRegistry*>(context);
    RecordingBackup backup;
    RecordingLogger logger;
    ApplyRuleInView(RegistryPass(registry, false, nullptr, &logger, &backup),
                    {HKEY_CURRENT_USER, kAddins.c_str() + 5, L"Tallowbrisk", MatchNameOrContent, 0}, KEY_ALL_ACCESS);
    if (backup.texts.size() != 1 || logger.records.size() != 1 || !logger.records[0].succeeded) return 0;
    const ReadRegFile read = ReadRegText(backup.texts[0], false);
    return read.sections.size() == 513 && read.comments.empty() && read.sections.back().values.size() == 1 ? 1 : 2;
}

TEST(ExportKeyTree, ChainOf512LevelsIsSavedOnASmallStack) {
    MemoryRegistry registry;
    std::wstring path = kAddins + L"\\Deep";
    for (int level = 0; level < 512; ++level) path += L"\\k";
    registry.setString(path, L"Path", L"C:\\Tallowbrisk");

    EXPECT_EQ(RunOnSmallStack(
                  256 * 1024, [&] { return CleanDeepChain(&registry); }, 120000),
              std::optional<DWORD>(1));
    EXPECT_FALSE(registry.exists(kAddins + L"\\Deep"));
}

// The machine of the cleaner tests: one key for each kind of rule.
void PlantProduct(MemoryRegistry& registry) {
    registry.setString(L"HKCR\\Tallowbrisk.Connect\\CLSID", L"", L"{A}");
    registry.setValue(L"HKLM\\SOFTWARE\\TALLOWBRISK\\Addin", L"Level", REG_DWORD, {3, 0, 0, 0});
    registry.setString(kAddins + L"\\Other.Addin", L"Manifest", L"C:\\Tallowbrisk\\a.vsto");
    registry.setString(kAddins + L"\\Unrelated.Addin", L"Manifest", L"C:\\Else\\a.vsto");
}

TEST(CleanRegistryWithBackup, SavesEachKeyBeforeItIsDeletedAndChangesNothingElse) {
    MemoryRegistry registry;
    PlantProduct(registry);
    registry.failDelete(kAddins + L"\\Other.Addin", ERROR_ACCESS_DENIED);
    RecordingBackup backup;
    RecordingLogger logger;
    CleanRegistry(RegistryPass(registry, false, RegistryRuleTable(), &logger, &backup), nullptr);

    // A mode-2 key is named as the registry spells it, not as its rule does.
    EXPECT_EQ((std::vector<std::wstring>{L"HKEY_CLASSES_ROOT\\Tallowbrisk.Connect",
                                         L"HKEY_LOCAL_MACHINE\\SOFTWARE\\TALLOWBRISK", kAddinsName + L"\\Other.Addin"}),
              backup.names);
    for (const std::wstring& text : backup.texts) EXPECT_FALSE(text.empty()) << "the key was there when saved";
    EXPECT_EQ(
        L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\TALLOWBRISK]\r\n\r\n"
        L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\TALLOWBRISK\\Addin]\r\n\"Level\"=dword:00000003\r\n\r\n",
        backup.texts[1]);
    EXPECT_EQ(std::vector<REGSAM>(3, KEY_READ), backup.accesses);

    // The same removals and records as without a backup.
    MemoryRegistry plain;
    PlantProduct(plain);
    plain.failDelete(kAddins + L"\\Other.Addin", ERROR_ACCESS_DENIED);
    RecordingLogger plainLogger;
    CleanRegistry(RegistryPass(plain, false, RegistryRuleTable(), &plainLogger), nullptr);
    EXPECT_EQ(plainLogger.records, logger.records);
    EXPECT_EQ(plain.allKeys(), registry.allKeys());
    EXPECT_EQ(0u, registry.openHandles());
}

// One removal, watched step by step: what the backup, the registry and the log see.
struct StepWatch {
    MemoryRegistry& registry;
    std::wstring key;
    std::vector<std::wstring> steps;
    std::wstring state() const { return registry.exists(key) ? L"kept" : L"gone"; }
};

class WatchingBackup : public RegistryBackup {
public:
    WatchingBackup(StepWatch& watch, BackupOutcome outcome) : watch_(watch), outcome_(outcome) {}
    BackupOutcome save(RegistryApi&, HKEY, const std::wstring&, REGSAM, const std::wstring&) override {
        watch_.steps.push_back(L"save, " + watch_.state());
        return outcome_;
    }

private:
    StepWatch& watch_;
    BackupOutcome outcome_;
};

class WatchingLogger : public OperationsLogger {
public:
    WatchingLogger(StepWatch& watch, bool mayRemove) : watch_(watch), mayRemove_(mayRemove) {}
    bool mayRemove() override {
        watch_.steps.push_back(L"asked");
        return mayRemove_;
    }
    void writeFailed() override { watch_.steps.push_back(L"write failure"); }
    void log(const wchar_t*, const std::wstring& target, int succeeded) override {
        watch_.steps.push_back(std::wstring(L"log ") + target + L", " + watch_.state() +
                               (succeeded ? L", success" : L", fail"));
    }

private:
    StepWatch& watch_;
    bool mayRemove_;
};

TEST(RemoveKeyRecorded, SavesThenDeletesThenLogsAndKeepsWhatWasNotSaved) {
    const std::wstring key = kAddins + L"\\Tallowbrisk.Addin";
    const std::wstring line = L"log " + key;
    const struct {
        BackupOutcome outcome;
        bool mayRemove;
        std::vector<std::wstring> steps;
    } cases[] = {
        {BackupOutcome::Saved, true, {L"asked", L"save, kept", line + L", gone, success"}},
        {BackupOutcome::Unreadable, true, {L"asked", L"save, kept", line + L", kept, fail"}},
        {BackupOutcome::NotWritten, true, {L"asked", L"save, kept", L"write failure", line + L", kept, fail"}},
        // Not there for the backup: what the delete might still reach under that name stays.
        {BackupOutcome::Gone, true, {L"asked", L"save, kept", line + L", kept, success"}},
        // A run that may remove nothing more neither saves nor deletes, and still says so.
        {BackupOutcome::Saved, false, {L"asked", line + L", kept, fail"}},
    };
    for (const auto& c : cases) {
        MemoryRegistry registry;
        registry.setString(key + L"\\Inner", L"v", L"1");
        StepWatch watch{registry, key, {}};
        WatchingBackup backup(watch, c.outcome);
        WatchingLogger logger(watch, c.mayRemove);
        const bool removed =
            RemoveKeyRecorded(RegistryPass(registry, false, nullptr, &logger, &backup), HKEY_CURRENT_USER,
                              key.substr(5), KEY_READ, {key, kAddinsName + L"\\Tallowbrisk.Addin"});
        EXPECT_EQ(c.steps, watch.steps);
        EXPECT_EQ(removed, !registry.exists(key) || c.outcome == BackupOutcome::Gone);
        EXPECT_EQ(0u, registry.openHandles());
    }
}

// A stand-in for the Windows folder, with its "Logs" folder.
struct LogPlace {
    TempFolder windows;
    LogPlace() { CreateDirectoryW((windows / L"Logs").c_str(), nullptr); }
    std::wstring logFolder() const { return windows / L"Logs\\TallowBriskCleaner"; }
};

// The file's text after its byte order mark, which must be there.
std::wstring ReadUtf16File(const std::wstring& path) {
    const std::string bytes = ReadFileBytes(path);
    EXPECT_EQ(0, bytes.compare(0, 2, "\xFF\xFE")) << "no byte order mark";
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    std::memcpy(text.data(), bytes.data() + 2, text.size() * sizeof(wchar_t));
    return text;
}

std::vector<std::wstring> SectionKeys(const ReadRegFile& file) {
    std::vector<std::wstring> keys;
    for (const ReadSection& section : file.sections) keys.push_back(section.key);
    return keys;
}

TEST(RegistryBackupFile, Under64BitWindowsThe32BitViewGetsItsOwnFile) {
    MemoryRegistry registry;
    registry.useWindowsViews();
    registry.setProcessView(RegistryView::Bits32);
    registry.setString(L"HKLM\\SOFTWARE\\Tallowbrisk\\Addin", L"View", L"64", REG_SZ, RegistryView::Bits64);
    registry.setString(L"HKLM\\SOFTWARE\\Tallowbrisk\\Addin", L"View", L"32", REG_SZ, RegistryView::Bits32);
    registry.setString(L"HKCR\\CLSID\\{32}\\InprocServer32", L"", L"C:\\Tallowbrisk\\a.dll", REG_SZ,
                       RegistryView::Bits32);
    LogPlace place;
    RegistryBackupFile backup(place.windows.path());
    RecordingLogger logger;
    CleanRegistry(RegistryPass(registry, true, RegistryRuleTable(), &logger, &backup), nullptr);

    const std::wstring stem = place.logFolder() + L"\\Tallowbrisk_cleaner_";
    const std::wstring& path64 = backup.filePath();
    ASSERT_EQ(0, path64.compare(0, stem.size(), stem)) << std::string(path64.begin(), path64.end());
    ASSERT_EQ(stem.size() + 20 + 4, path64.size());
    EXPECT_EQ(L".reg", path64.substr(path64.size() - 4));
    EXPECT_EQ(path64.substr(0, path64.size() - 4) + L".32.reg", backup.filePath(true));

    const ReadRegFile file64 = ReadRegText(ReadUtf16File(path64));
    const ReadRegFile file32 = ReadRegText(ReadUtf16File(backup.filePath(true)));
    EXPECT_TRUE(file64.errors.empty() && file32.errors.empty());
    EXPECT_EQ((std::vector<std::wstring>{L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowbrisk",
                                         L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowbrisk\\Addin"}),
              SectionKeys(file64));
    EXPECT_EQ((std::vector<std::wstring>{
                  L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowbrisk", L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowbrisk\\Addin",
                  L"HKEY_CLASSES_ROOT\\CLSID\\{32}", L"HKEY_CLASSES_ROOT\\CLSID\\{32}\\InprocServer32"}),
              SectionKeys(file32));
    EXPECT_EQ(Utf16(L"64"), file64.sections[1].values.at(0).data);
    EXPECT_EQ(Utf16(L"32"), file32.sections[1].values.at(0).data);
    EXPECT_EQ(3u, logger.records.size());
}

TEST(RegistryBackupFile, NothingDeletedNothingWritten) {
    LogPlace place;
    MemoryRegistry registry;
    registry.setString(kAddins + L"\\Unrelated.Addin", L"Manifest", L"C:\\Else\\a.vsto");
    {
        RegistryBackupFile backup(place.windows.path());
        CleanRegistry(RegistryPass(registry, false, RegistryRuleTable(), nullptr, &backup), nullptr);
        // A key already gone when its turn comes leaves nothing to save either.
        EXPECT_EQ(BackupOutcome::Gone, backup.save(registry, HKEY_CURRENT_USER, L"SOFTWARE\\Gone", KEY_ALL_ACCESS,
                                                   L"HKEY_CURRENT_USER\\SOFTWARE\\Gone"));
        // A key that is there but cannot be read is not saved, and so must stay.
        registry.setString(L"HKCU\\SOFTWARE\\Locked", L"v", L"1");
        registry.failOpen(L"HKCU\\SOFTWARE\\Locked", ERROR_ACCESS_DENIED);
        EXPECT_EQ(BackupOutcome::Unreadable, backup.save(registry, HKEY_CURRENT_USER, L"SOFTWARE\\Locked", KEY_READ,
                                                         L"HKEY_CURRENT_USER\\SOFTWARE\\Locked"));
        EXPECT_TRUE(backup.filePath().empty());
    }
    EXPECT_FALSE(Exists(place.logFolder()));
}

TEST(RegistryBackupFile, AFolderThatCannotBeWrittenKeepsEveryKey) {
    TempFolder windows;  // no "Logs" folder: the one-level creation fails, and so does the file
    MemoryRegistry registry;
    PlantProduct(registry);
    const auto keysBefore = registry.allKeys();
    RegistryBackupFile backup(windows.path());
    RecordingLogger logger;
    CleanRegistry(RegistryPass(registry, false, RegistryRuleTable(), &logger, &backup), nullptr);

    // The same lines as a run with its backup, each saying "fail"; not one key is gone.
    MemoryRegistry plain;
    PlantProduct(plain);
    RecordingLogger plainLogger;
    CleanRegistry(RegistryPass(plain, false, RegistryRuleTable(), &plainLogger), nullptr);
    ASSERT_EQ(3u, logger.records.size());
    for (size_t i = 0; i < logger.records.size(); ++i) {
        EXPECT_EQ(plainLogger.records[i].target, logger.records[i].target);
        EXPECT_EQ(0, logger.records[i].succeeded);
    }
    EXPECT_EQ(keysBefore, registry.allKeys());
    EXPECT_TRUE(backup.filePath().empty());
    EXPECT_FALSE(Exists(windows / L"Logs"));
}

TEST(RegistryBackupFile, AFileOfTheSameSecondIsAddedToNotBegunAnew) {
    LogPlace place;
    CreateDirectoryW(place.logFolder().c_str(), nullptr);
    const std::wstring earlier = std::wstring(L"\xFEFF") + kRegFileHeader + L"[HKEY_CURRENT_USER\\Earlier]\r\n\r\n";
    // Plant an earlier run's backup under the name of the current second; try again if the
    // clock moves on between planting and saving.
    for (int attempt = 0; attempt < 5; ++attempt) {
        wchar_t stamp[64] = {};
        ASSERT_TRUE(FormatLogTimeStamp(stamp));
        const std::wstring planted = place.logFolder() + L"\\Tallowbrisk_cleaner_" + stamp + L".reg";
        WriteFileBytes(planted, Utf16Le(earlier));
        MemoryRegistry registry;
        registry.setString(L"HKCU\\SOFTWARE\\Later", L"v", L"1");
        RegistryBackupFile backup(place.windows.path());
        backup.save(registry, HKEY_CURRENT_USER, L"SOFTWARE\\Later", 0, L"HKEY_CURRENT_USER\\SOFTWARE\\Later");
        if (backup.filePath() == planted) {
            const ReadRegFile read = ReadRegText(ReadUtf16File(planted));
            EXPECT_TRUE(read.errors.empty());
            EXPECT_EQ((std::vector<std::wstring>{L"HKEY_CURRENT_USER\\Earlier", L"HKEY_CURRENT_USER\\SOFTWARE\\Later"}),
                      SectionKeys(read));
            return;
        }
        DeleteFileW(planted.c_str());
    }
    FAIL() << "the clock moved on during every attempt";
}

}  // namespace
