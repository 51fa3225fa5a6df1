#include "framework/view.h"

#include <algorithm>

#include "framework/frame.h"

namespace kestrel {

CDocument::~CDocument() {
    for (CView* view : m_views) view->m_pDocument = nullptr;
}

void CDocument::AddView(CView* view) {
    if (view->m_pDocument == this) return;
    if (view->m_pDocument != nullptr) view->m_pDocument->RemoveView(view);
    m_views.push_back(view);
    view->m_pDocument = this;
}

void CDocument::RemoveView(CView* view) {
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
    if (view->m_pDocument == this) view->m_pDocument = nullptr;
}

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

}  // namespace kestrel
