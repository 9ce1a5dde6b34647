#include "controls/hyperlink.h"
#include "controls/unelevated_open.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <exdisp.h>
#include <tlhelp32.h>

#include <map>

#include <string>
#include <vector>

#include "controls_test_support.h"
#include "platform/gdi.h"

namespace {

struct OpenCall {
    HWND owner;
    std::wstring verb;
    std::wstring file;
    bool noParameters;
    bool noDirectory;
    int show;
};
std::vector<OpenCall> g_opened;

HINSTANCE WINAPI RecordOpen(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory, INT show) {
    g_opened.push_back(
        {owner, verb ? verb : L"(null)", file ? file : L"(null)", parameters == nullptr, directory == nullptr, show});
    return reinterpret_cast<HINSTANCE>(42);
}

constexpr int kLinkId = 1234;
constexpr wchar_t kText[] = L"Download link for the latest Addin version.$http://example.test/a$b";

class Hyperlink : public testing::Test {
protected:
    void SetUp() override {
        previous_ = SetLinkOpener(RecordOpen);
        g_opened.clear();
        SetCursorPos(5, 5);  // well away from the host window
    }
    void TearDown() override { SetLinkOpener(previous_); }

    HWND AddLink(const wchar_t* text) { return host_.AddChild(kHyperlinkClass, text, 20, 40, 300, 20, kLinkId); }
    static ml_Hyperlink& LinkOf(HWND link) { return *reinterpret_cast<ml_Hyperlink*>(GetWindowLongPtrW(link, 0)); }
    static void MoveCursorInto(HWND link) {
        POINT p{10, 10};
        ClientToScreen(link, &p);
        SetCursorPos(p.x, p.y);
    }

    // Pixels of the link's client area, painted now, as 0x00RRGGBB, top row first.
    static Pixels Snapshot(HWND link) {
        InvalidateRect(link, nullptr, TRUE);
        UpdateWindow(link);
        RECT r{};
        GetClientRect(link, &r);
        WindowDC dc(link);
        unique_memory_dc memory(CreateCompatibleDC(dc.get()));
        unique_bitmap copy(CreateCompatibleBitmap(dc.get(), r.right, r.bottom));
        {
            ScopedSelect selected(memory.get(), copy.get());
            BitBlt(memory.get(), 0, 0, r.right, r.bottom, dc.get(), 0, 0, SRCCOPY);
        }
        return ReadPixels(copy.get());
    }

    // How many pixels have exactly `rgb`, and the longest run of it in one row.
    static std::pair<int, int> Count(const Pixels& p, std::uint32_t rgb) {
        int total = 0;
        int longest = 0;
        for (int y = 0; y < p.height; ++y) {
            int run = 0;
            for (int x = 0; x < p.width; ++x) {
                run = p.at(x, y) == rgb ? run + 1 : 0;
                total += run > 0;
                longest = std::max(longest, run);
            }
        }
        return {total, longest};
    }

    HostWindow host_;
    LinkOpener previous_ = nullptr;
};

TEST_F(Hyperlink, ClassIsRegisteredBeforeTheProgramStarts) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), kHyperlinkClass, &wc));
    EXPECT_EQ(wc.style, 0x5003u);
    EXPECT_GE(wc.cbWndExtra, static_cast<int>(sizeof(void*)));
    EXPECT_EQ(wc.hbrBackground, GetSysColorBrush(COLOR_BTNFACE));
    EXPECT_EQ(wc.hCursor, LoadCursorW(nullptr, IDC_HAND));
}

