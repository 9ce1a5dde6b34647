#pragma once
// A logger that keeps the records it receives, for tests.

#include <string>
#include <vector>

#include "report/operations_logger.h"

struct LogRecord {
    std::wstring kind;
    std::wstring target;
    int succeeded;

    bool operator==(const LogRecord& other) const {
        return kind == other.kind && target == other.target && (succeeded != 0) == (other.succeeded != 0);
    }
};

class RecordingLogger : public OperationsLogger {
public:
    void log(const wchar_t* kind, const std::wstring& target, int succeeded) override {
        records.push_back({kind, target, succeeded});
    }
    std::vector<LogRecord> records;
};
