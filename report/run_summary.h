#pragma once
// The last line of an unattended run's log, and what it writes to standard output: one line
// that a deployment tool, or a script that reads its output, can take apart without knowing
// the log's other lines.
//
//   LOG Summary:: version=1.15.1; switches=/quiet; allUsers=yes; account=NT AUTHORITY\SYSTEM;
//   sid=S-1-5-18; usersVisited=3; usersPassedOver=1; removed=12; failed=0; passedOver=2; exit=0;
//   reason=cleaned
//
// (one line). Fields are "name=value", separated by "; ", always all of them, in this order; a
// preview says "planned" where a run says "removed". No value holds ";" or a line break.

#include <string>

// Who started the run, and how: what the run itself does not find out.
struct RunHeading {
    std::wstring version;   // the program's, "1.15.1"
    std::wstring switches;  // the command line, as given
    bool allUsers = false;  // every user's part ran, or would have (app/all_users.h)
    std::wstring account;   // "DOMAIN\name" of the user the program runs as
    std::wstring sid;       // that user's SID
};

struct RunSummary {
    RunHeading heading;
    bool preview = false;
    int usersVisited = 0;     // the user the program runs as, and each other user whose part ran
    int usersPassedOver = 0;  // other users whose part did not run
    int removed = 0;          // lines saying "success" (in a preview, "planned")
    int failed = 0;           // lines saying "fail"
    int passedOver = 0;       // lines saying "passed over"
    int exitCode = 0;
    std::wstring reason;  // one word for why the run exits with exitCode (app/unattended_runs.h)
};

constexpr wchar_t kSummaryPrefix[] = L"LOG Summary:: ";

// The line, without its line break.
std::wstring SummaryLine(const RunSummary& summary);
