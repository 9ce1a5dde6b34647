#pragma once
// Owners for GDI objects and device contexts, and scoped selections.

#include <windows.h>

#include "platform/unique_any.h"

// A memory device context from CreateCompatibleDC.
using unique_memory_dc = unique_any<NullInvalidPolicy<HDC, DeleteDC>>;
// A bitmap, brush, font or other object deleted with DeleteObject.
template <typename T>
using unique_gdi = unique_any<NullInvalidPolicy<T, DeleteObject>>;
using unique_bitmap = unique_gdi<HBITMAP>;
using unique_brush = unique_gdi<HBRUSH>;
using unique_font = unique_gdi<HFONT>;

// A window's (or, for none, the screen's) device context from GetDC, released with ReleaseDC.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDC() {
        if (dc_ != nullptr) {
            ReleaseDC(window_, dc_);
        }
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a context and puts the previous one back on destruction, so that
// an object is never deleted while a context still holds it.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), old_(object != nullptr ? SelectObject(dc, object) : nullptr) {}
    ~ScopedSelect() {
        if (old_ != nullptr && old_ != HGDI_ERROR) {
            SelectObject(dc_, old_);
        }
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// BeginPaint on construction, EndPaint on destruction.
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintScope() { EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;

    HDC dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};
