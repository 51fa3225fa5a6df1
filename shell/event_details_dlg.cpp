#include "shell/event_details_dlg.h"

#include <utility>

#include "analysis/event_description.h"
#include "engine/classification.h"
#include "framework/clipboard.h"
#include "resources/resource.h"
#include "results/kestrel_view.h"

namespace kestrel {
namespace {

// What each box shows of the event.
struct Field {
    int id;
    std::string EventDescription::*text;
};

constexpr Field kFields[] = {
    {IDC_DETAIL_ORIGIN, &EventDescription::origin},
    {IDC_DETAIL_TIME, &EventDescription::time},
    {IDC_DETAIL_RECORD, &EventDescription::recordNumber},
    {IDC_DETAIL_EVENT_ID, &EventDescription::eventId},
    {IDC_DETAIL_KIND, &EventDescription::kind},
    {IDC_DETAIL_USER, &EventDescription::user},
    {IDC_DETAIL_DOMAIN, &EventDescription::domain},
    {IDC_DETAIL_LOGON_TYPE, &EventDescription::logonType},
    {IDC_DETAIL_WORKSTATION, &EventDescription::workstation},
    {IDC_DETAIL_ADDRESS, &EventDescription::address},
    {IDC_DETAIL_PORT, &EventDescription::port},
    {IDC_DETAIL_LOGON_ID, &EventDescription::logonId},
    {IDC_DETAIL_STATUS, &EventDescription::status},
    {IDC_DETAIL_SUB_STATUS, &EventDescription::subStatus},
    {IDC_DETAIL_REASON, &EventDescription::failureReason},
};

std::string WindowText(HWND window) {
    std::string text(static_cast<std::size_t>(::GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(
        static_cast<std::size_t>(::GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

CEventDetailsDlg::CEventDetailsDlg(HWND parent, CKestrelView& view, std::shared_ptr<RunEvents> events,
                                   const MessageServices& services)
    : CDialog(IDD_EVENT_DETAILS, parent), m_view(view), m_pEvents(std::move(events)), m_services(services) {}

BOOL CEventDetailsDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    ShowRow(m_view.GetSelectedRow());
    // A focused push button takes Enter for itself: the focus goes to 閉じる.
    ::SendMessageA(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(IDOK)), TRUE);
    return FALSE;
}

bool CEventDetailsDlg::OnCommand(UINT id) {
    switch (id) {
        case IDC_DETAIL_PREVIOUS:
        case IDC_DETAIL_NEXT: {
            const int row = m_row + (id == IDC_DETAIL_NEXT ? 1 : -1);
            if (row < 0 || row >= m_view.GetRowCount()) return true;
            m_view.SelectRow(row);
            ShowRow(row);
            return true;
        }
        case IDC_DETAIL_COPY:
            CopyTextToClipboard(m_hWnd, GetText());
            return true;
        default:
            return CDialog::OnCommand(id);
    }
}

void CEventDetailsDlg::ShowRow(int row) {
    m_row = row;
    EventDescription description;
    std::string message;
    RebuiltEvent event;
    bool kept = false;
    if (m_pEvents != nullptr) {
        std::lock_guard<std::mutex> lock(m_pEvents->lock);
        if (const auto index = m_pEvents->events.EventOfRow(row)) {
            m_pEvents->events.Rebuild(*index, event);
            kept = true;
        }
    }
    if (kept && DescribeEvent(event.Event(), description)) {
        // The modules are loaded again: outside the lock, which the run needs.
        message = MessageTextAgain(m_services, event.Event());
    } else {
        // A row the run kept nothing of: what the table shows.
        description.time = m_view.GetCellText(row, kColumnTime);
        description.kind = m_view.GetCellText(row, kColumnLogon) + m_view.GetCellText(row, kColumnLogoff);
        description.user = m_view.GetCellText(row, kColumnUser);
        description.domain = m_view.GetCellText(row, kColumnDomain);
        description.eventId = m_view.GetCellText(row, kColumnEventId);
    }
    ::SetDlgItemTextA(m_hWnd, IDC_DETAIL_COMPUTER, m_view.GetRowComputer(row).c_str());
    for (const Field& field : kFields) ::SetDlgItemTextA(m_hWnd, field.id, (description.*field.text).c_str());
    ::SetDlgItemTextA(m_hWnd, IDC_DETAIL_MESSAGE, message.c_str());
    EnableDlgItem(IDC_DETAIL_PREVIOUS, row > 0);
    EnableDlgItem(IDC_DETAIL_NEXT, row + 1 < m_view.GetRowCount());
}

std::string CEventDetailsDlg::GetText() const {
    // Each label stands right before its box.
    std::string text, label;
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        char kind[16] = {};
        ::GetClassNameA(child, kind, sizeof kind);
        if (lstrcmpiA(kind, "Static") == 0) {
            label = WindowText(child);
        } else if (lstrcmpiA(kind, "Edit") == 0) {
            const bool message = ::GetDlgCtrlID(child) == IDC_DETAIL_MESSAGE;
            text.append(label).append(message ? ":\r\n" : ": ").append(WindowText(child)).append("\r\n");
        }
    }
    return text;
}

}  // namespace kestrel
