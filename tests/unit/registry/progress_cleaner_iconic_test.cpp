// The taskbar progress sink with a fake clock, trace and taskbar; the message queue is the
// test thread's own.

#include "report/progress_cleaner_iconic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TaskbarCall {
    std::string what;
    HWND window;
    ULONGLONG a, b;
    bool operator==(const TaskbarCall& o) const { return what == o.what && window == o.window && a == o.a && b == o.b; }
};

class FakeTaskbar : public ITaskbarList3 {
public:
    std::vector<TaskbarCall> calls;
    ULONG references = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override {
        calls.push_back({"Release", nullptr, 0, 0});
        return --references;
    }
    HRESULT STDMETHODCALLTYPE HrInit() override { return record("HrInit"); }
    HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return record("AddTab"); }
    HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return record("DeleteTab"); }
    HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return record("ActivateTab"); }
    HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return record("SetActiveAlt"); }
    HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, WINBOOL) override { return record("MarkFullscreenWindow"); }
    HRESULT STDMETHODCALLTYPE SetProgressValue(HWND window, ULONGLONG done, ULONGLONG total) override {
        calls.push_back({"SetProgressValue", window, done, total});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetProgressState(HWND window, TBPFLAG state) override {
        calls.push_back({"SetProgressState", window, static_cast<ULONGLONG>(state), 0});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return record("RegisterTab"); }
    HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return record("UnregisterTab"); }
    HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return record("SetTabOrder"); }
    HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return record("SetTabActive"); }
    HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override {
        return record("ThumbBarAddButtons");
    }
    HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override {
        return record("ThumbBarUpdateButtons");
    }
    HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return record("ThumbBarSetImageList"); }
    HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return record("SetOverlayIcon"); }
    HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return record("SetThumbnailTooltip"); }
    HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return record("SetThumbnailClip"); }

private:
    HRESULT record(const char* what) {
        calls.push_back({what, nullptr, 0, 0});
        return E_NOTIMPL;
    }
};

class FakePlatform : public ProgressPlatform {
public:
    DWORD tick = 0;
    DWORD versionValue = 0x23F00206;  // 6.2, as GetVersion packs it
    bool offerTaskbar = true;
    int taskbarRequests = 0;
    FakeTaskbar taskbar;
    std::vector<std::wstring> traces;

    DWORD tickCount() override { return tick; }
    DWORD version() override { return versionValue; }
    void trace(const wchar_t* text) override { traces.push_back(text); }
    ITaskbarList3* createTaskbar() override {
        ++taskbarRequests;
        return offerTaskbar ? &taskbar : nullptr;
    }
};

const HWND kWindow = reinterpret_cast<HWND>(0x1234);

// Leaves one message waiting in the thread's queue.
void PostMarker() {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // makes sure the thread has a queue
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP + 7, 0, 0));
}

bool MarkerWaiting() {
    MSG message;
    bool waiting = PeekMessageW(&message, nullptr, WM_APP + 7, WM_APP + 7, PM_NOREMOVE);
    return waiting;
}

void EmptyQueue() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
}

TEST(ProgressCleanerIconic, FirstReportTracesAndDrainsAtOnce) {
    FakePlatform platform;
    platform.tick = 123456;
    ProgressCleanerIconic progress(nullptr, platform);
    PostMarker();
    progress.progress(0, 100);
    EXPECT_FALSE(MarkerWaiting());
    progress.progress(100, 100);
    EXPECT_EQ((std::vector<std::wstring>{L"cur pos 0 / 100 - 0\n", L"cur pos 100 / 100 - 123456\n"}), platform.traces);
    EXPECT_EQ(0, platform.taskbarRequests) << "no window, no taskbar";
    EmptyQueue();
}

TEST(ProgressCleanerIconic, DrainsOnlyWhenMoreThan50msHavePassed) {
    for (DWORD start : {1000u, 0xFFFFFFF0u}) {  // the second drains across the counter's wrap-around
        FakePlatform platform;
        ProgressCleanerIconic progress(nullptr, platform);
        platform.tick = start;
        progress.progress(1, 266);

        PostMarker();
        platform.tick = start + 50;
        progress.progress(2, 266);
        EXPECT_TRUE(MarkerWaiting()) << "50 ms after " << start;
        platform.tick = start + 51;
        progress.progress(3, 266);
        EXPECT_FALSE(MarkerWaiting()) << "51 ms after " << start;

        ASSERT_EQ(3u, platform.traces.size());
        EXPECT_EQ(L"cur pos 2 / 266 - " + std::to_wstring(start) + L"\n", platform.traces[1]);
        EXPECT_EQ(L"cur pos 3 / 266 - " + std::to_wstring(start) + L"\n", platform.traces[2]);
        EmptyQueue();
    }
}

TEST(ProgressCleanerIconic, DrivesTheTaskbarButtonFromIndeterminateToNone) {
    FakePlatform platform;
    {
        ProgressCleanerIconic progress(kWindow, platform);
        EXPECT_EQ(std::vector<TaskbarCall>{(TaskbarCall{"SetProgressState", kWindow, TBPF_INDETERMINATE, 0})},
                  platform.taskbar.calls);
        platform.tick = 5000;
        progress.progress(10, 266);
        progress.progress(266, 266);
    }
    EXPECT_EQ((std::vector<TaskbarCall>{{"SetProgressState", kWindow, TBPF_INDETERMINATE, 0},
                                        {"SetProgressValue", kWindow, 10, 266},
                                        {"SetProgressValue", kWindow, 266, 266},
                                        {"SetProgressState", kWindow, TBPF_NOPROGRESS, 0},
                                        {"Release", nullptr, 0, 0}}),
              platform.taskbar.calls);
    EXPECT_EQ(0u, platform.taskbar.references);
    EmptyQueue();
}

TEST(ProgressCleanerIconic, WithoutATaskbarOnlyTracesAndDrains) {
    FakePlatform old;
    old.versionValue = 0x1DB10106;  // 6.1
    FakePlatform refused;
    refused.offerTaskbar = false;
    FakePlatform newer;
    newer.versionValue = 0x0000000A;  // 10.0
    {
        ProgressCleanerIconic onOld(kWindow, old);
        ProgressCleanerIconic onRefused(kWindow, refused);
        ProgressCleanerIconic onNewer(kWindow, newer);
        onOld.progress(1, 2);
        onRefused.progress(1, 2);
    }
    EXPECT_EQ(0, old.taskbarRequests);
    EXPECT_EQ(1, refused.taskbarRequests);
    EXPECT_EQ(1u, refused.traces.size());
    EXPECT_EQ(1, newer.taskbarRequests);
    EXPECT_TRUE(old.taskbar.calls.empty());
    EmptyQueue();
}

TEST(ProgressCleanerIconic, RealPlatformWithoutWindow) {
    ProgressCleanerIconic progress(nullptr);
    PostMarker();
    progress.progress(0, 100);
    EXPECT_FALSE(MarkerWaiting());
    progress.progress(100, 100);
}

}  // namespace
