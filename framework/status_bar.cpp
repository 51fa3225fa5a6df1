#include "framework/bars.h"

#include <algorithm>
#include <cstring>

#include "framework/scoped_handles.h"

namespace kestrel {
namespace {

int KeyOf(UINT indicator) {
    switch (indicator) {
        case ID_INDICATOR_CAPS:
            return VK_CAPITAL;
        case ID_INDICATOR_NUM:
            return VK_NUMLOCK;
        case ID_INDICATOR_SCRL:
            return VK_SCROLL;
        case ID_INDICATOR_KANA:
            return VK_KANA;
        default:
            return 0;
    }
}

}  // namespace

bool CStatusBar::Create(CFrameWnd* frame, DWORD style, UINT id) {
    if (frame == nullptr || m_hWnd != nullptr) return false;
    DWORD windowStyle = TakeBarStyle(frame, style) | CCS_BOTTOM;
    if (::GetWindowLongA(frame->GetSafeHwnd(), GWL_STYLE) & WS_THICKFRAME) windowStyle |= SBARS_SIZEGRIP;
    return CreateControl(0, STATUSCLASSNAMEA, "", windowStyle, {0, 0, 0, 0}, frame->GetSafeHwnd(), id);
}

bool CStatusBar::SetIndicators(const UINT* ids, int count) {
    if (m_hWnd == nullptr || count < 1 || count > 255) return false;
    m_panes.clear();
    bool loaded = true;
    {
        // Measured in the bar's own font; the DC goes back before the layout.
        const ScopedDC dc(m_hWnd, ::GetDC(m_hWnd));
        HGDIOBJ oldFont = ::SelectObject(dc.Get(), reinterpret_cast<HGDIOBJ>(Send(WM_GETFONT)));
        for (int k = 0; k < count; ++k) {
            Pane pane{ids[k], "", 0, false, false};
            if (pane.id != ID_SEPARATOR) {
                char text[64] = {};
                loaded = ::LoadStringA(AfxGetResourceHandle(), pane.id, text, sizeof text) > 0 && loaded;
                pane.text = text;
                SIZE extent{};
                ::GetTextExtentPoint32A(dc.Get(), text, static_cast<int>(pane.text.size()), &extent);
                pane.width = extent.cx + 10;
            }
            m_panes.push_back(pane);
        }
        ::SelectObject(dc.Get(), oldFont);
    }
    LayoutPanes();
    UpdateIndicators();
    return loaded;
}

void CStatusBar::LayoutPanes() {
    if (m_hWnd == nullptr || m_panes.empty()) return;
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    int right = client.right;
    if (::GetWindowLongA(m_hWnd, GWL_STYLE) & SBARS_SIZEGRIP) right -= ::GetSystemMetrics(SM_CXVSCROLL);
    std::vector<int> edges(m_panes.size());
    for (std::size_t k = m_panes.size() - 1; k > 0; --k) {
        edges[k] = right;
        right -= m_panes[k].width;
    }
    edges[0] = std::max(right, 0);
    edges.back() = -1;  // the last reaches the edge, grip included
    Send(SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

void CStatusBar::SetPaneText(int index, const char* text) {
    Send(SB_SETTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
}

std::string CStatusBar::GetPaneText(int index) const {
    // Wine counts characters, not bytes: room for a double-byte text.
    const int length = LOWORD(Send(SB_GETTEXTLENGTHA, static_cast<WPARAM>(index)));
    std::string text(2 * static_cast<std::size_t>(length) + 1, '\0');
    Send(SB_GETTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(std::strlen(text.c_str()));
    return text;
}

void CStatusBar::UpdateIndicators() {
    for (std::size_t k = 0; k < m_panes.size(); ++k) {
        Pane& pane = m_panes[k];
        const int key = KeyOf(pane.id);
        if (key == 0) continue;
        const bool on = (::GetKeyState(key) & 1) != 0;
        if (pane.shown && on == pane.on) continue;  // nothing to redraw
        pane.on = on;
        pane.shown = true;
        SetPaneText(static_cast<int>(k), on ? pane.text.c_str() : "");
    }
}

int CStatusBar::CalcThickness() const {
    RECT window{};
    ::GetWindowRect(m_hWnd, &window);
    return window.bottom - window.top;
}

LRESULT CStatusBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = CControlBar::WindowProc(message, wParam, lParam);
    if (message == WM_SIZE) LayoutPanes();
    return result;
}

}  // namespace kestrel
