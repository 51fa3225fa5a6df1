#include "results/kestrel_view.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <iterator>

#include "engine/classification.h"
#include "framework/app_globals.h"
#include "framework/frame.h"
#include "resources/resource.h"

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
    if (CFrameWnd* frame = AfxGetMainFrame()) frame->SetMessageText(text);
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
            const LRESULT result = CListView::WindowProc(message, wParam, lParam);
            ShowPosition(HitTest(point));
            return result;
        }
        case WM_KEYDOWN: {
            const LRESULT result = CListView::WindowProc(message, wParam, lParam);
            ShowPosition(static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)));
            return result;
        }
        case WM_LBUTTONDBLCLK:
            return 0;
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
