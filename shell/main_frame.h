#pragma once
// The main window: the computer list and the result list side by side in a
// splitter, the toolbar, the status bar, and the commands Start, delete
// computer and the pane keys. A run goes on in the background; only one at a
// time, and closing the window ends it first.
#include <windows.h>

#include "framework/bars.h"
#include "framework/frame.h"
#include "framework/scoped_handles.h"
#include "framework/splitter.h"
#include "shell/get_log_thread.h"

namespace kestrel {

class CLeftView;
class CKestrelView;

class CMainFrame : public CFrameWnd {
public:
    ~CMainFrame() override;

    CLeftView* GetLeftPane() const { return m_pLeftView; }
    CKestrelView* GetRightPane() const { return m_pRightView; }
    CSplitterWnd& GetSplitter() { return m_wndSplitter; }
    CToolBar& GetToolBar() { return m_wndToolBar; }

    // True while the worker of the last run has not ended.
    bool IsRunning();
    // Starts the worker of a run with the current settings, as Start does
    // once its dialog was accepted. False while another run goes on.
    bool StartRun();
    // Serves the messages the worker sends while it ends, up to timeoutMs;
    // closes its report dialog. True once it has ended.
    bool WaitForRun(DWORD timeoutMs);

    RunControl& GetRunControl() { return m_run; }

    // How long closing waits for a run to stop before the process simply ends.
    static constexpr DWORD kCloseWaitMs = 20000;

protected:
    BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
    BOOL OnCreateClient(CREATESTRUCTA& cs, CCreateContext* context) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnCommand(UINT id) override;

private:
    LRESULT OnCreate(WPARAM wParam, LPARAM lParam);
    void OnStart();
    // False when the window must stay (it is closing already).
    bool OnClose();

    CSplitterWnd m_wndSplitter;
    CStatusBar m_wndStatusBar;
    CToolBar m_wndToolBar;
    CLeftView* m_pLeftView = nullptr;
    CKestrelView* m_pRightView = nullptr;

    RunControl m_run;
    ScopedHandle m_hRunThread;  // our own handle: the thread object deletes itself
    bool m_bClosing = false;
};

}  // namespace kestrel
