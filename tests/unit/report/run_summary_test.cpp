// The summary line of an unattended run, and how a line reaches standard output.

#include "report/run_summary.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/standard_output.h"
#include "platform/unique_any.h"
#include "tests/unit/support/temp_folder.h"

namespace {

TEST(SummaryLine, EveryFieldInItsOrderARunsRemovedAPreviewsPlanned) {
    RunSummary run;
    run.heading = {L"1.15.1", L"/QUIET /AllUsers", true, L"NT AUTHORITY\\SYSTEM", L"S-1-5-18"};
    run.usersVisited = 3;
    run.usersPassedOver = 1;
    run.removed = 12;
    run.passedOver = 2;
    run.exitCode = 0;
    run.reason = L"cleaned";
    EXPECT_EQ(
        L"LOG Summary:: version=1.15.1; switches=/QUIET /AllUsers; allUsers=yes; account=NT AUTHORITY\\SYSTEM; "
        L"sid=S-1-5-18; usersVisited=3; usersPassedOver=1; removed=12; failed=0; passedOver=2; exit=0; "
        L"reason=cleaned",
        SummaryLine(run));

    RunSummary preview;
    preview.preview = true;
    preview.heading.account = L"odd;name\r\nnext";  // nothing ends a field or the line early
    preview.failed = 1;
    preview.exitCode = 1618;
    preview.reason = L"another-run";
    EXPECT_EQ(
        L"LOG Summary:: version=; switches=; allUsers=no; account=odd name  next; sid=; usersVisited=0; "
        L"usersPassedOver=0; planned=0; failed=1; passedOver=0; exit=1618; reason=another-run",
        SummaryLine(preview));
}

// How a program of the GUI subsystem writes to standard output, as Microsoft's GetStdHandle
// page tells: without handles (NULL), or with one that names nothing here, it joins its
// parent's console; a console's screen buffer takes the text itself; files, pipes and other
// devices (NUL) take bytes.
TEST(ChooseOutputWay, ByWhatTheHandleIs) {
    const HANDLE some = reinterpret_cast<HANDLE>(0x44);
    struct Case {
        HANDLE handle;
        DWORD type;
        DWORD error;
        bool console;
        OutputWay way;
    };
    const Case cases[] = {
        {nullptr, FILE_TYPE_UNKNOWN, ERROR_INVALID_HANDLE, false, OutputWay::ParentConsole},
        {INVALID_HANDLE_VALUE, FILE_TYPE_UNKNOWN, ERROR_INVALID_HANDLE, false, OutputWay::ParentConsole},
        {some, FILE_TYPE_UNKNOWN, ERROR_INVALID_HANDLE, false, OutputWay::ParentConsole},  // a parent's console handle
        {some, FILE_TYPE_DISK, NO_ERROR, false, OutputWay::Bytes},                         // "> file"
        {some, FILE_TYPE_PIPE, NO_ERROR, false, OutputWay::Bytes},                         // captured by PowerShell
        {some, FILE_TYPE_CHAR, NO_ERROR, true, OutputWay::Console},
        {some, FILE_TYPE_CHAR, NO_ERROR, false, OutputWay::Bytes},  // "> NUL"
        {some, FILE_TYPE_UNKNOWN, NO_ERROR, false, OutputWay::Bytes},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.way, ChooseOutputWay(c.handle, c.type, c.error, c.console)) << c.type << " " << c.error;
    }
}

TEST(WriteLineTo, AFileOrAPipeGetsTheLineInUtf8WithItsLineBreak) {
    const std::wstring line = L"LOG Summary:: account=NT-AUTORIT\u00c4T\\SYSTEM";
    const std::string bytes = "LOG Summary:: account=NT-AUTORIT\xC3\x84T\\SYSTEM\r\n";
    TempFolder folder;
    {
        unique_file file(CreateFileW((folder / L"out.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        EXPECT_TRUE(WriteLineTo(file.get(), line));
    }
    EXPECT_EQ(bytes, ReadFileBytes(folder / L"out.txt"));

    unique_file reader;
    unique_file writer;
    ASSERT_TRUE(CreatePipe(reader.put(), writer.put(), nullptr, 0));
    EXPECT_TRUE(WriteLineTo(writer.get(), line));
    std::string read(bytes.size() + 8, '\0');
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(reader.get(), &read[0], static_cast<DWORD>(read.size()), &got, nullptr));
    read.resize(got);
    EXPECT_EQ(bytes, read);

    unique_file nul(
        CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(nul);
    EXPECT_TRUE(WriteLineTo(nul.get(), line));
    EXPECT_FALSE(WriteLineTo(nullptr, line)) << "no handle: nothing written through it";
}

}  // namespace
