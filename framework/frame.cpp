#include "framework/frame.h"

namespace kestrel {
namespace {

CFrameWnd* g_mainFrame = nullptr;
CCmdTarget* g_app = nullptr;

}  // namespace

CFrameWnd* AfxGetMainFrame() { return g_mainFrame; }
void AfxSetMainFrame(CFrameWnd* frame) { g_mainFrame = frame; }
CCmdTarget* AfxGetApp() { return g_app; }
void AfxSetApp(CCmdTarget* app) { g_app = app; }

CFrameWnd::~CFrameWnd() {
    DestroyWindow();  // while the views can still ask for their frame
    if (g_mainFrame == this) g_mainFrame = nullptr;
}

void CFrameWnd::SetActiveView(CView* view) {
    m_pActiveView = view;
    if (view != nullptr && ::GetFocus() != view->GetSafeHwnd()) ::SetFocus(view->GetSafeHwnd());
}

bool CFrameWnd::OnCmdMsg(UINT id) {
    if (m_pActiveView != nullptr && m_pActiveView->OnCmdMsg(id)) return true;
    if (OnCommand(id)) return true;
    return g_app != nullptr && g_app->OnCmdMsg(id);
}

}  // namespace kestrel
