#include "results/kestrel_view.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "base/cp932.h"
#include "base/csv_field.h"
#include "engine/classification.h"
#include "framework/app_globals.h"
#include "framework/clipboard.h"
#include "framework/frame.h"
#include "framework/ids.h"
#include "resources/resource.h"
#include "results/list_result_table.h"
#include "results/relayed_result_table.h"

namespace kestrel {
namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kLightGrey = RGB(192, 192, 192);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr char kLogonFailed[] = "ログオン失敗";

struct Column {
    const char* heading;
    const char* widthText;  // the width is this text's plus the margin
    int margin;
};

constexpr Column kColumns[] = {
    {"", "", 18},
    {"時刻", "時刻", 150},
    {"ログオン", "ログオン", 60},
    {"ログオフ", "ログオフ", 60},
    {"ユーザ名", "ログオフ", 100},
    {"コンピュータ名", "ログオフ", 100},
    {"イベントID", "ログオフ", 50},
    {"タイプ", "ログオフ", 80},
};

constexpr char kComputerHeading[] = "ｺﾝﾋﾟｭｰﾀ";

// Text of one cell, cut to the buffer.
template <std::size_t N>
void CellText(HWND list, int row, int column, char (&text)[N]) {
    text[0] = '\0';
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = static_cast<int>(N);
    ::SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    text[N - 1] = '\0';
}

// A user name is what an attacker typed, of any length: a cell is read whole
// up to this bound.
constexpr std::size_t kMaxCellText = std::size_t{1} << 20;

// Text of one cell: the buffer doubles while the text fills it. A cut text can
// also end a byte short of the buffer, where a double-byte character did not
// fit, so that counts as full too.
std::string WholeCellText(HWND list, int row, int column) {
    std::string text;
    for (std::size_t size = 1024;; size *= 2) {
        text.assign(size, '\0');
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(size);
        const auto length = static_cast<std::size_t>(::SendMessageA(
            list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
        text.resize(std::strlen(text.c_str()));
        if (length + 2 < size) return text;
        if (size >= kMaxCellText) break;
    }
    // Cut at the bound: never inside a double-byte character.
    std::size_t whole = 0;
    while (whole < text.size()) {
        const std::size_t next = whole + (IsCp932LeadByte(static_cast<unsigned char>(text[whole])) ? 2 : 1);
        if (next > text.size()) break;
        whole = next;
    }
    text.resize(whole);
    return text;
}

}  // namespace

CKestrelView::~CKestrelView() { DestroyWindow(); }

BOOL CKestrelView::PreCreateWindow(CREATESTRUCTA& cs) {
    cs.style |= LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
    return CListView::PreCreateWindow(cs);
}

LRESULT CKestrelView::OnCreate(WPARAM wParam, LPARAM lParam) {
    if (CListView::WindowProc(WM_CREATE, wParam, lParam) == -1) return -1;
    m_imageList.Create(IDB_RESULT_NEUTRAL, 16, 16, kLightGrey);
    m_imageList.Add(IDB_RESULT_INFORMATION, kWhite);
    m_imageList.Add(IDB_RESULT_WARNING, kWhite);
    m_imageList.Add(IDB_RESULT_SUCCESS, kWhite);
    m_imageList.Add(IDB_RESULT_FAILURE, kWhite);
    const LRESULT extended = Send(LVM_GETEXTENDEDLISTVIEWSTYLE);
    Send(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, extended | LVS_EX_FULLROWSELECT);
    return 0;
}

void CKestrelView::OnInitialUpdate() {
    CListView::OnInitialUpdate();
    // Each initial update puts a whole set in front of the columns there are.
    for (int k = 0; k < static_cast<int>(std::size(kColumns)); ++k) {
        LVCOLUMNA column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx =
            static_cast<int>(Send(LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(kColumns[k].widthText))) +
            kColumns[k].margin;
        column.pszText = const_cast<char*>(kColumns[k].heading);
        column.iSubItem = k;
        Send(LVM_INSERTCOLUMNA, static_cast<WPARAM>(k), reinterpret_cast<LPARAM>(&column));
    }

    if (m_wndToolTip.Create(m_hWnd)) {
        m_wndToolTip.Activate(true);
        m_wndToolTip.SetDelayTime(0);
        m_wndToolTip.AddTool(m_hWnd, "");
    }
    Send(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(m_imageList.GetSafeHandle()));
}

int CKestrelView::GetSelectedCount() const { return static_cast<int>(Send(LVM_GETSELECTEDCOUNT)); }

int CKestrelView::GetSelectedRow() const {
    return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void CKestrelView::SelectRow(int row) {
    RestoreSingleSelection();
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    Send(LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    Send(LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

std::string CKestrelView::GetCellText(int row, int column) const {
    return WholeCellText(m_hWnd, row, column);
}

std::string CKestrelView::GetRowComputer(int row) const {
    if (row < 0 || row >= static_cast<int>(Send(LVM_GETITEMCOUNT))) return {};
    const auto after = std::upper_bound(m_computerRows.begin(), m_computerRows.end(), row,
                                        [](int r, const auto& run) { return r < run.first; });
    return after == m_computerRows.begin() ? std::string() : std::prev(after)->second;
}

std::vector<std::string> CKestrelView::RowLines(char separator, bool selectedOnly) const {
    // A failed logon's names are what an attacker typed: no formula reaches
    // the spreadsheet. Controls stay as the table shows them.
    const CsvStyle style{separator, /*guardFormulas*/ true, /*escapeControls*/ false};
    std::vector<std::string> lines;
    std::string out = kComputerHeading;
    // The texts a run writes: columns 1 to 7, after the icon's.
    for (int k = 1; k < static_cast<int>(std::size(kColumns)); ++k) {
        out += separator;
        AppendCsvField(kColumns[k].heading, style, out);
    }
    lines.push_back(std::move(out));
    const int count = static_cast<int>(Send(LVM_GETITEMCOUNT));
    for (int row = selectedOnly
                       ? static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED))
                       : 0;
         row >= 0 && row < count;
         row = selectedOnly ? static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED))
                            : row + 1) {
        out.clear();
        AppendCsvField(GetRowComputer(row), style, out);
        for (int k = 1; k < static_cast<int>(std::size(kColumns)); ++k) {
            out += separator;
            AppendCsvField(WholeCellText(m_hWnd, row, k), style, out);
        }
        lines.push_back(std::move(out));
    }
    return lines;
}

void CKestrelView::CopySelection() {
    if (GetSelectedCount() <= 0) return;
    std::string text;
    for (const std::string& line : RowLines('\t', true)) text.append(line).append("\r\n");
    CopyTextToClipboard(m_hWnd, text);
}

void CKestrelView::SelectAll() {
    // A single-selection list refuses to select every row.
    ::SetWindowLongA(m_hWnd, GWL_STYLE, ::GetWindowLongA(m_hWnd, GWL_STYLE) & ~LVS_SINGLESEL);
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    Send(LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
}

void CKestrelView::RestoreSingleSelection() {
    const LONG style = ::GetWindowLongA(m_hWnd, GWL_STYLE);
    if (style & LVS_SINGLESEL) return;
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED;
    Send(LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    ::SetWindowLongA(m_hWnd, GWL_STYLE, style | LVS_SINGLESEL);
}

bool CKestrelView::OnCommand(UINT id) {
    if (id == ID_EDIT_COPY) {
        CopySelection();
        return true;
    }
    return CListView::OnCommand(id);
}

bool CKestrelView::PreTranslateMessage(MSG* msg) {
    if (m_settings.DontShowMessageToolTip == 0 && m_wndToolTip.GetSafeHwnd() != nullptr) {
        m_wndToolTip.RelayEvent(msg);
    }
    return CListView::PreTranslateMessage(msg);
}

int CKestrelView::HitTest(POINT point) const {
    LVHITTESTINFO hit{};
    hit.pt = point;
    return static_cast<int>(Send(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

void CKestrelView::OnMouseMove(POINT point) {
    if (m_wndToolTip.GetSafeHwnd() == nullptr) return;
    char text[256] = "";
    const int row = HitTest(point);
    if (row >= 0) CellText(m_hWnd, row, kColumnLogonType, text);
    m_wndToolTip.UpdateTipText(text, m_hWnd);
}

void CKestrelView::ShowPosition(int row) {
    char text[32];
    std::snprintf(text, sizeof text, "%d/%d", row + 1, static_cast<int>(Send(LVM_GETITEMCOUNT)));
    if (CFrameWnd* frame = AfxGetMainFrame()) {
        frame->SetIdleMessage({});  // a run's end text stays until now
        frame->SetMessageText(text);
    }
}

LRESULT CKestrelView::OnCustomDraw(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: {
            char kind[1024];
            CellText(m_hWnd, static_cast<int>(draw->nmcd.dwItemSpec), kColumnLogon, kind);
            if (std::strcmp(kind, kLogonFailed) == 0) {
                draw->clrText = kWhite;
                draw->clrTextBk = kRed;
            }
            return CDRF_DODEFAULT;
        }
        default:
            return CDRF_DODEFAULT;
    }
}

bool CKestrelView::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        switch (header->code) {
            case NM_CUSTOMDRAW:
                *result = OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
                return true;
            case LVN_COLUMNCLICK:  // the rows are never sorted
                *result = 0;
                return true;
            default:
                break;
        }
    }
    return CListView::OnChildNotify(message, wParam, lParam, result);
}

LRESULT CKestrelView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    switch (message) {
        case WM_CREATE:
            return OnCreate(wParam, lParam);
        case WM_MOUSEMOVE:
            OnMouseMove(point);
            return 0;
        case WM_LBUTTONDOWN: {
            RestoreSingleSelection();
            const LRESULT result = CListView::WindowProc(message, wParam, lParam);
            ShowPosition(HitTest(point));
            return result;
        }
        case WM_KEYDOWN: {
            LRESULT result = 0;
            if (wParam == 'A' && ::GetKeyState(VK_CONTROL) < 0) {
                SelectAll();
            } else {
                if (wParam != VK_CONTROL && wParam != VK_SHIFT) RestoreSingleSelection();
                result = CListView::WindowProc(message, wParam, lParam);
            }
            ShowPosition(static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)));
            return result;
        }
        case WM_LBUTTONDBLCLK:
            return 0;
        case WM_KESTREL_ROW_COMPUTER: {
            const int first = static_cast<int>(wParam);
            const char* name = reinterpret_cast<const char*>(lParam);
            // A computer that gave no rows gives way to the next one.
            while (!m_computerRows.empty() && m_computerRows.back().first >= first) m_computerRows.pop_back();
            m_computerRows.emplace_back(first, name != nullptr ? name : "");
            return 0;
        }
        case WM_KESTREL_TABLE_CALLS: {
            auto* batch = reinterpret_cast<TableCallBatch*>(lParam);
            if (batch == nullptr) return FALSE;
            ListResultTable table(m_hWnd);
            m_bChangesFromAnotherThread = true;
            batch->ReplayOn(table);
            m_bChangesFromAnotherThread = false;
            return TRUE;
        }
        case LVM_DELETEALLITEMS:
            m_computerRows.clear();
            return CListView::WindowProc(message, wParam, lParam);
        case WM_DESTROY: {
            const LRESULT result = CListView::WindowProc(message, wParam, lParam);
            // Taken back first: the control would destroy it once more as it goes.
            Send(LVM_SETIMAGELIST, LVSIL_SMALL, 0);
            m_imageList.DeleteImageList();
            return result;
        }
        default:
            return CListView::WindowProc(message, wParam, lParam);
    }
}

}  // namespace kestrel
