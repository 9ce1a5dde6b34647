#pragma once
// Sinks that remember what the cleaner reported, and a capture of standard output.

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "registry/registry_backup.h"
#include "report/operations_logger.h"
#include "report/progress_cleaner.h"

struct Record {
    std::wstring kind;
    std::wstring target;
    int succeeded;
    bool operator==(const Record& other) const {
        return kind == other.kind && target == other.target && succeeded == other.succeeded;
    }
};

class RecordingLogger : public OperationsLogger {
public:
    void log(const wchar_t* kind, const std::wstring& target, int succeeded) override {
        records.push_back(Record{kind, target, succeeded});
    }
    std::vector<std::wstring> targets() const {
        std::vector<std::wstring> all;
        for (const Record& r : records) all.push_back(r.target);
        return all;
    }
    std::vector<Record> records;
};

// A backup that keeps only the names of the keys it was handed, and lets each go.
class NamesOfSavedKeys : public RegistryBackup {
public:
    BackupOutcome save(RegistryApi&, HKEY, const std::wstring&, REGSAM, const std::wstring& keyName) override {
        names.push_back(keyName);
        return BackupOutcome::Saved;
    }
    std::vector<std::wstring> names;
};

// The same for single values too, each named "key|name" in `names` in its turn, and saved or,
// without `valuesSaved`, refused.
class NamesOfSavedKeysAndValues : public NamesOfSavedKeys {
public:
    explicit NamesOfSavedKeysAndValues(bool valuesSaved = true) : valuesSaved_(valuesSaved) {}
    bool saveValue(const std::wstring& key, const std::wstring& name, const RegistryValueData&, REGSAM) override {
        names.push_back(key + L"|" + name);
        return valuesSaved_;
    }

private:
    bool valuesSaved_;
};

class RecordingProgress : public ProgressCleaner {
public:
    void progress(unsigned position, unsigned total) override { calls.push_back({position, total}); }
    std::vector<std::pair<unsigned, unsigned>> calls;
};

// Sends what the process writes to standard output to a file while it lives; text() gives
// what was written.
class StdoutCapture {
public:
    StdoutCapture() {
        std::fflush(stdout);
        file_ = std::tmpfile();
        saved_ = _dup(_fileno(stdout));
        _dup2(_fileno(file_), _fileno(stdout));
    }
    ~StdoutCapture() {
        restore();
        if (file_) std::fclose(file_);
    }
    std::string text() {
        restore();
        std::string all;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;) all += static_cast<char>(c);
        return all;
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stdout);
        _dup2(saved_, _fileno(stdout));
        _close(saved_);
        saved_ = -1;
    }
    std::FILE* file_ = nullptr;
    int saved_ = -1;
};
