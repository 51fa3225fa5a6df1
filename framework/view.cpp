#include "framework/view.h"

#include <commctrl.h>

#include "framework/frame.h"

namespace kestrel {

CView::~CView() {
    if (m_pDocument != nullptr) m_pDocument->RemoveView(this);
}

bool CView::OnCmdMsg(UINT id) {
    return OnCommand(id) || (m_pDocument != nullptr && m_pDocument->OnCmdMsg(id));
}

CFrameWnd* CView::GetParentFrame() const {
    for (HWND window = ::GetParent(m_hWnd); window != nullptr; window = ::GetParent(window)) {
        if (auto* frame = dynamic_cast<CFrameWnd*>(FromHandle(window))) return frame;
    }
    return nullptr;
}

void CView::OnInitialUpdate() { ::InvalidateRect(m_hWnd, nullptr, TRUE); }

LRESULT CView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITIALUPDATE:
            OnInitialUpdate();
            return 0;
        case WM_MOUSEACTIVATE: {
            // A click into a view makes it the frame's active view.
            const LRESULT result = CWnd::WindowProc(message, wParam, lParam);
            if (result == MA_ACTIVATE || result == MA_ACTIVATEANDEAT) {
                if (CFrameWnd* frame = GetParentFrame()) frame->SetActiveView(this);
            }
            return result;
        }
        case WM_DESTROY:
            if (CFrameWnd* frame = GetParentFrame(); frame != nullptr && frame->GetActiveView() == this) {
                frame->SetActiveView(nullptr);
            }
            break;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = ::BeginPaint(m_hWnd, &paint);
            OnDraw(dc);
            ::EndPaint(m_hWnd, &paint);
            return 0;
        }
        default:
            break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

bool CCtrlView::Create(HWND parent, const RECT& rect, UINT id, CDocument* document) {
    if (document != nullptr) document->AddView(this);
    return CreateControl(0, m_className, "", WS_CHILD | WS_VISIBLE | WS_BORDER, rect, parent, id);
}

LRESULT CCtrlView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // The control paints itself.
    if (message == WM_PAINT) return DefaultProc(message, wParam, lParam);
    return CView::WindowProc(message, wParam, lParam);
}

namespace {

// The messages by which another thread changes the rows.
bool ChangesRows(UINT message) {
    switch (message) {
        case LVM_INSERTITEMA:
        case LVM_INSERTITEMW:
        case LVM_SETITEMA:
        case LVM_SETITEMW:
        case LVM_SETITEMTEXTA:
        case LVM_SETITEMTEXTW:
        case LVM_DELETEITEM:
        case LVM_DELETEALLITEMS:
        case LVM_REDRAWITEMS:
            return true;
        default:
            return false;
    }
}

}  // namespace

LRESULT CListView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (ChangesRows(message) && (m_bChangesFromAnotherThread || ::InSendMessage())) {
        DeferDrawing();
        // The catch-up redraws every row anyway; asking the control for a
        // range costs it one invalidation per row, however many it holds.
        if (message == LVM_REDRAWITEMS) return TRUE;
    } else if (message == WM_TIMER && wParam == kCatchUpTimer) {
        CatchUp();
        return 0;
    } else if (message == WM_PAINT && m_bDrawingDeferred) {
        CatchUp();  // drawing asked for from outside (uncovered, redrawn) waits for no timer
    }
    return CCtrlView::WindowProc(message, wParam, lParam);
}

void CListView::DeferDrawing() {
    if (m_bDrawingDeferred || ::SetTimer(m_hWnd, kCatchUpTimer, kCatchUpMilliseconds, nullptr) == 0) return;
    m_bDrawingDeferred = true;
    DefaultProc(WM_SETREDRAW, FALSE, 0);
}

void CListView::CatchUp() {
    ::KillTimer(m_hWnd, kCatchUpTimer);
    if (!m_bDrawingDeferred) return;
    m_bDrawingDeferred = false;
    // The control brings its scroll bars up to date; not every version also
    // invalidates its rows. Where the system hid the list meanwhile, its
    // header and frame missed their paints too.
    DefaultProc(WM_SETREDRAW, TRUE, 0);
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

}  // namespace kestrel
