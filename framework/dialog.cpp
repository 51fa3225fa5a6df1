#include "framework/dialog.h"

#include <algorithm>

#include "framework/app_globals.h"
#include "framework/frame.h"

namespace kestrel {
namespace {

// A dialog that its initialisation neither showed nor moved goes to the middle
// of its owner, or of the screen when it has no owner in view: it opens where
// the user is looking, whatever position its template gives.
void CenterIfUnplaced(HWND dialog, const RECT& before) {
    RECT now{};
    ::GetWindowRect(dialog, &now);
    if (::IsWindowVisible(dialog) || now.left != before.left || now.top != before.top) return;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoA(::MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    RECT area = work;
    HWND owner = ::GetWindow(dialog, GW_OWNER);
    if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &area);
    const LONG width = now.right - now.left;
    const LONG height = now.bottom - now.top;
    const LONG x = std::max(work.left, std::min((area.left + area.right - width) / 2, work.right - width));
    const LONG y = std::max(work.top, std::min((area.top + area.bottom - height) / 2, work.bottom - height));
    ::SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

CDialog::~CDialog() {
    if (m_modeless) {
        DestroyWindow();
        return;
    }
    // Only reached while the dialog runs if its owner unwinds: let the
    // dialog manager end it, with nothing left that points here.
    if (m_hWnd != nullptr) {
        ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
        ::EndDialog(m_hWnd, IDCANCEL);
        Detach();
    }
}

INT_PTR CDialog::DoModal() {
    if (m_hWnd != nullptr) return -1;
    AfxInitCommonControls();
    HWND owner = m_parent;
    if (owner == nullptr) {
        // A dialog without a parent on the user-interface thread still
        // belongs to the main window, which then stays behind it and takes no
        // input until it ends. A dialog of another thread gets no owner: an
        // owner on another thread would join the two threads' input.
        HWND frame = AfxGetMainFrame() != nullptr ? AfxGetMainFrame()->GetSafeHwnd() : nullptr;
        if (frame != nullptr && ::GetWindowThreadProcessId(frame, nullptr) == ::GetCurrentThreadId()) {
            owner = frame;
        }
    }
    return ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_templateId), owner, StaticDlgProc,
                             reinterpret_cast<LPARAM>(this));
}

bool CDialog::Create(HWND owner) {
    if (m_hWnd != nullptr) return false;
    AfxInitCommonControls();
    m_modeless = true;
    return ::CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_templateId), owner, StaticDlgProc,
                                reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::EndDialog(INT_PTR result) {
    if (m_hWnd == nullptr) return;
    if (m_modeless) {
        DestroyWindow();
    } else {
        ::EndDialog(m_hWnd, result);
    }
}

bool CDialog::PreTranslateMessage(MSG* msg) {
    // A modal dialog's own loop does this for it.
    return m_modeless && m_hWnd != nullptr && ::IsDialogMessageA(m_hWnd, msg);
}

bool CDialog::OnCommand(UINT id) {
    switch (id) {
        case IDOK:
            OnOK();
            return true;
        case IDCANCEL:
            OnCancel();
            return true;
        default:
            return false;
    }
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return OnInitDialog();
    return CWnd::WindowProc(message, wParam, lParam);
}

LRESULT CDialog::DefaultProc(UINT, WPARAM, LPARAM) {
    m_defaulted = true;  // the dialog manager's own handling
    return 0;
}

INT_PTR CALLBACK CDialog::StaticDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* dialog;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialog*>(lParam);
        dialog->m_hWnd = window;
        dialog->m_kind = Kind::Dialog;
        ::SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
    } else {
        dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (dialog == nullptr || dialog->m_hWnd != window) return FALSE;
    }

    RECT before{};
    if (message == WM_INITDIALOG) ::GetWindowRect(window, &before);

    const bool outerDefaulted = dialog->m_defaulted;
    dialog->m_defaulted = false;
    const LRESULT result = dialog->Dispatch(message, wParam, lParam);
    const bool defaulted = dialog->m_defaulted;
    dialog->m_defaulted = outerDefaulted;

    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        dialog->Detach();
        dialog->PostNcDestroy();
        return FALSE;
    }
    if (message == WM_INITDIALOG) CenterIfUnplaced(window, before);
    if (defaulted) return FALSE;
    switch (message) {
        case WM_INITDIALOG:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
            return static_cast<INT_PTR>(result);
        default:
            ::SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
            return TRUE;
    }
}

}  // namespace kestrel
