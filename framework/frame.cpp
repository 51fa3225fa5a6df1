#include "framework/frame.h"

#include <commctrl.h>

#include <algorithm>

#include "framework/app_globals.h"
#include "framework/bars.h"
#include "framework/splitter.h"

namespace kestrel {

CFrameWnd::~CFrameWnd() {
    DestroyWindow();  // while the views can still ask for their frame
    if (AfxGetMainFrame() == this) AfxSetMainFrame(nullptr);
    if (m_hAccelTable != nullptr) ::DestroyAcceleratorTable(m_hAccelTable);
}

void CFrameWnd::SetActiveView(CView* view) {
    m_pActiveView = view;
    if (view != nullptr && ::GetFocus() != view->GetSafeHwnd()) ::SetFocus(view->GetSafeHwnd());
}

void CFrameWnd::SetMessageText(const char* text) {
    if (CStatusBar* bar = GetStatusBar()) {
        bar->SetPaneText(0, text);
        ::UpdateWindow(bar->GetSafeHwnd());
    }
}

void CFrameWnd::SetIdleMessage(std::string text) {
    m_strIdleMessage = std::move(text);
    SetMessageText(m_strIdleMessage.c_str());
}

bool CFrameWnd::OnCmdMsg(UINT id) {
    if (m_pActiveView != nullptr && m_pActiveView->OnCmdMsg(id)) return true;
    if (OnCommand(id)) return true;
    CCmdTarget* app = AfxGetApp();
    return app != nullptr && app->OnCmdMsg(id);
}

bool CFrameWnd::OnCommand(UINT id) {
    if (id != ID_NEXT_PANE && id != ID_PREV_PANE) return false;
    auto* splitter = dynamic_cast<CSplitterWnd*>(FromHandle(::GetDlgItem(m_hWnd, AFX_IDW_PANE_FIRST)));
    if (splitter == nullptr) return false;
    splitter->ActivateNext(id == ID_PREV_PANE);
    return true;
}

std::string CFrameWnd::PromptText(UINT id) {
    if (id == 0) return {};
    std::string text = AfxLoadText(id);
    return text.substr(0, text.find('\n'));
}

std::string CFrameWnd::TipText(UINT id) {
    const std::string text = AfxLoadText(id);
    const std::size_t lineBreak = text.find('\n');
    return lineBreak == std::string::npos ? std::string() : text.substr(lineBreak + 1);
}

bool CFrameWnd::LoadFrame(UINT resourceId, DWORD style, CCreateContext* context) {
    HINSTANCE instance = AfxGetResourceHandle();
    const std::string documentString = AfxLoadText(resourceId);
    m_strTitle = documentString.substr(0, documentString.find('\n'));
    m_hAccelTable = ::LoadAcceleratorsA(instance, MAKEINTRESOURCEA(resourceId));
    HMENU menu = ::LoadMenuA(instance, MAKEINTRESOURCEA(resourceId));
    m_bLoaded = true;
    m_pCreateContext = context;
    const bool created = CreateEx(0, nullptr, m_strTitle.c_str(), style, {0, 0, 0, 0}, nullptr,
                                  reinterpret_cast<UINT_PTR>(menu));
    m_pCreateContext = nullptr;
    if (!created) {
        // A window that failed in WM_CREATE is gone and took its menu along.
        if (menu != nullptr && ::IsMenu(menu)) ::DestroyMenu(menu);
        m_bLoaded = false;
        return false;
    }
    m_bAutoDelete = true;
    m_hIcon.Reset(
        static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(resourceId), IMAGE_ICON,
                                        ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0)));
    m_hSmallIcon.Reset(static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(resourceId), IMAGE_ICON,
                                                       ::GetSystemMetrics(SM_CXSMICON),
                                                       ::GetSystemMetrics(SM_CYSMICON), 0)));
    if (m_hIcon) Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon.Get()));
    if (m_hSmallIcon) Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon.Get()));
    return true;
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCTA& cs) {
    if (m_bLoaded) {
        // The system's default place and size for a new main window.
        cs.x = cs.cx = CW_USEDEFAULT;
        cs.y = cs.cy = CW_USEDEFAULT;
        cs.style |= WS_CLIPCHILDREN;
    }
    return CWnd::PreCreateWindow(cs);
}

