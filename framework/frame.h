#pragma once
// What the views and the command routing need of the main frame. The
// application's own frame derives from CFrameWnd, gives it a status bar and
// registers itself with AfxSetMainFrame as the first step of its creation.
#include "framework/view.h"
#include "framework/wnd.h"

namespace kestrel {

class CFrameWnd : public CWnd {
public:
    ~CFrameWnd() override;

    CView* GetActiveView() const { return m_pActiveView; }
    // The view that gets the commands first; it also takes the focus.
    void SetActiveView(CView* view);

    // Writes the status bar's message pane and redraws it at once.
    virtual void SetMessageText(const char* text) = 0;

    // Commands go to the active view (and its document), then to the frame
    // itself, then to the application.
    bool OnCmdMsg(UINT id) override;

private:
    CView* m_pActiveView = nullptr;
};

// The process-wide main frame; null until one registers.
CFrameWnd* AfxGetMainFrame();
void AfxSetMainFrame(CFrameWnd* frame);

// The application object as the last stop of the command routing.
CCmdTarget* AfxGetApp();
void AfxSetApp(CCmdTarget* app);

}  // namespace kestrel
