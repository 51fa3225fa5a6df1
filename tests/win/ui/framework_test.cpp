// The framework's command routing and view activation, with small classes of
// the test's own.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace kestrel::testing
