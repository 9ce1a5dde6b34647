#include "report/progress_cleaner_iconic.h"

#include <cwchar>

namespace {

// The queue is drained at most once in this many milliseconds.
constexpr DWORD kPumpInterval = 50;

ProgressPlatform& SystemPlatform() {
    static ProgressPlatform platform;
    return platform;
}

void DrainMessageQueue() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

DWORD ProgressPlatform::tickCount() { return GetTickCount(); }

DWORD ProgressPlatform::version() { return GetVersion(); }

void ProgressPlatform::trace(const wchar_t* text) { OutputDebugStringW(text); }

ITaskbarList3* ProgressPlatform::createTaskbar() {
    // The status is not needed: without an object there is no taskbar progress.
    ITaskbarList3* taskbar = nullptr;
    CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_ALL, IID_ITaskbarList3, reinterpret_cast<void**>(&taskbar));
    return taskbar;
}

bool TaskbarProgressAvailable(DWORD version) {
    const unsigned major = LOBYTE(LOWORD(version));
    const unsigned minor = HIBYTE(LOWORD(version));
    return major > 6 || (major == 6 && minor >= 2);
}

ProgressCleanerIconic::ProgressCleanerIconic(HWND window) : ProgressCleanerIconic(window, SystemPlatform()) {}

ProgressCleanerIconic::ProgressCleanerIconic(HWND window, ProgressPlatform& platform)
    : window_(window), platform_(platform) {
    if (window_ && TaskbarProgressAvailable(platform_.version())) {
        taskbar_ = platform_.createTaskbar();
        if (taskbar_) {
            taskbar_->SetProgressState(window_, TBPF_INDETERMINATE);
        }
    }
}

ProgressCleanerIconic::~ProgressCleanerIconic() {
    if (taskbar_) {
        taskbar_->SetProgressState(window_, TBPF_NOPROGRESS);
        taskbar_->Release();
        taskbar_ = nullptr;
    }
}

void ProgressCleanerIconic::progress(unsigned position, unsigned total) {
    wchar_t line[64];
    std::swprintf(line, sizeof line / sizeof line[0], L"cur pos %u / %u - %u\n", position, total,
                  static_cast<unsigned>(lastPumpTick_));
    platform_.trace(line);

    if (taskbar_) {
        taskbar_->SetProgressValue(window_, position, total);
    }
    // Unsigned arithmetic: the difference stays right when the tick count wraps after 49.7 days.
    if (static_cast<DWORD>(platform_.tickCount() - lastPumpTick_) <= kPumpInterval) {
        return;
    }
    DrainMessageQueue();
    lastPumpTick_ = platform_.tickCount();
}
