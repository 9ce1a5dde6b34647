#include "controls/hyperlink.h"

#include <shellapi.h>

#include <new>

#include "controls/unelevated_open.h"
#include "platform/gdi.h"

namespace {

constexpr int kLinkSlot = 0;  // window-long index of the control's ml_Hyperlink
constexpr UINT kHoverCheckMs = 100;

LinkOpener g_opener = OpenAsSignedInUser;

ml_Hyperlink* LinkOf(HWND window) { return reinterpret_cast<ml_Hyperlink*>(GetWindowLongPtrW(window, kLinkSlot)); }

void RepaintNow(HWND window) {
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
}

// The timer carries the control's own identifier, so a dialog's several links keep apart.
UINT_PTR HoverTimer(HWND window) { return static_cast<UINT_PTR>(GetDlgCtrlID(window)); }

LRESULT OnCreate(HWND window, const CREATESTRUCTW* create) {
    auto* link = new (std::nothrow) ml_Hyperlink(window);
    if (link == nullptr) {
        return -1;
    }
    SetWindowLongPtrW(window, kLinkSlot, reinterpret_cast<LONG_PTR>(link));
    link->SetLinkText(create->lpszName);
    return 1;
}

LRESULT OnDestroy(HWND window) {
    delete reinterpret_cast<ml_Hyperlink*>(SetWindowLongPtrW(window, kLinkSlot, 0));
    return 0;
}

LRESULT OnPaint(HWND window, const ml_Hyperlink& link) {
    PaintScope paint(window);
    RECT client{};
    GetClientRect(window, &client);
    SetBkMode(paint.dc(), TRANSPARENT);
    // Hovered wins over visited.
    HFONT font = link.hovered ? link.hoverFont() : link.normalFont();
    COLORREF colour = link.hovered ? link.hoverColour : link.visited ? link.visitedColour : link.normalColour;
    ScopedSelect selected(paint.dc(), font);
    SetTextColor(paint.dc(), colour);
    DrawTextW(paint.dc(), link.label().c_str(), -1, &client, DT_SINGLELINE | DT_VCENTER);
    return 0;
}

// While hovered, each tick repaints; the first tick that finds the cursor outside ends the hover.
LRESULT OnTimer(HWND window, ml_Hyperlink& link) {
    const DWORD pos = GetMessagePos();
    POINT point{static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
    ScreenToClient(window, &point);
    RECT client{};
    GetClientRect(window, &client);
    if (!PtInRect(&client, point)) {
        link.hovered = false;
        KillTimer(window, HoverTimer(window));
    }
    RepaintNow(window);
    return 0;
}

LRESULT OnMouseMove(HWND window, ml_Hyperlink& link) {
    if (!link.hovered) {
        link.hovered = true;
        RepaintNow(window);
        SetTimer(window, HoverTimer(window), kHoverCheckMs, nullptr);
    }
    return 0;
}

// The link opens on the press, not the release. The hover timer keeps running.
LRESULT OnButtonDown(HWND window, ml_Hyperlink& link) {
    link.hovered = false;
    link.visited = true;
    RepaintNow(window);
    // An empty URL would make the shell open the current folder instead.
    if (!link.url().empty()) {
        g_opener(nullptr, L"open", link.url().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
    return 0;
}

const wchar_t* TextOf(LPARAM lParam) { return reinterpret_cast<const wchar_t*>(lParam); }

LRESULT CALLBACK HyperlinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        return OnCreate(window, reinterpret_cast<const CREATESTRUCTW*>(lParam));
    }
    ml_Hyperlink* link = LinkOf(window);
    if (link == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
        case WM_DESTROY:
            return OnDestroy(window);
        case WM_SETTEXT:
            // Not passed on: the window text keeps what the control was created with.
            link->SetLinkText(TextOf(lParam));
            return TRUE;
        case WM_PAINT:
            return OnPaint(window, *link);
        case WM_TIMER:
            return OnTimer(window, *link);
        case WM_MOUSEMOVE:
            return OnMouseMove(window, *link);
        case WM_LBUTTONDOWN:
            return OnButtonDown(window, *link);
        case kHyperlinkSetNormalColour:
            link->normalColour = static_cast<COLORREF>(wParam);
            return 0;
        case kHyperlinkSetHoverColour:
            link->hoverColour = static_cast<COLORREF>(wParam);
            return 0;
        case kHyperlinkSetVisitedColour:
            link->visitedColour = static_cast<COLORREF>(wParam);
            return 0;
        case kHyperlinkSetLabel:
            link->SetLabel(TextOf(lParam));
            return 0;
        case kHyperlinkSetUrl:
            link->SetUrl(TextOf(lParam));
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

// The class exists before the program's entry point runs, so any dialog can use it.
[[maybe_unused]] const bool g_hyperlinkRegistered = RegisterHyperlinkClass();

}  // namespace

ml_Hyperlink::ml_Hyperlink(HWND window) {
    SetClassLongPtrW(window, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(LoadHandCursor()));
    normalFont_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW font{};
    if (normalFont_ != nullptr && GetObjectW(normalFont_, sizeof(font), &font) != 0) {
        font.lfUnderline = TRUE;
        hoverFont_.reset(CreateFontIndirectW(&font));
    }
}

ml_Hyperlink::~ml_Hyperlink() = default;

void ml_Hyperlink::SetLinkText(const wchar_t* text) {
    const std::wstring whole = text != nullptr ? text : L"";
    const std::size_t dollar = whole.find(L'$');
    if (dollar == std::wstring::npos) {
        SetUrl(whole.c_str());
        SetLabel(whole.c_str());
    } else {
        SetUrl(whole.c_str() + dollar + 1);
        SetLabel(whole.substr(0, dollar).c_str());
    }
}

void ml_Hyperlink::SetLabel(const wchar_t* text) { label_ = text != nullptr ? text : L""; }

void ml_Hyperlink::SetUrl(const wchar_t* text) { url_ = text != nullptr ? text : L""; }

bool RegisterHyperlinkClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_GLOBALCLASS | CS_BYTEALIGNCLIENT | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = HyperlinkProc;
    wc.cbWndExtra = sizeof(ml_Hyperlink*);
    wc.hCursor = LoadHandCursor();
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kHyperlinkClass;
    return RegisterClassExW(&wc) != 0;
}

HCURSOR LoadHandCursor() {
    if (LOBYTE(LOWORD(GetVersion())) < 5) {
        return LoadCursorW(GetModuleHandleW(nullptr), L"IDC_HAND");
    }
    return LoadCursorW(nullptr, IDC_HAND);
}

LinkOpener SetLinkOpener(LinkOpener opener) {
    LinkOpener previous = g_opener;
    g_opener = opener != nullptr ? opener : OpenAsSignedInUser;
    return previous;
}
