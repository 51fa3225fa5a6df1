#pragma once
// Views. A view lives in the frame's client area and shows its document; a
// control view is a system control (tree, list) that is the view window itself.
#include "framework/document.h"
#include "framework/wnd.h"

namespace kestrel {

// Sent by the frame to every view after its document was made, renewed or
// opened: the view then runs its initial update.
inline constexpr UINT WM_INITIALUPDATE = 0x0364;

class CFrameWnd;

class CView : public CWnd {
public:
    ~CView() override;

    CDocument* GetDocument() const { return m_pDocument; }
    // The view's window, child of parent; the document (may be null) gets
    // the view before its window exists.
    virtual bool Create(HWND parent, const RECT& rect, UINT id, CDocument* document) = 0;
    // Commands go to the view, then to its document.
    bool OnCmdMsg(UINT id) override;

    // The frame the view lives in, or null.
    CFrameWnd* GetParentFrame() const;

protected:
    friend class CDocument;
    virtual void OnInitialUpdate();
    virtual void OnDraw(HDC dc) = 0;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    CDocument* m_pDocument = nullptr;
};

// A view that is a system control of the given window class.
class CCtrlView : public CView {
public:
    explicit CCtrlView(const char* className) : m_className(className) {}
    // Child, visible and bordered.
    bool Create(HWND parent, const RECT& rect, UINT id, CDocument* document) override;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnDraw(HDC) override {}  // the control paints itself

private:
    const char* m_className;
};

class CTreeView : public CCtrlView {
public:
    CTreeView() : CCtrlView("SysTreeView32") {}
};

// Rows that another thread adds come one sent message at a time, each waited
// for; drawing after each would repaint the row and the scroll bar per
// message. While such changes come, the list draws at most every
// kCatchUpMilliseconds, all at once: rows still appear as they come.
class CListView : public CCtrlView {
public:
    CListView() : CCtrlView("SysListView32") {}

    static constexpr UINT kCatchUpMilliseconds = 100;
    static constexpr UINT_PTR kCatchUpTimer = 0x4B56;
    // True while drawing waits for the catch-up timer.
    bool IsDrawingDeferred() const { return m_bDrawingDeferred; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Set while the view makes changes that another thread handed it; they
    // are drawn as that thread's own messages are.
    bool m_bChangesFromAnotherThread = false;

private:
    void DeferDrawing();
    void CatchUp();

    bool m_bDrawingDeferred = false;
};

}  // namespace kestrel