TEST_F(Hyperlink, TextIsSplitAtTheFirstDollar) {
    const struct {
        const wchar_t* text;
        const wchar_t* label;
        const wchar_t* url;
    } cases[] = {
        {L"Label$http://host/path", L"Label", L"http://host/path"},
        {L"no dollar at all", L"no dollar at all", L"no dollar at all"},
        {L"a$b$c$", L"a", L"b$c$"},
        {L"ends in dollar$", L"ends in dollar", L""},
        {L"$starts with dollar", L"", L"starts with dollar"},
        {L"", L"", L""},
    };
    for (const auto& c : cases) {
        HWND link = AddLink(c.text);
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(LinkOf(link).label(), c.label) << c.text;
        EXPECT_EQ(LinkOf(link).url(), c.url) << c.text;
        DestroyWindow(link);
    }
    HWND link = host_.AddChild(kHyperlinkClass, nullptr, 0, 0, 10, 10, 1);
    EXPECT_EQ(LinkOf(link).label(), L"");
}

TEST_F(Hyperlink, SetTextSplitsTheNewTextButKeepsTheWindowText) {
    HWND link = AddLink(L"old$http://old");
    EXPECT_TRUE(SetWindowTextW(link, L"new label$http://new"));
    EXPECT_EQ(LinkOf(link).label(), L"new label");
    EXPECT_EQ(LinkOf(link).url(), L"http://new");
    wchar_t text[64] = {};
    GetWindowTextW(link, text, 64);
    EXPECT_STREQ(text, L"old$http://old");
}

