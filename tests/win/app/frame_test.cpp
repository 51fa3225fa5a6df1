// The program as a whole in the test process: start-up and its settings, and
// the main frame's menu, toolbar, status bar, splitter, keys and Start command.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>

#include "computers/left_view.h"
#include "framework/bars.h"
#include "resources/resource.h"
#include "results/kestrel_view.h"
#include "tests/win/app/app_support.h"

namespace kestrel::testing {
namespace {

constexpr char kStartDialog[] = "ログオン情報収集の開始";

RECT ScreenRect(HWND window) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    return rect;
}

RECT ClientOnScreen(HWND window) {
    RECT rect{};
    ::GetClientRect(window, &rect);
    ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::string MenuText(HMENU menu, int position) {
    char text[128] = {};
    ::GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof text, MF_BYPOSITION);
    return text;
}

// Commands the frame receives with no control behind them: menus and keys.
std::vector<UINT> g_commands;
HWND g_spiedFrame = nullptr;

LRESULT CALLBACK CommandSpy(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->hwnd == g_spiedFrame && sent->message == WM_COMMAND && sent->lParam == 0) {
        g_commands.push_back(LOWORD(sent->wParam));
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

class StartUpTest : public AppSuite {};

TEST_F(StartUpTest, SettingsAndWindowRightAfterStartUp) {
    const char* const order[] = {"Filter_System",      "Filter_Application", "Filter_Security",
                                 "Filter_Information", "Filter_Warning",     "Filter_Error",
                                 "Filter_Securityok",  "Filter_Securityng",  "DontShowMessageToolTip",
                                 "DayBefore",          "MaxComputer"};
    ASSERT_EQ(app->requests.size(), std::size(order));
    for (std::size_t k = 0; k < std::size(order); ++k) {
        const TestApp::Request& asked = app->requests[k];
        EXPECT_EQ(asked.valueName, order[k]);
        EXPECT_EQ(asked.root, HKEY_LOCAL_MACHINE);
        EXPECT_EQ(asked.subKey, "SOFTWARE\\Norvale\\ケストレル");
        EXPECT_EQ(asked.type, static_cast<DWORD>(REG_DWORD));
    }

    EXPECT_EQ(app->Filter_Security, 1);
    EXPECT_EQ(app->Filter_System, 0);
    EXPECT_EQ(app->Filter_Application, 0);
    EXPECT_EQ(app->Filter_Securityok, 1);
    EXPECT_EQ(app->Filter_Securityng, 1);
    EXPECT_EQ(app->Filter_Information, 0);
    EXPECT_EQ(app->Filter_Warning, 0);
    EXPECT_EQ(app->Filter_Error, 0);
    EXPECT_EQ(app->FromLogStart, 0);
    EXPECT_EQ(app->ToLogEnd, 1);
    EXPECT_EQ(app->MaxComputer, 200);
    EXPECT_EQ(app->DayBefore, 7);
    EXPECT_EQ(app->DontShowMessageToolTip, 0);
    EXPECT_EQ(app->RunReport, "");
    // Two readings of the clock, a second apart at most.
    EXPECT_GE(app->ToTime - app->FromTime, 604800);
    EXPECT_LE(app->ToTime - app->FromTime, 604801);
    EXPECT_LT(std::abs(static_cast<long long>(std::time(nullptr) - app->ToTime)), 120);

    // The mutex is held under its name.
    HANDLE again = ::CreateMutexA(nullptr, FALSE, "kstr2000");
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ::CloseHandle(again);

    HWND frame = Frame();
    EXPECT_TRUE(::IsWindowVisible(frame));
    EXPECT_EQ(WindowText(frame), "無題 - kestrel");
    EXPECT_EQ(Frame().GetLeftPane()->GetItemCount(), 2);  // the root and localhost
}

class MainFrameTest : public AppSuite {};

TEST_F(MainFrameTest, MenuAndIcon) {
    HMENU menu = ::GetMenu(Frame());
    ASSERT_EQ(::GetMenuItemCount(menu), 5);
    EXPECT_EQ(MenuText(menu, 0), "ファイル(&F)");
    EXPECT_EQ(MenuText(menu, 1), "編集(&E)");
    EXPECT_EQ(MenuText(menu, 2), "表示(&V)");
    EXPECT_EQ(MenuText(menu, 3), "開始");
    EXPECT_EQ(MenuText(menu, 4), "ヘルプ(&H)");
    HMENU file = ::GetSubMenu(menu, 0);
    ASSERT_EQ(::GetMenuItemCount(file), 6);
    EXPECT_EQ(MenuText(file, 0), "結果をCSVファイルに保存(&E)...\tCtrl+E");
    EXPECT_EQ(::GetMenuItemID(file, 0), static_cast<UINT>(ID_SAVE_RESULTS_CSV));
    EXPECT_TRUE(::GetMenuState(file, 1, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(MenuText(file, 2), "ｵﾌﾗｲﾝﾛｸﾞのﾌｫﾙﾀﾞ(&F)...");
    EXPECT_EQ(::GetMenuItemID(file, 2), static_cast<UINT>(ID_OFFLINE_LOG_FOLDER));
    EXPECT_EQ(MenuText(file, 3), "ｲﾍﾞﾝﾄﾛｸﾞ ｻｰﾋﾞｽから読む(&S)");
    EXPECT_EQ(::GetMenuItemID(file, 3), static_cast<UINT>(ID_EVENT_LOG_SERVICE));
    HMENU edit = ::GetSubMenu(menu, 1);
    ASSERT_EQ(::GetMenuItemCount(edit), 2);
    EXPECT_EQ(MenuText(edit, 0), "選択した行をコピー(&C)\tCtrl+C");
    EXPECT_EQ(::GetMenuItemID(edit, 0), static_cast<UINT>(ID_EDIT_COPY));
    HMENU start = ::GetSubMenu(menu, 3);
    ASSERT_EQ(::GetMenuItemCount(start), 4);
    EXPECT_EQ(MenuText(start, 0), "ログオン情報取得を開始(&L)");
    EXPECT_EQ(::GetMenuItemID(start, 0), static_cast<UINT>(ID_START_COLLECTION));
    HMENU help = ::GetSubMenu(menu, 4);
    ASSERT_EQ(::GetMenuItemCount(help), 2);
    EXPECT_TRUE(::GetMenuState(help, 0, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(MenuText(help, 1), "バージョン情報(&A)...");
    EXPECT_EQ(::GetMenuItemID(help, 1), static_cast<UINT>(ID_APP_ABOUT));

    EXPECT_NE(Frame().Send(WM_GETICON, ICON_BIG), 0);
    EXPECT_NE(Frame().Send(WM_GETICON, ICON_SMALL), 0);
}

TEST_F(MainFrameTest, ToolbarButtonsTipsAndDocking) {
    CToolBar& bar = Frame().GetToolBar();
    HWND toolbar = bar;
    EXPECT_EQ(::GetDlgCtrlID(toolbar), AFX_IDW_TOOLBAR);
    EXPECT_TRUE(::GetWindowLongA(toolbar, GWL_STYLE) & TBSTYLE_FLAT);
    ASSERT_EQ(bar.Send(TB_BUTTONCOUNT), 3);
    const int commands[] = {ID_START_COLLECTION, 0, ID_APP_EXIT};
    for (int k = 0; k < 3; ++k) {
        TBBUTTON button{};
        bar.Send(TB_GETBUTTON, static_cast<WPARAM>(k), reinterpret_cast<LPARAM>(&button));
        EXPECT_EQ(button.idCommand, commands[k]) << k;
        EXPECT_EQ((button.fsStyle & BTNS_SEP) != 0, k == 1) << k;
    }
    // Pictures of 46 x 30, each in a button with the 7-pixel frame around it.
    EXPECT_EQ(bar.GetButtonSize().cx, 53);
    EXPECT_EQ(bar.GetButtonSize().cy, 37);
    int width = 0, height = 0;
    ImageList_GetIconSize(bar.GetImageList(), &width, &height);
    EXPECT_EQ(width, 46);
    EXPECT_EQ(height, 30);
    EXPECT_EQ(ImageList_GetImageCount(bar.GetImageList()), 2);
    RECT button{};
    bar.Send(TB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&button));
    EXPECT_EQ(button.right - button.left, 53);

    // Tooltips: the part of the prompt after its line break.
    HWND tips = reinterpret_cast<HWND>(bar.Send(TB_GETTOOLTIPS));
    ASSERT_NE(tips, nullptr);
    for (const auto& [id, tip] :
         {std::pair<UINT, std::string>{ID_START_COLLECTION, "イベントログの取得を開始"},
          {ID_APP_EXIT, "アプリケーションの終了"}}) {
        char text[256] = {};
        TOOLINFOA tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = toolbar;
        tool.uId = id;
        tool.lpszText = text;
        ::SendMessageA(tips, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
        EXPECT_EQ(std::string(text), tip) << id;
    }

    // Docked along the top, above the panes, the width of the frame.
    const RECT client = ClientOnScreen(Frame());
    HWND panes = ::GetDlgItem(Frame(), AFX_IDW_PANE_FIRST);
    EXPECT_EQ(ScreenRect(toolbar).top, client.top);
    EXPECT_EQ(ScreenRect(toolbar).right - ScreenRect(toolbar).left, client.right - client.left);
    EXPECT_EQ(ScreenRect(panes).top, ScreenRect(toolbar).bottom);

    // Dragged by its gripper and let go near the left edge: down the left side.
    const RECT grip = bar.GetGripperRect();
    const POINT onGrip{ScreenRect(toolbar).left + (grip.left + grip.right) / 2,
                       ScreenRect(toolbar).top + (grip.top + grip.bottom) / 2};
    ASSERT_EQ(bar.Send(WM_NCHITTEST, 0, MAKELPARAM(onGrip.x, onGrip.y)), HTBORDER);
    bar.Send(WM_NCLBUTTONDOWN, HTBORDER, MAKELPARAM(onGrip.x, onGrip.y));
    POINT drop{client.left + 5, (client.top + client.bottom) / 2};
    ::ScreenToClient(toolbar, &drop);
    bar.Send(WM_LBUTTONUP, 0, MAKELPARAM(drop.x, drop.y));
    EXPECT_EQ(bar.GetDockSide(), CBRS_ALIGN_LEFT);
    const RECT left = ScreenRect(toolbar);
    EXPECT_EQ(left.left, client.left);
    EXPECT_GT(left.bottom - left.top, left.right - left.left);
    EXPECT_EQ(ScreenRect(panes).left, left.right);
    EXPECT_EQ(ScreenRect(panes).top, client.top);

    ASSERT_TRUE(Frame().DockControlBar(&bar, CBRS_ALIGN_TOP));
    EXPECT_EQ(ScreenRect(panes).top, ScreenRect(toolbar).bottom);
}

TEST_F(MainFrameTest, StatusBarPanesIndicatorsAndPrompts) {
    HWND status = ::GetDlgItem(Frame(), AFX_IDW_STATUS_BAR);
    ASSERT_NE(status, nullptr);
    ASSERT_EQ(::SendMessageA(status, SB_GETPARTS, 0, 0), 5);
    auto pane = [&](int index) {
        char text[128] = {};
        ::SendMessageA(status, SB_GETTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
        return std::string(text);
    };

    // The indicators follow the keys at idle time.
    BYTE saved[256] = {};
    ::GetKeyboardState(saved);
    auto keys = [&](bool kana, bool caps, bool num, bool scroll) {
        BYTE state[256];
        std::memcpy(state, saved, sizeof state);
        state[VK_KANA] = kana ? 1 : 0;
        state[VK_CAPITAL] = caps ? 1 : 0;
        state[VK_NUMLOCK] = num ? 1 : 0;
        state[VK_SCROLL] = scroll ? 1 : 0;
        ::SetKeyboardState(state);
        app->OnIdle(0);
        return pane(1) + "|" + pane(2) + "|" + pane(3) + "|" + pane(4);
    };
    EXPECT_EQ(keys(false, true, false, false), "|CAP||");
    EXPECT_EQ(keys(true, true, true, true), "ｶﾅ|CAP|NUM|SCRL");
    EXPECT_EQ(keys(true, false, false, true), "ｶﾅ|||SCRL");
    EXPECT_EQ(keys(false, false, false, false), "|||");
    ::SetKeyboardState(saved);

    // A highlighted menu item shows its prompt; a closed menu the idle text.
    HMENU menu = ::GetMenu(Frame());
    Frame().Send(WM_MENUSELECT, MAKEWPARAM(ID_START_COLLECTION, MF_HILITE), reinterpret_cast<LPARAM>(menu));
    EXPECT_EQ(pane(0), "イベントログの取得を開始");
    Frame().Send(WM_MENUSELECT, MAKEWPARAM(ID_APP_ABOUT, MF_HILITE), reinterpret_cast<LPARAM>(menu));
    EXPECT_EQ(pane(0), "ﾌﾟﾛｸﾞﾗﾑの情報、ﾊﾞｰｼﾞｮﾝそして著作権を表示");
    Frame().Send(WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    EXPECT_EQ(pane(0), "");

    // So does a toolbar button under the pointer, until the pointer leaves.
    CToolBar& bar = Frame().GetToolBar();
    RECT exit{};
    bar.Send(TB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&exit));
    bar.Send(WM_MOUSEMOVE, 0, MAKELPARAM((exit.left + exit.right) / 2, (exit.top + exit.bottom) / 2));
    EXPECT_EQ(pane(0), "アプリケーションを終了し、ファイルの保存を指示");
    bar.Send(WM_MOUSELEAVE);
    EXPECT_EQ(pane(0), "");
}

TEST_F(MainFrameTest, SplitterPanesAndPaneKeys) {
    CSplitterWnd& splitter = Frame().GetSplitter();
    EXPECT_EQ(::GetDlgCtrlID(splitter), AFX_IDW_PANE_FIRST);
    HWND tree = *Frame().GetLeftPane();
    HWND list = *Frame().GetRightPane();
    EXPECT_EQ(splitter.GetPane(0, 0), Frame().GetLeftPane());
    EXPECT_EQ(splitter.GetPane(0, 1), Frame().GetRightPane());
    EXPECT_EQ(ScreenRect(tree).right - ScreenRect(tree).left, 120);
    EXPECT_EQ(Frame().GetActiveView(), Frame().GetLeftPane());

    // F6 and Shift+F6 move the active view, and the focus with it.
    PressKey(tree, VK_F6);
    EXPECT_EQ(Frame().GetActiveView(), Frame().GetRightPane());
    EXPECT_EQ(::GetFocus(), list);
    PressKey(list, VK_F6);
    EXPECT_EQ(Frame().GetActiveView(), Frame().GetLeftPane());
    EXPECT_EQ(::GetFocus(), tree);
    PressKey(tree, VK_F6, false, true);
    EXPECT_EQ(Frame().GetActiveView(), Frame().GetRightPane());
    PressKey(list, VK_F6, false, true);
    EXPECT_EQ(Frame().GetActiveView(), Frame().GetLeftPane());

    // The bar between the panes follows a drag.
    const RECT bar = splitter.GetBarRect(0);
    const int y = (bar.top + bar.bottom) / 2;
    splitter.Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(bar.left + 2, y));
    splitter.Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(bar.left + 62, y));
    splitter.Send(WM_LBUTTONUP, 0, MAKELPARAM(bar.left + 62, y));
    EXPECT_EQ(ScreenRect(tree).right - ScreenRect(tree).left, 180);
    EXPECT_EQ(ScreenRect(list).left - ScreenRect(tree).right, CSplitterWnd::kBarWidth);
}

// Runs last in its suite: some of the keys change the list and the document.
TEST_F(MainFrameTest, EveryAcceleratorReachesItsCommand) {
    struct Key {
        UINT key;
        bool control, shift, alt;
        UINT command;
    };
    const Key keys[] = {
        {'D', true, false, false, ID_DELETE_COMPUTER},    {'R', true, false, false, ID_IMPORT_COMPUTER_LIST},
        {'W', true, false, false, ID_SAVE_COMPUTER_LIST}, {'E', true, false, false, ID_SAVE_RESULTS_CSV},
        {VK_F6, false, false, false, ID_NEXT_PANE},       {VK_F6, false, true, false, ID_PREV_PANE},
        {'N', true, false, false, ID_FILE_NEW},           {'O', true, false, false, ID_FILE_OPEN},
        {'S', true, false, false, ID_FILE_SAVE},          {'C', true, false, false, ID_EDIT_COPY},
        {VK_INSERT, true, false, false, ID_EDIT_COPY},    {'X', true, false, false, ID_EDIT_CUT},
        {VK_DELETE, false, true, false, ID_EDIT_CUT},     {'V', true, false, false, ID_EDIT_PASTE},
        {VK_INSERT, false, true, false, ID_EDIT_PASTE},   {'Z', true, false, false, ID_EDIT_UNDO},
        {VK_BACK, false, false, true, ID_EDIT_UNDO},
    };
    // Copy is there while the result view has a selected row.
    CKestrelView& results = *Frame().GetRightPane();
    LVITEMA row{};
    results.Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&row));
    row.stateMask = row.state = LVIS_SELECTED;
    results.Send(LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&row));
    Frame().SetActiveView(&results);
    // Whatever dialog a command opens of its own is cancelled.
    DialogAnswerer answerer;
    answerer.answer = IDCANCEL;
    g_spiedFrame = Frame();
    HHOOK spy = ::SetWindowsHookExA(WH_CALLWNDPROC, CommandSpy, nullptr, ::GetCurrentThreadId());
    for (const Key& key : keys) {
        g_commands.clear();
        PressKey(::GetFocus(), key.key, key.control, key.shift, key.alt);
        EXPECT_EQ(g_commands, std::vector<UINT>{key.command}) << key.key << " for " << key.command;
    }
    ::UnhookWindowsHookEx(spy);

    // Ctrl+D took localhost; Ctrl+N put a new list above: the new localhost stays.
    EXPECT_EQ(app->prompts, (std::vector<std::string>{"open", "save"}));
}

class StartTest : public AppSuite {};

TEST_F(StartTest, CancelLeavesNothingAndAnEmptyListIsRefused) {
    DialogAnswerer dialogs;
    dialogs.commands[kStartDialog] = {IDCANCEL};
    app->RunReport = "an old report\r\n";
    Frame().Send(WM_COMMAND, ID_START_COLLECTION);
    EXPECT_EQ(dialogs.shown, std::vector<std::string>{kStartDialog});
    EXPECT_EQ(app->RunReport, "");
    EXPECT_FALSE(Frame().IsRunning());
    EXPECT_EQ(RowCount(*Frame().GetRightPane()), 0);

    // Only the root left: the refusal, and no dialog, no run.
    Frame().Send(WM_COMMAND, ID_DELETE_COMPUTER);
    ASSERT_EQ(Frame().GetLeftPane()->GetItemCount(), 1);
    Frame().Send(WM_COMMAND, ID_START_COLLECTION);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    ExpectCaution(dialogs.boxes[0], "ｲﾍﾞﾝﾄﾛｸﾞを取得するｺﾝﾋﾟｭｰﾀを追加してください。", Frame());
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_FALSE(Frame().IsRunning());
}

}  // namespace
}  // namespace kestrel::testing
