// The report dialog from the keyboard, through the dialog's own modal loop:
// how it comes up, and which keys end it.
#include <gtest/gtest.h>

#include <string>

#include "resources/resource.h"
#include "shell/report_dlg.h"
#include "tests/win/support/ui_support.h"

namespace kestrel::testing {
namespace {

// What the dialog showed once on screen, before any key.
struct FirstLook {
    DWORD selStart = 0;
    DWORD selEnd = 0;
    int focusId = 0;
    int textLength = 0;
};

FirstLook g_look;
CDialog* g_shown = nullptr;
UINT g_key = 0;

void CALLBACK GiveUp(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    if (g_shown != nullptr) g_shown->EndDialog(kLeftOpen);
}

void CALLBACK PressKey(HWND, UINT, UINT_PTR id, DWORD) {
    // The dialog manager shows the dialog once its queue is empty.
    HWND dialog = g_shown != nullptr ? g_shown->GetSafeHwnd() : nullptr;
    if (dialog == nullptr || !::IsWindowVisible(dialog)) return;
    ::KillTimer(nullptr, id);
    HWND text = ::GetDlgItem(dialog, IDC_REPORT_TEXT);
    ::SendMessageA(text, EM_GETSEL, reinterpret_cast<WPARAM>(&g_look.selStart),
                   reinterpret_cast<LPARAM>(&g_look.selEnd));
    g_look.textLength = ::GetWindowTextLengthA(text);
    HWND focus = ::GetFocus();
    g_look.focusId = focus != nullptr ? ::GetDlgCtrlID(focus) : 0;
    // Posted as the keyboard posts them, so the modal loop's
    // IsDialogMessage sees them before the control does.
    ::PostMessageA(focus, WM_KEYDOWN, g_key, 1);
    ::PostMessageA(focus, WM_KEYUP, g_key, 0xC0000001);
    ::SetTimer(nullptr, 0, 3000, GiveUp);
}

INT_PTR OpenAndPress(const std::string& report, UINT key) {
    g_look = {};
    g_key = key;
    CReportDlg dialog(report);
    g_shown = &dialog;
    ::SetTimer(nullptr, 0, 20, PressKey);
    const INT_PTR result = dialog.DoModal();
    g_shown = nullptr;
    return result;
}

std::string ManyLines() {
    std::string report;
    for (int k = 0; k < 40; ++k) {
        report += "失敗:(PC" + std::to_string(k) + ")ｾｷｭﾘﾃｨﾛｸﾞの取得に失敗しました。\r\n";
        report += "原因 000:RPC サーバーを利用できません。\r\n";
    }
    return report;
}

TEST(ReportDialogKeys, OpensWithNothingSelectedAndEnterCloses) {
    const std::string report = ManyLines();
    EXPECT_EQ(OpenAndPress(report, VK_RETURN), IDOK);
    EXPECT_EQ(g_look.textLength, static_cast<int>(report.size()));
    EXPECT_EQ(g_look.selStart, g_look.selEnd) << "the report came up selected";
    // The focus is on 閉じる: on Windows a focused コピー would take Enter for itself.
    EXPECT_EQ(g_look.focusId, IDOK);
}

TEST(ReportDialogKeys, EscapeCloses) { EXPECT_EQ(OpenAndPress(ManyLines(), VK_ESCAPE), IDCANCEL); }

}  // namespace
}  // namespace kestrel::testing
