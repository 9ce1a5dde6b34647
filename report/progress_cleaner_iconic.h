#pragma once
// The progress sink of a cleaning session: shows the progress on the main window's taskbar
// button, traces each report to the debugger output and keeps the window responsive.

// windows.h must come first.
// clang-format off
#include <windows.h>
#include <shobjidl.h>
// clang-format on

#include "report/progress_cleaner.h"

// The platform services the sink uses, replaceable in tests.
class ProgressPlatform {
public:
    virtual ~ProgressPlatform() = default;
    virtual DWORD tickCount();                // GetTickCount
    virtual DWORD version();                  // GetVersion
    virtual void trace(const wchar_t* text);  // OutputDebugStringW
    virtual ITaskbarList3* createTaskbar();   // the shell's taskbar list object, or null
};

class ProgressCleanerIconic : public ProgressCleaner {
public:
    // For `window` (may be null: then no taskbar progress). On Windows 8 and later the
    // taskbar button turns indeterminate until the first report.
    explicit ProgressCleanerIconic(HWND window);
    // The same on other platform services; `platform` must outlive the sink.
    ProgressCleanerIconic(HWND window, ProgressPlatform& platform);
    ~ProgressCleanerIconic() override;

    ProgressCleanerIconic(const ProgressCleanerIconic&) = delete;
    ProgressCleanerIconic& operator=(const ProgressCleanerIconic&) = delete;

    // Traces "cur pos <position> / <total> - <last pump tick>", moves the taskbar progress,
    // and drains the thread's message queue when more than 50 ms have passed since the
    // last drain.
    void progress(unsigned position, unsigned total) override;

private:
    HWND window_;
    ITaskbarList3* taskbar_ = nullptr;
    DWORD lastPumpTick_ = 0;
    ProgressPlatform& platform_;
};

// True for Windows 8 (6.2) and later, from a GetVersion value.
bool TaskbarProgressAvailable(DWORD version);
