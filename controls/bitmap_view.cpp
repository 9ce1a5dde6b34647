#include "controls/bitmap_view.h"

#include "controls/compressed_bitmap.h"
#include "platform/app_instance.h"
#include "platform/gdi.h"

namespace {

constexpr int kBitmapSlot = 0;  // window-long index of the control's bitmap
constexpr int kNameLength = 256;
// dest = ((dest XOR brush) AND source) XOR dest: the brush where the source is white.
constexpr DWORD kBrushWhereWhite = 0x00E20746;

HBITMAP CurrentBitmap(HWND window) { return reinterpret_cast<HBITMAP>(GetWindowLongPtrW(window, kBitmapSlot)); }

void DeleteCurrentBitmap(HWND window) {
    auto old = reinterpret_cast<HBITMAP>(SetWindowLongPtrW(window, kBitmapSlot, 0));
    if (old != nullptr) {
        DeleteObject(old);
    }
}

// Loads the named picture (compressed first, then as a plain bitmap resource), keeps it and
// gives the control its size; no picture makes the control 0 x 0.
void InstallBitmap(HWND window, const wchar_t* name) {
    HBITMAP bitmap = LoadCompressedBitmap(AppInstance(), name, L"BMPGZDATA");
    if (bitmap == nullptr) {
        bitmap = LoadCompressedBitmap(AppInstance(), name, RT_BITMAP);
    }
    SetWindowLongPtrW(window, kBitmapSlot, reinterpret_cast<LONG_PTR>(bitmap));
    BITMAP size{};
    if (bitmap != nullptr) {
        GetObjectW(bitmap, sizeof(size), &size);
    }
    SetWindowPos(window, nullptr, 0, 0, size.bmWidth, size.bmHeight, SWP_NOMOVE | SWP_NOZORDER);
}

LRESULT OnCreate(HWND window) {
    wchar_t name[kNameLength] = {};
    GetWindowTextW(window, name, kNameLength);
    InstallBitmap(window, name);
    return 0;
}

// The new text only names the picture: it is not passed on, so the window text stays.
LRESULT OnSetText(HWND window, const wchar_t* text) {
    DeleteCurrentBitmap(window);
    wchar_t name[kNameLength] = {};
    lstrcpynW(name, text != nullptr ? text : L"", kNameLength);
    InstallBitmap(window, name);
    return TRUE;
}

LRESULT OnPaint(HWND window) {
    PaintScope paint(window);
    RECT client{};
    GetClientRect(window, &client);
    const COLORREF old = SetBkColor(paint.dc(), GetSysColor(COLOR_BTNFACE));
    DrawBitmapKeyed(paint.dc(), client.left, client.top, CurrentBitmap(window));
    SetBkColor(paint.dc(), old);
    return 0;
}

LRESULT CALLBACK BitmapViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(window);
        case WM_SETTEXT:
            return OnSetText(window, reinterpret_cast<const wchar_t*>(lParam));
        case WM_PAINT:
            return OnPaint(window);
        case WM_DESTROY:
            DeleteCurrentBitmap(window);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

HDC CreateMemoryDC(HDC like) {
    HDC dc = CreateCompatibleDC(like);
    return dc != nullptr ? dc : CreateCompatibleDC(nullptr);
}

}  // namespace

bool RegisterBitmapViewClass(HINSTANCE instance) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = BitmapViewProc;
    // Room for the bitmap handle at index 0 in either build.
    wc.cbWndExtra = 8;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kBitmapViewClass;
    return RegisterClassW(&wc) != 0;
}

void DrawBitmapKeyed(HDC target, int x, int y, HBITMAP bitmap) {
    BITMAP size{};
    if (bitmap == nullptr || GetObjectW(bitmap, sizeof(size), &size) == 0) {
        return;
    }
    const int w = size.bmWidth;
    const int h = size.bmHeight;

    // Declared before the contexts and selections, so they are deleted only after every
    // context has let go of them.
    unique_bitmap maskBitmap;
    unique_bitmap workBitmap;
    unique_brush brush;
    unique_memory_dc image(CreateMemoryDC(target));
    unique_memory_dc mask(CreateMemoryDC(target));
    unique_memory_dc work(CreateMemoryDC(target));

    ScopedSelect imageBitmap(image.get(), bitmap);
    // A fresh memory context holds a 1 x 1 monochrome bitmap, so this one is monochrome too.
    maskBitmap.reset(CreateCompatibleBitmap(mask.get(), w, h));
    ScopedSelect maskSelected(mask.get(), maskBitmap.get());
    workBitmap.reset(CreateCompatibleBitmap(target, w, h));
    ScopedSelect workSelected(work.get(), workBitmap.get());

    // Colour to monochrome: pixels of the source's background colour become white.
    const COLORREF imageBackground = SetBkColor(image.get(), kKeyColour);
    BitBlt(mask.get(), 0, 0, w, h, image.get(), 0, 0, SRCCOPY);
    SetBkColor(image.get(), imageBackground);

    BitBlt(work.get(), 0, 0, w, h, image.get(), 0, 0, SRCCOPY);

    brush.reset(CreateSolidBrush(GetBkColor(target)));
    ScopedSelect brushSelected(work.get(), brush.get());
    // Monochrome to colour: white (1) takes the background colour, black (0) the text colour.
    const COLORREF workText = SetTextColor(work.get(), RGB(0, 0, 0));
    const COLORREF workBackground = SetBkColor(work.get(), RGB(255, 255, 255));
    BitBlt(work.get(), 0, 0, w, h, mask.get(), 0, 0, kBrushWhereWhite);
    BitBlt(target, x, y, w, h, work.get(), 0, 0, SRCCOPY);
    SetTextColor(work.get(), workText);
    SetBkColor(work.get(), workBackground);
}
