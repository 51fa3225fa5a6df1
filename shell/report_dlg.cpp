#include "shell/report_dlg.h"

#include "resources/resource.h"

namespace kestrel {

CReportDlg::CReportDlg(const std::string& report) : CDialog(IDD_REPORT), m_report(report) {}

BOOL CReportDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    ::SetDlgItemTextA(m_hWnd, IDC_REPORT_TEXT, m_report.c_str());
    // The first tab stop is コピー, and a focused push button takes Enter
    // for itself: the focus goes to 閉じる so that Enter closes the dialog.
    ::SendMessageA(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(IDOK)), TRUE);
    return FALSE;
}

bool CReportDlg::OnCommand(UINT id) {
    if (id != IDC_REPORT_COPY) return CDialog::OnCommand(id);
    HWND text = GetDlgItem(IDC_REPORT_TEXT);
    ::SendMessageA(text, EM_SETSEL, 0, -1);
    ::SendMessageA(text, WM_COPY, 0, 0);
    return true;
}

}  // namespace kestrel
