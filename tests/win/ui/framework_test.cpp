// The framework's command routing and view activation, with small classes of
// the test's own.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <string>
#include <thread>

#include "framework/frame.h"
#include "framework/view.h"
#include "tests/win/support/ui_support.h"

namespace kestrel::testing {
namespace {

std::string g_route;

// Handles exactly one command id and notes every command it sees.
template <class Base>
class Handles : public Base {
public:
    Handles(const char* name, UINT id) : m_name(name), m_id(id) {}

protected:
    bool OnCommand(UINT id) override {
        g_route += m_name;
        return id == m_id;
    }

private:
    const char* m_name;
    UINT m_id;
};

class RecordingFrame final : public CFrameWnd {
public:
    void SetMessageText(const char*) override {}

protected:
    bool OnCommand(UINT id) override {
        g_route += "frame ";
        return id == 3;
    }
};

class App final : public CCmdTarget {
protected:
    bool OnCommand(UINT id) override {
        g_route += "app";
        return id == 4;
    }
};

TEST(Framework, CommandsGoToActiveViewDocumentFrameAndApplication) {
    RecordingFrame frame;
    ASSERT_TRUE(frame.CreateEx(0, nullptr, "routing", WS_OVERLAPPEDWINDOW, {0, 0, 300, 200}, nullptr, 0));
    Handles<CDocument> document("document ", 2);
    Handles<CTreeView> view("view ", 1);
    ASSERT_TRUE(view.Create(frame, {0, 0, 100, 100}, 1, &document));
    App app;
    AfxSetApp(&app);

    // A click into the view makes it the active view.
    EXPECT_EQ(frame.GetActiveView(), nullptr);
    ::SendMessageA(view, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(frame.GetSafeHwnd()),
                   MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN));
    EXPECT_EQ(frame.GetActiveView(), &view);

    // Each id is taken by one of them; the last by nobody.
    const char* const routes[] = {"view ", "view document ", "view document frame ",
                                  "view document frame app", "view document frame app"};
    for (UINT id = 1; id <= 5; ++id) {
        g_route.clear();
        ::SendMessageA(frame, WM_COMMAND, MAKEWPARAM(id, 0), 0);
        EXPECT_EQ(g_route, routes[id - 1]) << id;
    }
    AfxSetApp(nullptr);
}

int AddRow(HWND list) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<char*>("row");
    return static_cast<int>(::SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

bool Pending(HWND window) { return ::GetUpdateRect(window, nullptr, FALSE) != FALSE; }

TEST(Framework, ListFilledFromAnotherThreadDrawsOnlyOnItsCatchUpTimer) {
    RecordingFrame frame;
    ASSERT_TRUE(frame.CreateEx(0, nullptr, "rows", WS_OVERLAPPEDWINDOW | WS_VISIBLE, {0, 0, 300, 200}, nullptr, 0));
    CListView view;
    ASSERT_TRUE(view.Create(frame, {0, 0, 280, 160}, 1, nullptr));
    ::UpdateWindow(frame);
    ::UpdateWindow(view);

    // The user-interface thread's own changes draw as before.
    EXPECT_EQ(AddRow(view), 0);
    EXPECT_FALSE(view.IsDrawingDeferred());
    EXPECT_TRUE(Pending(view));
    ::UpdateWindow(view);

    // Another thread's: the rows are in, nothing waits to be drawn, and the
    // redraw of all rows is answered without the control.
    std::atomic<bool> done{false};
    LRESULT redrawn = 0;
    std::thread worker([&] {
        AddRow(view);
        AddRow(view);
        redrawn = ::SendMessageA(view, LVM_REDRAWITEMS, 0, 2);
        done = true;
    });
    MSG msg;
    while (!done.load()) {  // sent messages only: the catch-up timer waits
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    worker.join();
    EXPECT_EQ(::SendMessageA(view, LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(redrawn, TRUE);
    EXPECT_TRUE(view.IsDrawingDeferred());
    EXPECT_FALSE(Pending(view));

    // The timer catches up once: the whole list is to be drawn.
    const DWORD begun = ::GetTickCount();
    bool fired = false;
    while (!fired && ::GetTickCount() - begun < 3000) {
        fired = ::PeekMessageA(&msg, view, WM_TIMER, WM_TIMER, PM_REMOVE) && msg.wParam == CListView::kCatchUpTimer;
        if (fired) ::DispatchMessageA(&msg);
        else ::Sleep(10);
    }
    ASSERT_TRUE(fired);
    EXPECT_FALSE(view.IsDrawingDeferred());
    EXPECT_TRUE(Pending(view));
    ::UpdateWindow(view);
    ::Sleep(2 * CListView::kCatchUpMilliseconds);
    EXPECT_FALSE(::PeekMessageA(&msg, view, WM_TIMER, WM_TIMER, PM_NOREMOVE)) << "the timer stopped";
}

}  // namespace
}  // namespace kestrel::testing