BOOL CFrameWnd::OnCreateClient(CREATESTRUCTA&, CCreateContext* context) {
    if (context == nullptr || !context->m_pNewViewClass) return TRUE;
    std::unique_ptr<CView> view = context->m_pNewViewClass();
    if (view == nullptr || !view->Create(m_hWnd, {0, 0, 0, 0}, AFX_IDW_PANE_FIRST, context->m_pCurrentDoc)) {
        return FALSE;
    }
    m_pOwnView = std::move(view);
    return TRUE;
}

void CFrameWnd::InitialUpdateFrame(CDocument* document, bool makeVisible, int showCommand) {
    if (m_pActiveView == nullptr) {
        CWnd* pane = FromHandle(::GetDlgItem(m_hWnd, AFX_IDW_PANE_FIRST));
        if (auto* splitter = dynamic_cast<CSplitterWnd*>(pane)) {
            SetActiveView(splitter->GetPane(0, 0));
        } else if (auto* view = dynamic_cast<CView*>(pane)) {
            SetActiveView(view);
        }
    }
    if (document != nullptr) {
        const std::vector<CView*> views = document->GetViews();
        for (CView* view : views) view->Send(WM_INITIALUPDATE);
    }
    OnUpdateFrameTitle();
    if (makeVisible) ::ShowWindow(m_hWnd, showCommand);
}

void CFrameWnd::OnUpdateFrameTitle() {
    std::string title = m_strTitle;
    CDocument* document = m_pActiveView != nullptr ? m_pActiveView->GetDocument() : nullptr;
    if (document == nullptr) {
        if (auto* pane = dynamic_cast<CSplitterWnd*>(FromHandle(::GetDlgItem(m_hWnd, AFX_IDW_PANE_FIRST)))) {
            if (CView* view = pane->GetPane(0, 0)) document = view->GetDocument();
        } else if (m_pOwnView != nullptr) {
            document = m_pOwnView->GetDocument();
        }
    }
    if (document != nullptr) title = document->GetTitle() + " - " + m_strTitle;
    ::SetWindowTextA(m_hWnd, title.c_str());
}

bool CFrameWnd::TranslateAccelerators(MSG* msg) {
    if (m_hAccelTable == nullptr || m_hWnd == nullptr) return false;
    if (msg->hwnd != m_hWnd && !::IsChild(m_hWnd, msg->hwnd)) return false;
    return ::TranslateAcceleratorA(m_hWnd, m_hAccelTable, msg) != 0;
}

void CFrameWnd::OnIdleUpdate() {
    if (CStatusBar* bar = GetStatusBar()) bar->UpdateIndicators();
}

void CFrameWnd::AddControlBar(CControlBar* bar) {
    if (std::find(m_controlBars.begin(), m_controlBars.end(), bar) == m_controlBars.end())
        m_controlBars.push_back(bar);
}

void CFrameWnd::RemoveControlBar(CControlBar* bar) {
    m_controlBars.erase(std::remove(m_controlBars.begin(), m_controlBars.end(), bar), m_controlBars.end());
}

CStatusBar* CFrameWnd::GetStatusBar() const {
    for (CControlBar* bar : m_controlBars) {
        if (auto* status = dynamic_cast<CStatusBar*>(bar);
            status != nullptr && status->GetSafeHwnd() != nullptr) {
            return status;
        }
    }
    return nullptr;
}

bool CFrameWnd::DockControlBar(CControlBar* bar, DWORD side) {
    const DWORD allowed = bar->GetDockingStyle() & m_dwDockStyle;
    if (side == 0) {
        for (DWORD candidate : {CBRS_ALIGN_TOP, CBRS_ALIGN_BOTTOM, CBRS_ALIGN_LEFT, CBRS_ALIGN_RIGHT}) {
            if (allowed & candidate) {
                side = candidate;
                break;
            }
        }
    }
    if (side == 0 || (allowed & side) != side) return false;
    bar->SetDockSide(side);
    RecalcLayout();
    return true;
}

