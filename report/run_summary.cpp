#include "report/run_summary.h"

namespace {

// A value the line can carry: what would end a field or the line becomes a blank.
std::wstring Plain(std::wstring value) {
    for (wchar_t& c : value) {
        if (c == L';' || c == L'\r' || c == L'\n') c = L' ';
    }
    return value;
}

}  // namespace

std::wstring SummaryLine(const RunSummary& summary) {
    const RunHeading& heading = summary.heading;
    std::wstring line = kSummaryPrefix;
    const auto field = [&](const wchar_t* name, const std::wstring& value) {
        if (line.size() > sizeof kSummaryPrefix / sizeof kSummaryPrefix[0] - 1) line += L"; ";
        line += name;
        line += L'=';
        line += Plain(value);
    };
    field(L"version", heading.version);
    field(L"switches", heading.switches);
    field(L"allUsers", heading.allUsers ? L"yes" : L"no");
    field(L"account", heading.account);
    field(L"sid", heading.sid);
    field(L"usersVisited", std::to_wstring(summary.usersVisited));
    field(L"usersPassedOver", std::to_wstring(summary.usersPassedOver));
    field(summary.preview ? L"planned" : L"removed", std::to_wstring(summary.removed));
    field(L"failed", std::to_wstring(summary.failed));
    field(L"passedOver", std::to_wstring(summary.passedOver));
    field(L"exit", std::to_wstring(summary.exitCode));
    field(L"reason", summary.reason);
    return line;
}
