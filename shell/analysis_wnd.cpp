#include "shell/analysis_wnd.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>

#include "base/csv_field.h"
#include "framework/clipboard.h"
#include "resources/resource.h"
#include "shell/main_frame.h"

namespace kestrel {
namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMilliseconds = 1000;  // a running run is followed at most this often
constexpr COLORREF kRed = RGB(255, 0, 0);

// Column widths in pixels, in the order of the tables' headings.
constexpr int kSessionWidths[] = {80, 90, 80, 110, 100, 140, 140, 65, 120, 55, 45, 55, 140};
constexpr int kSummaryWidths[] = {80, 90, 80, 55, 80, 55, 140, 140, 220};

bool KeyDown(UINT key) { return ::GetKeyState(static_cast<int>(key)) < 0; }

// The sort order of two cells: numbers and times by their value, the rest by text.
bool Before(const TableCell& a, const TableCell& b) {
    if (a.key && b.key) return *a.key < *b.key;
    if (a.key.has_value() != b.key.has_value()) return b.key.has_value();  // empty cells first
    return a.text < b.text;
}

}  // namespace

CAnalysisWnd::CAnalysisWnd(Kind kind, CMainFrame& frame)
    : CDialog(IDD_ANALYSIS), m_kind(kind), m_frame(frame) {}

void CAnalysisWnd::Open() {
    if (m_hWnd == nullptr && !Create(m_frame.GetSafeHwnd())) return;
    ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
    ::SetActiveWindow(m_hWnd);
    ::SetFocus(m_hList);
}

BOOL CAnalysisWnd::OnInitDialog() {
    CDialog::OnInitDialog();
    const bool sessions = m_kind == Kind::Sessions;
    ::SetWindowTextA(m_hWnd, sessions ? "ｾｯｼｮﾝ一覧" : "ﾛｸﾞｵﾝの集計");
    m_hList = GetDlgItem(IDC_ANALYSIS_LIST);
    ::SendMessageA(m_hList, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    const auto& headings = sessions ? RunTables::SessionHeadings() : RunTables::SummaryHeadings();
    for (std::size_t k = 0; k < headings.size(); ++k) {
        LVCOLUMNA column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.fmt = LVCFMT_LEFT;
        column.cx = sessions ? kSessionWidths[k] : kSummaryWidths[k];
        column.pszText = const_cast<char*>(headings[k]);
        ::SendMessageA(m_hList, LVM_INSERTCOLUMNA, k, reinterpret_cast<LPARAM>(&column));
    }
    ::ShowWindow(GetDlgItem(IDC_ANALYSIS_WARNINGS), sessions ? SW_HIDE : SW_SHOW);
    Layout();
    Refresh();
    ::SetTimer(m_hWnd, kRefreshTimer, kRefreshMilliseconds, nullptr);
    return TRUE;
}

void CAnalysisWnd::Refresh() {
    std::shared_ptr<RunEvents> events = m_frame.GetRunEvents();
    if (events == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(events->lock);
        if (events == m_pEvents && events->events.Count() == m_seenEvents) return;
        m_tables.Update(events->events);
        m_seenEvents = events->events.Count();
    }
    m_pEvents = std::move(events);
    m_lines = m_kind == Kind::Sessions ? m_tables.Sessions() : m_tables.SummaryLines();
    if (m_kind == Kind::Summary) {
        m_warnings = m_tables.Warnings({});
        std::string text;
        for (const std::string& warning : m_warnings) text.append(warning).append("\r\n");
        ::SetDlgItemTextA(m_hWnd, IDC_ANALYSIS_WARNINGS, text.c_str());
    }
    Sort();
    ShowLines();
}

void CAnalysisWnd::ShowLines() {
    ::SendMessageA(m_hList, LVM_SETITEMCOUNT, m_lines.size(), LVSICF_NOSCROLL);
    ::InvalidateRect(m_hList, nullptr, FALSE);
}

void CAnalysisWnd::SortBy(int column) {
    m_sortDescending = column == m_sortColumn && !m_sortDescending;
    m_sortColumn = column;
    Sort();
    // The selection named lines by their place, which has changed.
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED;
    ::SendMessageA(m_hList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    ShowLines();
}

void CAnalysisWnd::Sort() {
    if (m_sortColumn < 0) return;
    const auto column = static_cast<std::size_t>(m_sortColumn);
    std::stable_sort(m_lines.begin(), m_lines.end(), [&](const TableLine& a, const TableLine& b) {
        return m_sortDescending ? Before(b[column], a[column]) : Before(a[column], b[column]);
    });
}

std::vector<std::string> CAnalysisWnd::Lines(char separator, bool selectedOnly) const {
    const CsvStyle style{separator, true, false};
    auto join = [&](const auto& cells, auto text) {
        std::string line;
        for (std::size_t k = 0; k < std::size(cells); ++k) {
            if (k > 0) line += separator;
            AppendCsvField(text(cells[k]), style, line);
        }
        return line;
    };
    const auto& headings =
        m_kind == Kind::Sessions ? RunTables::SessionHeadings() : RunTables::SummaryHeadings();
    std::vector<std::string> lines{
        join(headings, [](const char* heading) { return std::string_view(heading); })};
    for (int i = selectedOnly ? static_cast<int>(::SendMessageA(m_hList, LVM_GETNEXTITEM, -1, LVNI_SELECTED))
                              : 0;
         i >= 0 && static_cast<std::size_t>(i) < m_lines.size();
         i = selectedOnly ? static_cast<int>(::SendMessageA(m_hList, LVM_GETNEXTITEM, i, LVNI_SELECTED))
                          : i + 1) {
        lines.push_back(join(m_lines[static_cast<std::size_t>(i)],
                             [](const TableCell& cell) { return std::string_view(cell.text); }));
    }
    return lines;
}

bool CAnalysisWnd::OnCommand(UINT id) {
    if (id != IDC_ANALYSIS_SAVE) return CDialog::OnCommand(id);
    m_frame.SaveLinesAsCsv(m_hWnd, Lines(',', false));
    return true;
}

bool CAnalysisWnd::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && msg->hwnd == m_hList && KeyDown(VK_CONTROL)) {
        if (msg->wParam == 'C' || msg->wParam == VK_INSERT) {
            std::string text;
            for (const std::string& line : Lines('\t', true)) text.append(line).append("\r\n");
            CopyTextToClipboard(m_hWnd, text);
            return true;
        }
        if (msg->wParam == 'A') {
            LVITEMA item{};
            item.stateMask = item.state = LVIS_SELECTED;
            ::SendMessageA(m_hList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                           reinterpret_cast<LPARAM>(&item));
            return true;
        }
    }
    return CDialog::PreTranslateMessage(msg);
}

