#include "framework/splitter.h"

#include <algorithm>

namespace kestrel {

CSplitterWnd::~CSplitterWnd() {
    DestroyWindow();
    m_columns.clear();  // the views before the rest of the splitter
}

bool CSplitterWnd::CreateStatic(HWND parent, int rows, int cols, DWORD style, UINT id) {
    if (rows != 1 || cols < 1 || cols > 16 || m_hWnd != nullptr) return false;
    m_columns.resize(static_cast<std::size_t>(cols));
    return CreateEx(0, nullptr, "", style | WS_CLIPCHILDREN, {0, 0, 0, 0}, parent, id);
}

bool CSplitterWnd::CreateView(int row, int col, std::unique_ptr<CView> view, SIZE initial,
                              CCreateContext* context) {
    if (row != 0 || col < 0 || col >= GetColumnCount() || view == nullptr) return false;
    Column& column = m_columns[static_cast<std::size_t>(col)];
    if (column.view != nullptr) return false;
    CDocument* document = context != nullptr ? context->m_pCurrentDoc : nullptr;
    if (!view->Create(m_hWnd, {0, 0, initial.cx, initial.cy}, static_cast<UINT>(IdFromRowCol(row, col)),
                      document)) {
        if (document != nullptr) document->RemoveView(view.get());
        return false;
    }
    column.ideal = initial.cx;
    column.view = std::move(view);
    RecalcLayout();
    return true;
}

CView* CSplitterWnd::GetPane(int row, int col) const {
    if (row != 0 || col < 0 || col >= GetColumnCount()) return nullptr;
    return m_columns[static_cast<std::size_t>(col)].view.get();
}

RECT CSplitterWnd::GetBarRect(int col) const {
    int x = 0;
    for (int k = 0; k <= col && k < GetColumnCount(); ++k)
        x += m_columns[static_cast<std::size_t>(k)].ideal + (k < col ? kBarWidth : 0);
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    return {x, 0, x + kBarWidth, client.bottom};
}

void CSplitterWnd::RecalcLayout() {
    if (m_hWnd == nullptr) return;
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    int x = 0;
    for (int k = 0; k < GetColumnCount(); ++k) {
        const Column& column = m_columns[static_cast<std::size_t>(k)];
        const bool last = k + 1 == GetColumnCount();
        const int width = last ? std::max(0, static_cast<int>(client.right) - x)
                               : std::clamp(column.ideal, 0, std::max(0, static_cast<int>(client.right) - x));
        // A pane draws itself anew where it goes: its old pixels, copied along,
        // left stale columns in the list that nothing repainted.
        if (column.view != nullptr && column.view->GetSafeHwnd() != nullptr) {
            ::SetWindowPos(column.view->GetSafeHwnd(), nullptr, x, 0, width, client.bottom,
                           SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
        }
        x += width + kBarWidth;
    }
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CSplitterWnd::ActivateNext(bool previous) {
    CView* start = nullptr;
    if (auto* frame = dynamic_cast<CFrameWnd*>(FromHandle(::GetParent(m_hWnd))))
        start = frame->GetActiveView();
    const int count = GetColumnCount();
    int current = -1;
    for (int k = 0; k < count; ++k) {
        if (GetPane(0, k) == start) current = k;
    }
    const int next = current < 0 ? 0 : (current + (previous ? count - 1 : 1)) % count;
    if (CView* view = GetPane(0, next)) {
        if (auto* frame = view->GetParentFrame()) frame->SetActiveView(view);
    }
}

int CSplitterWnd::BarAt(POINT point) const {
    for (int k = 0; k + 1 < GetColumnCount(); ++k) {
        const RECT bar = GetBarRect(k);
        if (::PtInRect(&bar, point)) return k;
    }
    return -1;
}

void CSplitterWnd::Paint() {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    for (int k = 0; k + 1 < GetColumnCount(); ++k) {
        RECT bar = GetBarRect(k);
        ::FillRect(dc, &bar, ::GetSysColorBrush(COLOR_BTNFACE));
        ::DrawEdge(dc, &bar, EDGE_RAISED, BF_LEFT | BF_RIGHT);
    }
    ::EndPaint(m_hWnd, &paint);
}

LRESULT CSplitterWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    switch (message) {
        case WM_SIZE:
            RecalcLayout();
            return 0;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_ERASEBKGND:
            return TRUE;  // the panes and the bars cover everything
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wParam) == m_hWnd && LOWORD(lParam) == HTCLIENT) {
                ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_SIZEWE)));
                return TRUE;
            }
            break;
        case WM_LBUTTONDOWN:
            m_trackingBar = BarAt(point);
            if (m_trackingBar >= 0) {
                m_trackingOffset = point.x - GetBarRect(m_trackingBar).left;
                ::SetCapture(m_hWnd);
            }
            return 0;
        case WM_MOUSEMOVE:
            if (m_trackingBar >= 0) {
                // The column before the bar follows the pointer; the panes move with it.
                int left = 0;
                for (int k = 0; k < m_trackingBar; ++k)
                    left += m_columns[static_cast<std::size_t>(k)].ideal + kBarWidth;
                RECT client{};
                ::GetClientRect(m_hWnd, &client);
                const int widest = std::max(0, static_cast<int>(client.right) - left - kBarWidth);
                m_columns[static_cast<std::size_t>(m_trackingBar)].ideal =
                    std::clamp(static_cast<int>(point.x) - m_trackingOffset - left, 0, widest);
                RecalcLayout();
                ::UpdateWindow(m_hWnd);
            }
            return 0;
        case WM_LBUTTONUP:
            if (m_trackingBar >= 0) ::ReleaseCapture();
            return 0;
        case WM_CAPTURECHANGED:
            m_trackingBar = -1;
            return 0;
        default:
            break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

}  // namespace kestrel
