#include "shell/start_dlg.h"

#include <commctrl.h>

#include "framework/date_picker.h"
#include "platform/local_time.h"
#include "resources/resource.h"

namespace kestrel {
namespace {

constexpr char kCaution[] = "注意";
constexpr char kEndBeforeStart[] = "終了日が開始日より前の日付に設定されています。";
constexpr char kEndAfterToday[] = "終了日が本日より後の日付に設定されています。";

bool ToSystemTime(std::time_t t, SYSTEMTIME& out) {
    const auto local = ToLocalTime(t);
    if (!local || local->tm_year + 1900 < 1601 || local->tm_year + 1900 > 30827) return false;
    out.wYear = static_cast<WORD>(local->tm_year + 1900);
    out.wMonth = static_cast<WORD>(local->tm_mon + 1);
    out.wDayOfWeek = static_cast<WORD>(local->tm_wday);
    out.wDay = static_cast<WORD>(local->tm_mday);
    out.wHour = static_cast<WORD>(local->tm_hour);
    out.wMinute = static_cast<WORD>(local->tm_min);
    out.wSecond = static_cast<WORD>(local->tm_sec);
    out.wMilliseconds = 0;
    return true;
}

bool FromSystemTime(const SYSTEMTIME& time, std::time_t& out) {
    std::tm local{};
    local.tm_year = time.wYear - 1900;
    local.tm_mon = time.wMonth - 1;
    local.tm_mday = time.wDay;
    local.tm_hour = time.wHour;
    local.tm_min = time.wMinute;
    local.tm_sec = time.wSecond;
    local.tm_isdst = -1;
    const auto t = FromLocalTime(local);
    if (!t) return false;
    out = *t;
    return true;
}

}  // namespace

std::time_t LocalMidnight(std::time_t t) {
    auto local = ToLocalTime(t);
    if (!local) return t;
    local->tm_hour = 0;
    local->tm_min = 0;
    local->tm_sec = 0;
    local->tm_isdst = -1;  // the library decides on daylight saving time
    return FromLocalTime(*local).value_or(t);
}

CStartDlg::CStartDlg(CollectJob& job, HWND parent) : CDialog(IDD_START, parent), m_job(job) {}

BOOL CStartDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    CheckDlgButton(IDC_LOG_SYSTEM, m_job.Filter_System != 0);
    CheckDlgButton(IDC_LOG_APPLICATION, m_job.Filter_Application != 0);
    CheckDlgButton(IDC_LOG_SECURITY, m_job.Filter_Security != 0);
    CheckDlgButton(IDC_TYPE_INFORMATION, m_job.Filter_Information != 0);
    CheckDlgButton(IDC_TYPE_WARNING, m_job.Filter_Warning != 0);
    CheckDlgButton(IDC_TYPE_ERROR, m_job.Filter_Error != 0);
    CheckDlgButton(IDC_TYPE_AUDIT_SUCCESS, m_job.Filter_Securityok != 0);
    CheckDlgButton(IDC_TYPE_AUDIT_FAILURE, m_job.Filter_Securityng != 0);
    CheckDlgButton(IDC_FROM_LOG_START, m_job.FromLogStart != 0);
    CheckDlgButton(IDC_TO_LOG_END, m_job.ToLogEnd != 0);

    ShowPicker(IDC_FROM_DATE, m_job.FromTime);
    ShowPicker(IDC_TO_DATE, m_job.ToTime);

    EnableDlgItem(IDC_FROM_DATE, m_job.FromLogStart == 0);
    EnableDlgItem(IDC_TO_DATE, m_job.ToLogEnd == 0);
    return TRUE;
}

void CStartDlg::ShowPicker(int id, std::time_t value) {
    SYSTEMTIME time{};
    HasDate(id) = ToSystemTime(value, time) && SetPickerTime(GetDlgItem(id), time);
}

bool CStartDlg::ReadPicker(int id, std::time_t& value) const {
    SYSTEMTIME time{};
    return HasDate(id) && GetPickerTime(GetDlgItem(id), &time) && FromSystemTime(time, value);
}

bool CStartDlg::OnCommand(UINT id) {
    switch (id) {
        case IDC_FROM_LOG_START:
            EnableDlgItem(IDC_FROM_DATE, !IsDlgButtonChecked(IDC_FROM_LOG_START));
            return true;
        case IDC_TO_LOG_END:
            EnableDlgItem(IDC_TO_DATE, !IsDlgButtonChecked(IDC_TO_LOG_END));
            return true;
        default:
            return CDialog::OnCommand(id);
    }
}

LRESULT CStartDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        const auto* change = reinterpret_cast<const NMDATETIMECHANGE*>(lParam);
        if (change->nmhdr.code == DTN_DATETIMECHANGE &&
            (change->nmhdr.idFrom == IDC_FROM_DATE || change->nmhdr.idFrom == IDC_TO_DATE)) {
            HasDate(static_cast<int>(change->nmhdr.idFrom)) = change->dwFlags == GDT_VALID;
        }
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void CStartDlg::OnOK() {
    // Without a date, a picker stands for the value it was given.
    std::time_t start = m_job.FromTime;
    std::time_t end = m_job.ToTime;
    const bool hasStart = ReadPicker(IDC_FROM_DATE, start);
    const bool hasEnd = ReadPicker(IDC_TO_DATE, end);
    const bool fromLogStart = IsDlgButtonChecked(IDC_FROM_LOG_START);
    const bool toLogEnd = IsDlgButtonChecked(IDC_TO_LOG_END);

    if (start > end && !fromLogStart && !toLogEnd) {
        MessageBox(kEndBeforeStart, kCaution, MB_ICONEXCLAMATION);
        return;
    }
    if (end > std::time(nullptr) && !toLogEnd) {
        MessageBox(kEndAfterToday, kCaution, MB_ICONEXCLAMATION);
        return;
    }

    m_job.Filter_Application = 0;
    m_job.Filter_Error = 0;
    m_job.Filter_Information = 0;
    m_job.Filter_Security = 1;
    m_job.Filter_System = 0;
    m_job.Filter_Warning = 0;

    m_job.FromLogStart = fromLogStart ? 1 : 0;
    m_job.ToLogEnd = toLogEnd ? 1 : 0;
    m_job.Filter_Securityok = IsDlgButtonChecked(IDC_TYPE_AUDIT_SUCCESS) ? 1 : 0;
    m_job.Filter_Securityng = IsDlgButtonChecked(IDC_TYPE_AUDIT_FAILURE) ? 1 : 0;

    if (hasStart) m_job.FromTime = start;
    if (hasEnd) m_job.ToTime = end;
    m_job.FromTime = LocalMidnight(m_job.FromTime);
    m_job.ToTime = LocalMidnight(m_job.ToTime);
    EndDialog(IDOK);
}

}  // namespace kestrel
