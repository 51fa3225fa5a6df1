// The about box and the hyperlink control, with the shell's open and beep
// answered by the test.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "shell/about_dlg.h"
#include "tests/win/support/ui_support.h"

namespace kestrel::testing {
namespace {

class FakeShell final : public LinkShell {
public:
    FakeShell() { SetLinkShell(this); }
    ~FakeShell() override { SetLinkShell(nullptr); }
    INT_PTR Open(const char* target) override {
        opened.emplace_back(target);
        return result;
    }
    void Beep() override { ++beeps; }

    INT_PTR result = 42;
    std::vector<std::string> opened;
    int beeps = 0;
};

// What the parent's colouring gives a static: brush, text colour,
// background mode and the font the text is drawn with.
struct Colouring {
    HBRUSH brush = nullptr;
    COLORREF text = 0;
    int mode = 0;
    LOGFONTA font{};
};

Colouring ColouringOf(HWND parent, HWND control) {
    HDC dc = ::GetDC(control);
    ::SetTextColor(dc, RGB(1, 2, 3));
    ::SetBkMode(dc, OPAQUE);
    if (HGDIOBJ font = reinterpret_cast<HGDIOBJ>(::SendMessageA(control, WM_GETFONT, 0, 0)))
        ::SelectObject(dc, font);
    Colouring seen;
    seen.brush = reinterpret_cast<HBRUSH>(::SendMessageA(
        parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
    seen.text = ::GetTextColor(dc);
    seen.mode = ::GetBkMode(dc);
    ::GetObjectA(::GetCurrentObject(dc, OBJ_FONT), sizeof seen.font, &seen.font);
    ::ReleaseDC(control, dc);
    return seen;
}

class StaticLinkTest : public FrameSuite {
protected:
    void SetUp() override {
        ASSERT_TRUE(link.Create("最新ﾊﾞｰｼﾞｮﾝ", SS_LEFT | WS_VISIBLE, RECT{10, 10, 200, 30}, *frame, 1035));
        ::SendMessageA(link.GetSafeHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    static void SetUpTestSuite() {
        FrameSuite::SetUpTestSuite();
        font =
            ::CreateFontA(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0, "ＭＳ Ｐゴシック");
    }
    static void TearDownTestSuite() {
        ::DeleteObject(font);
        FrameSuite::TearDownTestSuite();
    }

    void ClickLink() { ::SendMessageA(link.GetSafeHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2)); }
    Colouring Seen() { return ColouringOf(*frame, link.GetSafeHwnd()); }

    static inline HFONT font = nullptr;
    CStaticLink link;
    FakeShell shell;
};

TEST_F(StaticLinkTest, BlueUnderlinedUntilAnOpenWorksThenPurple) {
    Colouring seen = Seen();
    EXPECT_EQ(seen.brush, ::GetStockObject(NULL_BRUSH));
    EXPECT_EQ(seen.text, RGB(0, 0, 255));
    EXPECT_EQ(seen.mode, TRANSPARENT);
    EXPECT_TRUE(seen.font.lfUnderline);
    EXPECT_EQ(seen.font.lfHeight, -14);  // the control's own font, underlined
    EXPECT_STREQ(seen.font.lfFaceName, "ＭＳ Ｐゴシック");
    LOGFONTA own{};
    ::GetObjectA(reinterpret_cast<HGDIOBJ>(::SendMessageA(link.GetSafeHwnd(), WM_GETFONT, 0, 0)), sizeof own,
                 &own);
    EXPECT_TRUE(own.lfUnderline);  // also where the static selects its own font after the colours

    // The shell cannot open it: a beep, and the colour stays.
    link.m_link = "https://www.norvale.example/";
    shell.result = SE_ERR_NOASSOC;
    ClickLink();
    EXPECT_EQ(shell.opened, std::vector<std::string>{"https://www.norvale.example/"});
    EXPECT_EQ(shell.beeps, 1);
    EXPECT_EQ(Seen().text, RGB(0, 0, 255));

    shell.result = 33;
    ::ValidateRect(link.GetSafeHwnd(), nullptr);
    ClickLink();
    EXPECT_EQ(shell.beeps, 1);
    EXPECT_EQ(Seen().text, RGB(128, 0, 128));
    RECT dirty{};
    EXPECT_TRUE(::GetUpdateRect(link.GetSafeHwnd(), &dirty, FALSE));  // repaints in its new colour

    // Visited stays visited, even when a later open fails.
    shell.result = 0;
    ClickLink();
    EXPECT_EQ(Seen().text, RGB(128, 0, 128));
}

TEST_F(StaticLinkTest, WithoutATargetTheTextIsOpened) {
    ClickLink();
    EXPECT_EQ(shell.opened, std::vector<std::string>{"最新ﾊﾞｰｼﾞｮﾝ"});

    // No target and no text: nothing at all, not even a beep.
    ::SetWindowTextA(link.GetSafeHwnd(), "");
    shell.result = 0;
    ClickLink();
    EXPECT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.beeps, 0);
}

TEST_F(StaticLinkTest, TakesTheMouseAndShowsTheSharedLinkCursor) {
    EXPECT_EQ(::SendMessageA(link.GetSafeHwnd(), WM_NCHITTEST, 0, MAKELPARAM(15, 15)), HTCLIENT);
    EXPECT_EQ(::ChildWindowFromPointEx(*frame, POINT{15, 15}, CWP_SKIPINVISIBLE), link.GetSafeHwnd());

    HCURSOR cursor = GetLinkCursor();
    ASSERT_NE(cursor, nullptr);
    ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
    EXPECT_TRUE(::SendMessageA(link.GetSafeHwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(link.GetSafeHwnd()),
                               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ(::GetCursor(), cursor);

    // A second link shows the very same cursor: it was loaded once.
    CStaticLink other;
    ASSERT_TRUE(other.Create("x", SS_LEFT, RECT{10, 40, 50, 60}, *frame, 1036));
    ::SetCursor(nullptr);
    ::SendMessageA(other.GetSafeHwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(other.GetSafeHwnd()),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(::GetCursor(), cursor);
    EXPECT_EQ(GetLinkCursor(), cursor);
}

TEST_F(StaticLinkTest, IconAndFrameStaticsKeepTheirLook) {
    for (DWORD type : {DWORD{SS_ICON}, DWORD{SS_BLACKRECT}, DWORD{SS_ETCHEDFRAME}}) {
        SCOPED_TRACE(type);
        HWND plain = ::CreateWindowExA(0, "Static", "", WS_CHILD | type, 0, 50, 32, 32, *frame, nullptr,
                                       nullptr, nullptr);
        const Colouring unlinked = ColouringOf(*frame, plain);
        CStaticLink linked;
        ASSERT_TRUE(linked.SubclassWindow(plain));
        const Colouring seen = ColouringOf(*frame, plain);
        EXPECT_EQ(seen.brush, unlinked.brush);
        EXPECT_EQ(seen.text, unlinked.text);
        EXPECT_EQ(seen.mode, unlinked.mode);
        EXPECT_NE(seen.text, RGB(0, 0, 255));
        EXPECT_EQ(linked.m_font, nullptr);
    }
}

TEST_F(StaticLinkTest, DeletesItselfWhenAsked) {
    static bool deleted = false;
    struct Watched : CStaticLink {
        Watched() : CStaticLink("target", TRUE) {}
        ~Watched() override { deleted = true; }
    };
    HWND plain =
        ::CreateWindowExA(0, "Static", "x", WS_CHILD, 0, 0, 10, 10, *frame, nullptr, nullptr, nullptr);
    auto* watched = new Watched;
    ASSERT_TRUE(watched->SubclassWindow(plain));
    Colouring seen = ColouringOf(*frame, plain);  // makes its font, which goes with it
    EXPECT_TRUE(seen.font.lfUnderline);
    ::DestroyWindow(plain);
    EXPECT_TRUE(deleted);

    // Without the flag the owner keeps the object.
    CStaticLink kept;
    plain = ::CreateWindowExA(0, "Static", "x", WS_CHILD, 0, 0, 10, 10, *frame, nullptr, nullptr, nullptr);
    ASSERT_TRUE(kept.SubclassWindow(plain));
    ::DestroyWindow(plain);
    EXPECT_EQ(kept.GetSafeHwnd(), nullptr);
    EXPECT_EQ(kept.m_link, "");
}

// Position and size in pixels, each converted on its own as the dialog
// manager converts a template's numbers.
RECT DialogUnits(HWND dialog, int x, int y, int width, int height) {
    RECT units{x, y, width, height};
    ::MapDialogRect(dialog, &units);
    return {units.left, units.top, units.left + units.right, units.top + units.bottom};
}

RECT PlaceOf(HWND dialog, HWND control) {
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(AboutBox, TextsControlsAndLink) {
    TestFrame frame;
    FakeShell shell;
    CAboutDlg about;
    const INT_PTR result = RunModal(about, [&](HWND dialog) {
        EXPECT_EQ(WindowText(dialog), "ヘイゼルミア");
        EXPECT_EQ(::GetWindow(dialog, GW_OWNER), frame.GetSafeHwnd());
        const LONG style = ::GetWindowLongA(dialog, GWL_STYLE);
        EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | DS_MODALFRAME), WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
        RECT client{};
        ::GetClientRect(dialog, &client);
        EXPECT_TRUE(client == DialogUnits(dialog, 0, 0, 189, 115));

        HWND title = ::GetWindow(dialog, GW_CHILD);
        EXPECT_EQ(WindowText(title), "ヘイゼルミア Version 1.0");
        EXPECT_TRUE(PlaceOf(dialog, title) == DialogUnits(dialog, 36, 4, 113, 8));

        HWND notice = ::GetDlgItem(dialog, IDC_ABOUT_NOTICE);
        EXPECT_NE(WindowText(notice).find("Copyright"), std::string::npos);
        EXPECT_NE(WindowText(notice).find("\r\n"), std::string::npos);
        const LONG noticeStyle = ::GetWindowLongA(notice, GWL_STYLE);
        EXPECT_EQ(noticeStyle & (ES_MULTILINE | ES_READONLY | ES_WANTRETURN),
                  ES_MULTILINE | ES_READONLY | ES_WANTRETURN);
        EXPECT_EQ(noticeStyle & WS_BORDER, 0);
        EXPECT_EQ(::GetWindowLongA(notice, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
        EXPECT_TRUE(PlaceOf(dialog, notice) == DialogUnits(dialog, 8, 44, 177, 41));

        HWND linkWindow = ::GetDlgItem(dialog, IDC_ABOUT_LINK);
        EXPECT_EQ(WindowText(linkWindow), "最新ﾊﾞｰｼﾞｮﾝをﾎｰﾑﾍﾟｰｼﾞで確認");
        EXPECT_EQ(::GetWindowLongA(linkWindow, GWL_STYLE) & 0xFF, SS_LEFT);
        EXPECT_TRUE(PlaceOf(dialog, linkWindow) == DialogUnits(dialog, 5, 95, 94, 8));
        EXPECT_EQ(CWnd::FromHandle(linkWindow), &about.m_wndLink);
        EXPECT_EQ(ColouringOf(dialog, linkWindow).text, RGB(0, 0, 255));
        ::SendMessageA(linkWindow, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        EXPECT_EQ(shell.opened, std::vector<std::string>{kProductPage});
        EXPECT_EQ(ColouringOf(dialog, linkWindow).text, RGB(128, 0, 128));

        HWND ok = ::GetDlgItem(dialog, IDOK);
        EXPECT_EQ(WindowText(ok), "OK");
        EXPECT_EQ(::GetWindowLongA(ok, GWL_STYLE) & (BS_DEFPUSHBUTTON | WS_TABSTOP),
                  BS_DEFPUSHBUTTON | WS_TABSTOP);
        EXPECT_TRUE(PlaceOf(dialog, ok) == DialogUnits(dialog, 135, 95, 50, 14));
        Click(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(about.m_wndLink.GetSafeHwnd(), nullptr);
}

}  // namespace
}  // namespace kestrel::testing