TEST_F(Hyperlink, StartsBlueWithTheStockFontAndAnUnderlinedCopy) {
    ml_Hyperlink& state = LinkOf(AddLink(kText));
    EXPECT_EQ(state.normalColour, RGB(0, 0, 255));
    EXPECT_EQ(state.hoverColour, RGB(0, 0, 255));
    EXPECT_EQ(state.visitedColour, RGB(128, 0, 128));
    EXPECT_FALSE(state.hovered);
    EXPECT_FALSE(state.visited);
    EXPECT_EQ(state.normalFont(), GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW normal{}, hover{};
    GetObjectW(state.normalFont(), sizeof(normal), &normal);
    ASSERT_NE(state.hoverFont(), nullptr);
    GetObjectW(state.hoverFont(), sizeof(hover), &hover);
    EXPECT_TRUE(hover.lfUnderline);
    EXPECT_STREQ(hover.lfFaceName, normal.lfFaceName);
    EXPECT_EQ(hover.lfHeight, normal.lfHeight);
}

TEST_F(Hyperlink, UserMessagesSetColoursAndTextWithoutRepainting) {
    HWND link = AddLink(kText);
    UpdateWindow(link);
    SendMessageW(link, WM_USER + 1, RGB(1, 2, 3), 0);
    SendMessageW(link, WM_USER + 2, RGB(4, 5, 6), 0);
    SendMessageW(link, WM_USER + 3, RGB(7, 8, 9), 0);
    SendMessageW(link, WM_USER + 4, 0, reinterpret_cast<LPARAM>(L"just the label"));
    SendMessageW(link, WM_USER + 5, 0, reinterpret_cast<LPARAM>(L"http://only/url"));
    EXPECT_FALSE(GetUpdateRect(link, nullptr, FALSE));
    const ml_Hyperlink& state = LinkOf(link);
    EXPECT_EQ(state.normalColour, RGB(1, 2, 3));
    EXPECT_EQ(state.hoverColour, RGB(4, 5, 6));
    EXPECT_EQ(state.visitedColour, RGB(7, 8, 9));
    EXPECT_EQ(state.label(), L"just the label");
    EXPECT_EQ(state.url(), L"http://only/url");
    SendMessageW(link, WM_USER + 4, 0, 0);
    EXPECT_EQ(state.label(), L"");
    EXPECT_EQ(Count(Snapshot(link), 0x010203).first, 0);
}

TEST_F(Hyperlink, PressOpensTheUrlAndMarksTheLinkVisited) {
    HWND link = AddLink(kText);
    SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    for (WPARAM key : {VK_RETURN, VK_SPACE}) {
        SendMessageW(link, WM_KEYDOWN, key, 0);
        SendMessageW(link, WM_CHAR, key, 0);
        SendMessageW(link, WM_KEYUP, key, 0);
    }
    EXPECT_TRUE(g_opened.empty()) << "only the button press opens the link";
    EXPECT_FALSE(LinkOf(link).visited);

    SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ASSERT_EQ(g_opened.size(), 1u);
    EXPECT_EQ(g_opened[0].owner, nullptr);
    EXPECT_EQ(g_opened[0].verb, L"open");
    EXPECT_EQ(g_opened[0].file, L"http://example.test/a$b");
    EXPECT_TRUE(g_opened[0].noParameters);
    EXPECT_TRUE(g_opened[0].noDirectory);
    EXPECT_EQ(g_opened[0].show, SW_SHOWNORMAL);
    EXPECT_TRUE(LinkOf(link).visited);
    EXPECT_FALSE(LinkOf(link).hovered);

    SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(g_opened.size(), 1u);

    // A link without an address marks itself visited but opens nothing.
    HWND empty = host_.AddChild(kHyperlinkClass, L"label only$", 20, 80, 300, 20, 77);
    SendMessageW(empty, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_EQ(g_opened.size(), 1u);
    EXPECT_TRUE(LinkOf(empty).visited);
}

TEST_F(Hyperlink, HoverStartsATimerWithTheControlIdThatEndsItOnceTheCursorLeaves) {
    HWND link = AddLink(kText);
    MoveCursorInto(link);
    SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    EXPECT_TRUE(LinkOf(link).hovered);

    // Ticks with the cursor over the control keep the hover.
    PumpMessages(350);
    EXPECT_TRUE(LinkOf(link).hovered);

    SetCursorPos(5, 5);
    const DWORD left = GetTickCount();
    while (LinkOf(link).hovered && GetTickCount() - left < 2000) {
        PumpMessages(10);
    }
    EXPECT_FALSE(LinkOf(link).hovered);
    EXPECT_LT(GetTickCount() - left, 600u) << "a tick comes every 100 ms";
    EXPECT_FALSE(KillTimer(link, kLinkId)) << "the tick that ended the hover stops the timer";

    // A further move hovers again and restarts the timer under the control's identifier.
    SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    EXPECT_TRUE(LinkOf(link).hovered);
    EXPECT_TRUE(KillTimer(link, kLinkId));
}

TEST_F(Hyperlink, IsDrawnBlueUnderlinedWhileHoveredAndPurpleOnceVisited) {
    HWND link = AddLink(kText);
    const std::uint32_t blue = 0x0000FF;
    const std::uint32_t purple = 0x800080;

    Pixels plain = Snapshot(link);
    const auto [plainBlue, plainRun] = Count(plain, blue);
    EXPECT_GT(plainBlue, 20);
    EXPECT_EQ(Count(plain, purple).first, 0);

    MoveCursorInto(link);
    SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    Pixels hovered = Snapshot(link);
    const auto [hoverBlue, hoverRun] = Count(hovered, blue);
    EXPECT_GT(hoverBlue, plainBlue);
    EXPECT_GT(hoverRun, 100) << "an underline runs under the whole label";
    EXPECT_LT(plainRun, 40);

    SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    Pixels visited = Snapshot(link);
    const auto [visitedPurple, visitedRun] = Count(visited, purple);
    EXPECT_EQ(Count(visited, blue).first, 0);
    EXPECT_GT(visitedPurple, 20);
    EXPECT_LT(visitedRun, 40) << "no underline after the click";

    // Moving over it again: hovered wins over visited.
    SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    Pixels again = Snapshot(link);
    EXPECT_GT(Count(again, blue).second, 100);
    EXPECT_EQ(Count(again, purple).first, 0);
    SetCursorPos(5, 5);
}

TEST(LoadHandCursor, GivesTheSystemHand) { EXPECT_EQ(LoadHandCursor(), LoadCursorW(nullptr, IDC_HAND)); }

// The download link runs no browser with the program's administrator rights: an elevated
// process hands it to the signed-in user's desktop, or opens nothing.
TEST(ChooseLinkRoute, UnelevatedDirectlyElevatedThroughTheDesktopOrNotAtAll) {
    EXPECT_EQ(LinkRoute::Directly, ChooseLinkRoute(false, false));
    EXPECT_EQ(LinkRoute::Directly, ChooseLinkRoute(false, true));
    EXPECT_EQ(LinkRoute::ThroughTheDesktop, ChooseLinkRoute(true, true));
    EXPECT_EQ(LinkRoute::NotAtAll, ChooseLinkRoute(true, false));
}

// Whether this process reaches the desktop's shell windows object within 10 s. Wine starts the
// desktop's process with a prefix's first window and registers the object a moment later; and
// now and then Wine's COM gives one process REGDB_E_KEYMISSING for it for the whole of its life,
// while the next process reaches it.
bool DesktopShellReachable() {
    GetDesktopWindow();
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool up = false;
    for (int look = 0; look < 100 && !up; ++look) {
        IShellWindows* windows = nullptr;
        up = SUCCEEDED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&windows)));
        if (windows) windows->Release();
        if (!up) Sleep(100);
    }
    if (SUCCEEDED(apartment)) CoUninitialize();
    return up;
}

