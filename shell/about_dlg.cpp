#include "shell/about_dlg.h"

#include "resources/resource.h"

namespace kestrel {
namespace {

constexpr char kNotice[] =
    "ﾈｯﾄﾜｰｸ上のｺﾝﾋﾟｭｰﾀのｾｷｭﾘﾃｨﾛｸﾞから、ﾛｸﾞｵﾝ、ﾛｸﾞｵﾝの失敗、ﾛｸﾞｵﾌを一覧にします。\r\n"
    "Copyright (C) 2000 Norvale";

}  // namespace

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

CAboutDlg::~CAboutDlg() = default;

BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    ::SetDlgItemTextA(m_hWnd, IDC_ABOUT_NOTICE, kNotice);
    m_wndLink.SubclassDlgItem(IDC_ABOUT_LINK, m_hWnd);
    m_wndLink.m_link = kProductPage;
    return TRUE;
}

void RunAboutBox() {
    CAboutDlg about;
    about.DoModal();
}

}  // namespace kestrel