void CFrameWnd::RecalcLayout() {
    if (m_hWnd == nullptr) return;
    RECT rest{};
    ::GetClientRect(m_hWnd, &rest);
    // The status bar along the bottom first, then the other bars inside it.
    CStatusBar* statusBar = GetStatusBar();
    std::vector<CControlBar*> bars;
    if (statusBar != nullptr) bars.push_back(statusBar);
    for (CControlBar* bar : m_controlBars) {
        if (bar != statusBar && bar->GetSafeHwnd() != nullptr) bars.push_back(bar);
    }
    for (CControlBar* bar : bars) {
        if (!::IsWindowVisible(bar->GetSafeHwnd())) continue;
        if (auto* status = dynamic_cast<CStatusBar*>(bar)) {
            status->Send(WM_SIZE);  // it puts itself along the bottom
            rest.bottom -= status->CalcThickness();
            continue;
        }
        const LONG thickness = bar->CalcThickness();
        RECT place = rest;
        switch (bar->GetDockSide()) {
            case CBRS_ALIGN_BOTTOM:
                place.top = rest.bottom = std::max(rest.top, rest.bottom - thickness);
                break;
            case CBRS_ALIGN_LEFT:
                place.right = rest.left = std::min(rest.right, rest.left + thickness);
                break;
            case CBRS_ALIGN_RIGHT:
                place.left = rest.right = std::max(rest.left, rest.right - thickness);
                break;
            default:
                place.bottom = rest.top = std::min(rest.bottom, rest.top + thickness);
                break;
        }
        ::MoveWindow(bar->GetSafeHwnd(), place.left, place.top, place.right - place.left,
                     place.bottom - place.top, TRUE);
    }
    if (HWND pane = ::GetDlgItem(m_hWnd, AFX_IDW_PANE_FIRST)) {
        ::MoveWindow(pane, rest.left, rest.top, std::max(0L, rest.right - rest.left),
                     std::max(0L, rest.bottom - rest.top), TRUE);
    }
}

void CFrameWnd::OnMenuSelect(UINT id, UINT flags, HMENU menu) {
    // The highlighted item's prompt; popups, separators and a closed menu
    // give the idle text.
    if ((flags == 0xFFFF && menu == nullptr) || (flags & (MF_POPUP | MF_SEPARATOR)) != 0) id = 0;
    SetMessageText(id == 0 ? m_strIdleMessage.c_str() : PromptText(id).c_str());
}

bool CFrameWnd::OnToolTipText(NMHDR* header) {
    if (header->code != TTN_GETDISPINFOA && header->code != TTN_GETDISPINFOW) return false;
    UINT id = static_cast<UINT>(header->idFrom);
    if (auto* info = reinterpret_cast<NMTTDISPINFOA*>(header); info->uFlags & TTF_IDISHWND) {
        id = static_cast<UINT>(::GetDlgCtrlID(reinterpret_cast<HWND>(header->idFrom)));
    }
    m_tipText = TipText(id);
    if (header->code == TTN_GETDISPINFOA) {
        auto* info = reinterpret_cast<NMTTDISPINFOA*>(header);
        info->lpszText = m_tipText.data();
        info->hinst = nullptr;
    } else {
        const int length = ::MultiByteToWideChar(CP_ACP, 0, m_tipText.c_str(), -1, nullptr, 0);
        m_tipTextW.assign(static_cast<std::size_t>(std::max(length, 1)), L'\0');
        ::MultiByteToWideChar(CP_ACP, 0, m_tipText.c_str(), -1, m_tipTextW.data(), length);
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
        info->lpszText = m_tipTextW.data();
        info->hinst = nullptr;
    }
    return true;
}

LRESULT CFrameWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            if (m_bLoaded) {
                auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
                if (!OnCreateClient(*cs, m_pCreateContext)) return -1;
            }
            break;
        case WM_SIZE:
            if (m_bLoaded) {
                RecalcLayout();
                return 0;
            }
            break;
        case WM_SETFOCUS:
            if (m_bLoaded && m_pActiveView != nullptr && m_pActiveView->GetSafeHwnd() != nullptr) {
                ::SetFocus(m_pActiveView->GetSafeHwnd());
                return 0;
            }
            break;
        case WM_MENUSELECT:
            if (m_bLoaded) {
                OnMenuSelect(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HMENU>(lParam));
                return 0;
            }
            break;
        case WM_NOTIFY:
            if (m_bLoaded && OnToolTipText(reinterpret_cast<NMHDR*>(lParam))) return 0;
            break;
        case WM_DESTROY:
            if (m_bLoaded && AfxGetMainFrame() == this) ::PostQuitMessage(0);
            break;
        default:
            break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

void CFrameWnd::PostNcDestroy() {
    if (AfxGetMainFrame() == this) AfxSetMainFrame(nullptr);
    // A frame of a document template goes with its window.
    if (m_bAutoDelete) delete this;
}

}  // namespace kestrel