// Under Wine every process is elevated, and the desktop's shell is there: the opener hands the
// link to the desktop's process, which starts what it names. (That the desktop runs unelevated,
// as the signed-in user, is Windows' to show.) Where the process can't reach the desktop's
// shell, it starts nothing, with its own rights or otherwise.
TEST(OpenAsSignedInUser, AnElevatedProcessHasTheDesktopStartWhatTheLinkNamesOrNothing) {
    ASSERT_TRUE(ProcessIsElevated()) << "Wine's processes are elevated";
    const bool desktop = DesktopShellReachable();
    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    const std::wstring marker = std::wstring(temp) + L"TallowbriskLinkTest." + std::to_wstring(GetCurrentProcessId());
    RemoveDirectoryW(marker.c_str());
    const std::wstring arguments = L"/c mkdir \"" + marker + L"\" & ping -n 3 127.0.0.1 >nul";
    // Process id -> (its program, its parent's id).
    const auto processes = [] {
        std::map<DWORD, std::pair<std::wstring, DWORD>> found;
        const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry{sizeof entry};
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
            found[entry.th32ProcessID] = {entry.szExeFile, entry.th32ParentProcessID};
        }
        CloseHandle(snapshot);
        return found;
    };
    const auto before = processes();
    const HINSTANCE result =
        OpenAsSignedInUser(nullptr, L"open", L"cmd.exe", arguments.c_str(), nullptr, SW_HIDE);
    if (!desktop) {
        EXPECT_LE(reinterpret_cast<INT_PTR>(result), 32);
        Sleep(3000);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(marker.c_str())) << "the command ran";
        RemoveDirectoryW(marker.c_str());
        return;
    }
    EXPECT_GT(reinterpret_cast<INT_PTR>(result), 32);
    // The command's process, while it waits: started by the desktop's process, not by this one.
    std::wstring parent;
    for (int look = 0; look < 200 && parent.empty(); ++look) {
        Sleep(50);
        const auto now = processes();
        for (const auto& [id, process] : now) {
            if (!before.count(id) && lstrcmpiW(process.first.c_str(), L"cmd.exe") == 0 && now.count(process.second)) {
                EXPECT_NE(GetCurrentProcessId(), process.second);
                parent = now.at(process.second).first;
            }
        }
    }
    EXPECT_EQ(L"explorer.exe", parent);
    for (int look = 0; look < 100 && GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES; ++look) Sleep(50);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(marker.c_str())) << "the command did not run";
    RemoveDirectoryW(marker.c_str());
}

}  // namespace
