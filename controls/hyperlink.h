#pragma once
// "mHyperlink": a child control that shows one line of link text and opens a URL when it is
// pressed. Its text is the label, a '$' and the URL. Blue normally, underlined while the cursor
// is over it (checked by a 100 ms timer), purple once visited. It has no keyboard interface.

#include <windows.h>

#include <string>

#include "platform/gdi.h"

constexpr wchar_t kHyperlinkClass[] = L"mHyperlink";

// Messages taking effect at the next paint.
constexpr UINT kHyperlinkSetNormalColour = WM_USER + 1;   // wParam: COLORREF
constexpr UINT kHyperlinkSetHoverColour = WM_USER + 2;    // wParam: COLORREF
constexpr UINT kHyperlinkSetVisitedColour = WM_USER + 3;  // wParam: COLORREF
constexpr UINT kHyperlinkSetLabel = WM_USER + 4;          // lParam: const wchar_t*
constexpr UINT kHyperlinkSetUrl = WM_USER + 5;            // lParam: const wchar_t*

// The per-control state, kept at window-long index 0 from WM_CREATE to WM_DESTROY.
class ml_Hyperlink {
public:
    explicit ml_Hyperlink(HWND window);
    virtual ~ml_Hyperlink();
    ml_Hyperlink(const ml_Hyperlink&) = delete;
    ml_Hyperlink& operator=(const ml_Hyperlink&) = delete;

    // Splits at the first '$': label before, URL after. Without one, both are the whole text.
    void SetLinkText(const wchar_t* text);
    void SetLabel(const wchar_t* text);
    void SetUrl(const wchar_t* text);

    const std::wstring& label() const { return label_; }
    const std::wstring& url() const { return url_; }
    HFONT normalFont() const { return normalFont_; }
    HFONT hoverFont() const { return hoverFont_.get(); }

    COLORREF normalColour = RGB(0, 0, 255);
    COLORREF hoverColour = RGB(0, 0, 255);
    COLORREF visitedColour = RGB(128, 0, 128);
    bool hovered = false;
    bool visited = false;

private:
    std::wstring label_;
    std::wstring url_;
    HFONT normalFont_ = nullptr;  // the stock GUI font, not ours to delete
    unique_font hoverFont_;
};

// Registers the class; the control's own source file calls it during static initialisation.
bool RegisterHyperlinkClass();

// The system's hand cursor; before Windows 2000 a cursor "IDC_HAND" of the program's own.
HCURSOR LoadHandCursor();

// What a press calls to open the URL: OpenAsSignedInUser (controls/unelevated_open.h) unless
// replaced.
using LinkOpener = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
// Replaces the opener (tests watch the URL this way); returns the previous one.
LinkOpener SetLinkOpener(LinkOpener opener);
