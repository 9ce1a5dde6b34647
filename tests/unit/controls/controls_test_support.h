#pragma once
// Shared helpers of the controls' Windows tests: the test picture, reading a bitmap back,
// a host window and a message pump.

#include <windows.h>

#include <cstdint>
#include <vector>

// The 7 x 5 test picture of make_test_resources.py, as 0x00RRGGBB; row 0 is the top row.
constexpr int kPatternWidth = 7;
constexpr int kPatternHeight = 5;
inline std::uint32_t Pattern(int x, int y) {
    return std::uint32_t((30 * x + 11) % 256) << 16 | std::uint32_t((40 * y + 7) % 256) << 8 |
           std::uint32_t((x * 5 + y * 23) % 256);
}

// The pixels of a bitmap as 0x00RRGGBB, top row first, read with GetDIBits.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> values;
    std::uint32_t at(int x, int y) const { return values[std::size_t(y) * width + x]; }
};

inline Pixels ReadPixels(HBITMAP bitmap) {
    Pixels p;
    BITMAP info{};
    if (bitmap == nullptr || GetObjectW(bitmap, sizeof(info), &info) == 0) {
        return p;
    }
    p.width = info.bmWidth;
    p.height = info.bmHeight;
    p.values.resize(std::size_t(p.width) * p.height);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = p.width;
    bi.bmiHeader.biHeight = -p.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, p.height, p.values.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (auto& v : p.values) v &= 0x00FFFFFF;
    return p;
}

inline std::uint32_t ToRgb(COLORREF c) { return std::uint32_t(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c); }

// Handles the messages that arrive within `ms` milliseconds.
inline void PumpMessages(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    } while (GetTickCount() - start < ms);
}

// A visible top-level window that holds the controls under test. One window serves the whole
// test program (under Wine without a window manager, destroying a visible top-level window
// waits for X); each HostWindow destroys the children it made.
class HostWindow {
public:
    HostWindow() {
        static const HWND shared = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = DefWindowProcW;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
            wc.lpszClassName = L"ControlsTestHost";
            RegisterClassW(&wc);
            HWND window = CreateWindowExW(0, L"ControlsTestHost", L"host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 100,
                                          100, 400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
            PumpMessages(50);
            return window;
        }();
        window_ = shared;
    }
    ~HostWindow() {
        while (HWND child = GetWindow(window_, GW_CHILD)) {
            DestroyWindow(child);
        }
    }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND get() const { return window_; }

    HWND AddChild(const wchar_t* className, const wchar_t* text, int x, int y, int w, int h, int id) {
        return CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE, x, y, w, h, window_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    }

private:
    HWND window_ = nullptr;
};

inline SIZE WindowSize(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}
