#pragma once
// The main frame: the window that holds the views, the control bars and the
// menu. The application's own frame derives from CFrameWnd and registers
// itself with AfxSetMainFrame as the first step of its creation. A frame made
// by a document template (LoadFrame) lays out its bars and its client pane,
// shows command prompts in its status bar, translates its accelerators and
// ends the application when its window goes.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/app_globals.h"
#include "framework/document.h"
#include "framework/ids.h"
#include "framework/scoped_handles.h"
#include "framework/view.h"
#include "framework/wnd.h"

namespace kestrel {

class CControlBar;
class CStatusBar;

// What a frame builds its client area from: its document and the view class
// of its template.
struct CCreateContext {
    CDocument* m_pCurrentDoc = nullptr;
    std::function<std::unique_ptr<CView>()> m_pNewViewClass;
};

class CFrameWnd : public CWnd {
public:
    ~CFrameWnd() override;

    CView* GetActiveView() const { return m_pActiveView; }
    // The view that gets the commands first; it also takes the focus.
    void SetActiveView(CView* view);

    // Writes the status bar's message pane and redraws it at once.
    virtual void SetMessageText(const char* text);
    // What the message pane shows when no command prompt does (empty unless
    // set): a closed menu or a toolbar button left brings it back. Shown at once.
    void SetIdleMessage(std::string text);
    const std::string& GetIdleMessage() const { return m_strIdleMessage; }

    // Commands go to the active view (and its document), then to the frame
    // itself, then to the application.
    bool OnCmdMsg(UINT id) override;

    // The frame of a document template: menu, accelerators, icon and the
    // window-title field of the document string all come from resourceId.
    bool LoadFrame(UINT resourceId, DWORD style, CCreateContext* context);
    // After the document was made, renewed or opened: an active view, every
    // view's initial update, the title, and the window shown if asked.
    void InitialUpdateFrame(CDocument* document, bool makeVisible, int showCommand = SW_SHOW);
    // "document title - window title".
    virtual void OnUpdateFrameTitle();

    // Translates the frame's accelerators for messages to it or its children.
    bool TranslateAccelerators(MSG* msg);
    // Idle time: the status bar's key indicators follow the keys.
    virtual void OnIdleUpdate();

    // Control bars: the frame gives each its strip along one side, the
    // status bar first, and the client pane the rest.
    void RecalcLayout();
    void EnableDocking(DWORD dockStyle) { m_dwDockStyle = dockStyle; }
    DWORD GetDockingStyle() const { return m_dwDockStyle; }
    // Docks bar on side (one CBRS_ALIGN_ bit); 0 takes the first side both allow.
    bool DockControlBar(CControlBar* bar, DWORD side = 0);
    void AddControlBar(CControlBar* bar);
    void RemoveControlBar(CControlBar* bar);
    CStatusBar* GetStatusBar() const;

    // The prompt of a command: its string, up to the line break; the idle
    // text (empty) when there is none.
    static std::string PromptText(UINT id);
    // The tooltip of a command: its string after the line break.
    static std::string TipText(UINT id);

    HACCEL m_hAccelTable = nullptr;

protected:
    BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
    // Builds the client area; the default makes the template's view.
    virtual BOOL OnCreateClient(CREATESTRUCTA& cs, CCreateContext* context);
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostNcDestroy() override;
    bool OnCommand(UINT id) override;

    std::string m_strTitle;  // the window-title field of the document string

private:
    void OnMenuSelect(UINT id, UINT flags, HMENU menu);
    bool OnToolTipText(NMHDR* header);

    CView* m_pActiveView = nullptr;
    CCreateContext* m_pCreateContext = nullptr;  // while LoadFrame runs
    bool m_bLoaded = false;                      // made by LoadFrame
    bool m_bAutoDelete = false;                  // goes with its window once made
    DWORD m_dwDockStyle = 0;
    std::vector<CControlBar*> m_controlBars;
    std::unique_ptr<CView> m_pOwnView;  // the default client view
    std::string m_strIdleMessage;
    std::string m_tipText;  // kept for the tooltip that asked
    std::wstring m_tipTextW;
    // Destroyed in reverse order, after the window: the big icon first.
    ScopedIcon m_hSmallIcon;
    ScopedIcon m_hIcon;
};

}  // namespace kestrel
