#include "controls/bitmap_view.h"

#include <gtest/gtest.h>

#include <string>

#include "controls/compressed_bitmap.h"
#include "controls_test_support.h"
#include "platform/gdi.h"

namespace {

class BitmapView : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(RegisterBitmapViewClass(GetModuleHandleW(nullptr))); }

    HWND AddView(const wchar_t* text, DWORD extraStyle = 0) {
        HWND view = CreateWindowExW(0, kBitmapViewClass, text, WS_CHILD | WS_VISIBLE | extraStyle, 10, 20, 65, 120,
                                    host_.get(), nullptr, GetModuleHandleW(nullptr), nullptr);
        EXPECT_NE(view, nullptr);
        return view;
    }

    static HBITMAP BitmapOf(HWND view) { return reinterpret_cast<HBITMAP>(GetWindowLongPtrW(view, 0)); }

    HostWindow host_;
};

TEST_F(BitmapView, TakesTheSizeOfItsPictureAndKeepsItsPlace) {
    HWND view = AddView(L"TALLOWBRISKBMP", WS_BORDER);
    EXPECT_EQ(WindowSize(view).cx, 178);
    EXPECT_EQ(WindowSize(view).cy, 200);
    RECT r{};
    GetWindowRect(view, &r);
    MapWindowPoints(nullptr, host_.get(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);

    EXPECT_EQ(WindowSize(AddView(L"KEYED")).cx, 6);  // a standard bitmap resource
}

TEST_F(BitmapView, WithoutAPictureItIsEmpty) {
    for (const wchar_t* name : {L"NO_SUCH_PICTURE", L"", L"BAD_CRC"}) {
        HWND view = AddView(name);
        EXPECT_EQ(WindowSize(view).cx, 0);
        EXPECT_EQ(WindowSize(view).cy, 0);
        EXPECT_EQ(BitmapOf(view), nullptr);
        UpdateWindow(view);
    }
}

// The control reads at most 255 characters of its text, at creation and from WM_SETTEXT: a
// longer text names the picture that its first 255 characters name.
TEST_F(BitmapView, ATextLongerThan255CharactersIsCut) {
    const std::wstring name(255, L'N');  // a test picture's name
    EXPECT_EQ(WindowSize(AddView((name + L"NNN_AND_MORE").c_str())).cx, kPatternWidth);
    EXPECT_EQ(WindowSize(AddView(name.substr(1).c_str())).cx, 0) << "254 characters name no picture";
    HWND view = AddView(L"");
    SetWindowTextW(view, std::wstring(400, L'N').c_str());
    EXPECT_EQ(WindowSize(view).cx, kPatternWidth);
    EXPECT_NE(BitmapOf(view), nullptr);
}

TEST_F(BitmapView, SetTextLoadsTheNewPictureButKeepsTheText) {
    HWND view = AddView(L"FLAGS_NONE");
    ASSERT_EQ(WindowSize(view).cx, kPatternWidth);
    HBITMAP first = BitmapOf(view);
    ASSERT_NE(first, nullptr);

    EXPECT_TRUE(SetWindowTextW(view, L"WIDE"));
    EXPECT_EQ(WindowSize(view).cx, 23);
    EXPECT_EQ(WindowSize(view).cy, 9);
    EXPECT_EQ(GetObjectType(first), 0u) << "the replaced bitmap is deleted";
    wchar_t text[64] = {};
    GetWindowTextW(view, text, 64);
    EXPECT_STREQ(text, L"FLAGS_NONE");

    HBITMAP second = BitmapOf(view);
    SendMessageW(view, WM_SETTEXT, 0, 0);
    EXPECT_EQ(WindowSize(view).cx, 0);
    EXPECT_EQ(GetObjectType(second), 0u);
}

TEST_F(BitmapView, DestroyDeletesTheBitmap) {
    HWND view = AddView(L"FLAGS_NONE");
    HBITMAP bitmap = BitmapOf(view);
    ASSERT_EQ(GetObjectType(bitmap), static_cast<DWORD>(OBJ_BITMAP));
    DestroyWindow(view);
    EXPECT_EQ(GetObjectType(bitmap), 0u);
}

// The keyed picture's rows: pure green, three near-greens, red, pure green; row 1 reversed.
const std::uint32_t kKeyedRow[6] = {0x00FF00, 0x01FF00, 0x00FE00, 0x00FF01, 0xC81E28, 0x00FF00};

TEST(DrawBitmapKeyed, PureGreenTakesTheBackgroundColourAndNearGreenStays) {
    unique_bitmap keyed(LoadCompressedBitmap(GetModuleHandleW(nullptr), L"KEYED", RT_BITMAP));
    ASSERT_TRUE(keyed);

    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 10, -4, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    unique_bitmap target(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    unique_memory_dc dc(CreateCompatibleDC(nullptr));
    ScopedSelect selected(dc.get(), target.get());
    auto* px = static_cast<std::uint32_t*>(bits);
    std::fill(px, px + 40, 0x00123456u);

    SetBkColor(dc.get(), RGB(12, 34, 56));
    DrawBitmapKeyed(dc.get(), 2, 1, keyed.get());
    DrawBitmapKeyed(dc.get(), 0, 0, nullptr);
    GdiFlush();

    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 10; ++x) {
            std::uint32_t expected = 0x123456;
            if (y >= 1 && y <= 2 && x >= 2 && x < 8) {
                expected = kKeyedRow[y == 1 ? x - 2 : 7 - x];
                if (expected == 0x00FF00) expected = 0x0C2238;
            }
            EXPECT_EQ(px[y * 10 + x] & 0xFFFFFF, expected) << x << "," << y;
        }
    }
}

TEST_F(BitmapView, PaintsPureGreenInTheFaceColour) {
    HWND view = AddView(L"KEYED");
    InvalidateRect(view, nullptr, FALSE);
    UpdateWindow(view);
    PumpMessages(50);
    WindowDC dc(view);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(GetPixel(dc.get(), 0, 0), face);
    EXPECT_EQ(GetPixel(dc.get(), 5, 0), face);
    EXPECT_EQ(GetPixel(dc.get(), 1, 0), RGB(1, 255, 0));
    EXPECT_EQ(GetPixel(dc.get(), 4, 0), RGB(200, 30, 40));
}

}  // namespace