LRESULT CAnalysisWnd::OnNotify(NMHDR* header) {
    if (header->hwndFrom != m_hList) return 0;
    if (header->code == LVN_GETDISPINFOA) {
        auto* info = reinterpret_cast<NMLVDISPINFOA*>(header);
        const auto line = static_cast<std::size_t>(info->item.iItem);
        const auto column = static_cast<std::size_t>(info->item.iSubItem);
        if ((info->item.mask & LVIF_TEXT) && line < m_lines.size() && column < m_lines[line].size()) {
            // The list reads the text where it lies, before the lines change.
            info->item.pszText = const_cast<char*>(m_lines[line][column].text.c_str());
        }
    } else if (header->code == LVN_COLUMNCLICK) {
        SortBy(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
    }
    return 0;
}

void CAnalysisWnd::Layout() {
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    RECT unit{0, 0, 7, 15};  // the margin and a button's height, in dialog units
    ::MapDialogRect(m_hWnd, &unit);
    const int margin = unit.right, buttonHeight = unit.bottom;
    const int buttonsTop = client.bottom - margin - buttonHeight;
    HWND save = GetDlgItem(IDC_ANALYSIS_SAVE);
    HWND close = GetDlgItem(IDCANCEL);
    RECT saveRect{}, closeRect{};
    ::GetWindowRect(save, &saveRect);
    ::GetWindowRect(close, &closeRect);
    ::SetWindowPos(save, nullptr, margin, buttonsTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::SetWindowPos(close, nullptr, client.right - margin - (closeRect.right - closeRect.left), buttonsTop, 0,
                   0, SWP_NOSIZE | SWP_NOZORDER);
    int listTop = margin;
    if (m_kind == Kind::Summary) {
        HWND warnings = GetDlgItem(IDC_ANALYSIS_WARNINGS);
        RECT rect{};
        ::GetWindowRect(warnings, &rect);
        const int height = rect.bottom - rect.top;
        ::SetWindowPos(warnings, nullptr, margin, margin, client.right - 2 * margin, height, SWP_NOZORDER);
        listTop += height + margin / 2;
    }
    ::SetWindowPos(m_hList, nullptr, margin, listTop, client.right - 2 * margin,
                   std::max(0, buttonsTop - margin - listTop), SWP_NOZORDER);
}

LRESULT CAnalysisWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            if (m_hList != nullptr) Layout();
            return 0;
        case WM_TIMER:
            if (wParam != kRefreshTimer) break;
            Refresh();
            return 0;
        case WM_NOTIFY:
            return OnNotify(reinterpret_cast<NMHDR*>(lParam));
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) != GetDlgItem(IDC_ANALYSIS_WARNINGS)) break;
            // The warnings stand out in red, on the window's own colour.
            ::SetTextColor(reinterpret_cast<HDC>(wParam), kRed);
            ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_3DFACE));
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_3DFACE));
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = {360, 240};
            return 0;
        }
        default:
            break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

}  // namespace kestrel
