// The result list, built for real in a stand-in frame; rows come from a
// second thread through the result-table port, relayed as a run adds them.
#include <gtest/gtest.h>

#include <functional>

#include "engine/classification.h"
#include "resources/resource.h"
#include "results/kestrel_doc.h"
#include "results/kestrel_view.h"
#include "results/relayed_result_table.h"
#include "tests/win/support/ui_support.h"

namespace kestrel::testing {
namespace {

struct Event {
    std::uint32_t id;
    std::uint16_t type;
    std::vector<const char*> strings;  // insertion strings from index 0
    const char* time;
};

// Indexes of the user and logon-type strings of 4624 and 4625: 5, 6, 8, 10.
Event Logon(const char* user, const char* logonType) {
    return {4624, 8, {"", "", "", "", "", user, "DOM", "", logonType}, "2024/05/01 09:00:00  "};
}
Event FailedLogon(const char* user) {
    return {4625, 16, {"", "", "", "", "", user, "DOM", "", "", "", "3"}, "2024/05/01 09:01:00  "};
}
Event Logoff(const char* user) { return {4634, 0, {"", user, "DOM"}, "2024/05/01 09:02:00  "}; }

// The list messages the view gets, and whether each came inside a batch
// that the worker handed over.
class WatchedView : public CKestrelView {
public:
    using CKestrelView::CKestrelView;

    int hands = 0;
    std::vector<std::pair<UINT, bool>> listMessages;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_KESTREL_TABLE_CALLS: {
                ++hands;
                inBatch_ = true;
                const LRESULT result = CKestrelView::WindowProc(message, wParam, lParam);
                inBatch_ = false;
                return result;
            }
            case LVM_GETITEMCOUNT:
            case LVM_INSERTITEMA:
            case LVM_SETITEMA:
            case LVM_REDRAWITEMS:
            case LVM_DELETEALLITEMS:
                listMessages.emplace_back(message, inBatch_);
                break;
            default:
                break;
        }
        return CKestrelView::WindowProc(message, wParam, lParam);
    }

private:
    bool inBatch_ = false;
};

class KestrelViewTest : public FrameSuite {
protected:
    void SetUp() override {
        settings.DontShowMessageToolTip = 0;
        ASSERT_TRUE(view.Create(*frame, frame->ViewRect(), 0xE901, &document));
        list = view.GetSafeHwnd();
        ::SendMessageA(list, WM_INITIALUPDATE, 0, 0);
    }

    // Runs work on a second thread while this one serves the list.
    void FromWorker(const std::function<void(ResultTablePort&)>& work) {
        ASSERT_TRUE(OnWorkerThread([&] {
            RelayedResultTable table(list);
            work(table);
        }));
    }

    void Add(const std::vector<Event>& events) {
        FromWorker([&](ResultTablePort& table) {
            EventClassifier classifier(table);
            for (const Event& e : events) {
                EventLogRecord record{};
                record.EventType = e.type;
                InsertionTable strings{};
                for (std::size_t i = 0; i < e.strings.size(); ++i) strings[i] = e.strings[i];
                char message[] = "";
                classifier.InsertEventMessage(
                    {record, "\\\\pc", "source", message, "Security", e.time, e.id, strings});
            }
        });
    }

    std::string Cell(int row, int column) const {
        char text[300] = {};
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        ::SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        return text;
    }
    int Image(int row) const {
        LVITEMA item{};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        ::SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return item.iImage;
    }
    std::vector<std::string> Headings() const {
        std::vector<std::string> headings;
        HWND header = ListView_GetHeader(list);
        for (int i = 0; i < Header_GetItemCount(header); ++i) {
            char text[64] = {};
            LVCOLUMNA column{};
            column.mask = LVCF_TEXT;
            column.pszText = text;
            column.cchTextMax = sizeof text;
            ::SendMessageA(list, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
            headings.emplace_back(text);
        }
        return headings;
    }
    POINT RowPoint(int row) const {
        RECT rect{LVIR_BOUNDS, 0, 0, 0};
        ::SendMessageA(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        return {rect.left + 40, (rect.top + rect.bottom) / 2};
    }
    POINT BelowRows() const {
        RECT client{};
        ::GetClientRect(list, &client);
        return {40, client.bottom - 5};
    }
    void Click(POINT at) const {
        ::PostMessageA(list, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));  // for a drag test that waits for it
        ::SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
        PumpFor(30);
    }
    // The tooltip's text after the pointer moved to at.
    std::string TipAt(POINT at) const {
        ::SendMessageA(list, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
        char text[256] = "unchanged";
        TOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.hwnd = ::GetParent(list);
        tool.uId = reinterpret_cast<UINT_PTR>(list);
        tool.lpszText = text;
        ::SendMessageA(view.GetToolTipWindow(), TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
        return text;
    }
    int Selected() const { return ListView_GetNextItem(list, -1, LVNI_SELECTED); }
    // The custom-draw answer for row, as the list's parent hands it back.
    LRESULT Draw(DWORD stage, int row, NMLVCUSTOMDRAW& draw) const {
        draw = {};
        draw.nmcd.hdr.hwndFrom = list;
        draw.nmcd.hdr.idFrom = 0xE901;
        draw.nmcd.hdr.code = NM_CUSTOMDRAW;
        draw.nmcd.dwDrawStage = stage;
        draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(row);
        draw.clrText = RGB(1, 2, 3);
        draw.clrTextBk = RGB(4, 5, 6);
        return ::SendMessageA(*frame, WM_NOTIFY, 0xE901, reinterpret_cast<LPARAM>(&draw));
    }

    AppSettings settings;
    CKestrelDoc document;
    WatchedView view{settings};
    HWND list = nullptr;
};

TEST_F(KestrelViewTest, StylesColumnsAndIcons) {
    const LONG style = ::GetWindowLongA(list, GWL_STYLE);
    const LONG wanted = WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
    EXPECT_EQ(style & wanted, wanted);
    EXPECT_EQ(style & (LVS_SORTASCENDING | LVS_SORTDESCENDING), 0);
    EXPECT_TRUE(ListView_GetExtendedListViewStyle(list) & LVS_EX_FULLROWSELECT);
    EXPECT_EQ(view.GetDocument(), &document);

    const std::vector<std::string> headings{"",         "時刻",           "ログオン",   "ログオフ",
                                            "ユーザ名", "コンピュータ名", "イベントID", "タイプ"};
    EXPECT_EQ(Headings(), headings);
    struct {
        const char* text;
        int margin;
    } const widths[] = {{"", 18},          {"時刻", 150},     {"ログオン", 60}, {"ログオフ", 60},
                        {"ログオフ", 100}, {"ログオフ", 100}, {"ログオフ", 50}, {"ログオフ", 80}};
    for (int k = 0; k < 8; ++k) {
        LVCOLUMNA column{};
        column.mask = LVCF_WIDTH | LVCF_FMT;
        ::SendMessageA(list, LVM_GETCOLUMNA, k, reinterpret_cast<LPARAM>(&column));
        const int text = static_cast<int>(
            ::SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(widths[k].text)));
        EXPECT_EQ(column.cx, text + widths[k].margin) << "column " << k;
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT) << "column " << k;
    }
    EXPECT_GT(::SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>("ログオフ")), 0);

    HIMAGELIST images = ListView_GetImageList(list, LVSIL_SMALL);
    ASSERT_EQ(images, view.GetImageList());
    EXPECT_EQ(ImageList_GetImageCount(images), 5);
    EXPECT_TRUE(ImageShowsBitmap(images, 0, IDB_RESULT_NEUTRAL, RGB(192, 192, 192)));
    EXPECT_TRUE(ImageShowsBitmap(images, 1, IDB_RESULT_INFORMATION, RGB(255, 255, 255)));
    EXPECT_TRUE(ImageShowsBitmap(images, 2, IDB_RESULT_WARNING, RGB(255, 255, 255)));
    EXPECT_TRUE(ImageShowsBitmap(images, 3, IDB_RESULT_SUCCESS, RGB(255, 255, 255)));
    EXPECT_TRUE(ImageShowsBitmap(images, 4, IDB_RESULT_FAILURE, RGB(255, 255, 255)));
}

TEST_F(KestrelViewTest, RowsFromTheWorkerThreadInOrderWithTextsAndIcons) {
    view.listMessages.clear();
    Add({Logon("alice", "2"), Logon("SYSTEM", "5"), FailedLogon("bob"), Logoff("carol")});

    // One thread switch a row; inside it the list gets the row's messages in
    // the classifier's order, and nothing is drawn until the catch-up.
    EXPECT_EQ(view.hands, 3);
    EXPECT_TRUE(view.IsDrawingDeferred());
    std::vector<UINT> messages;
    for (const auto& [message, inBatch] : view.listMessages) {
        if (inBatch) messages.push_back(message);
    }
    const std::vector<UINT> logon{LVM_GETITEMCOUNT, LVM_INSERTITEMA, LVM_SETITEMA, LVM_SETITEMA,
                                  LVM_SETITEMA,     LVM_SETITEMA,    LVM_SETITEMA, LVM_SETITEMA,
                                  LVM_GETITEMCOUNT, LVM_REDRAWITEMS};
    const std::vector<UINT> logoff{LVM_GETITEMCOUNT, LVM_INSERTITEMA,  LVM_SETITEMA,
                                   LVM_SETITEMA,     LVM_SETITEMA,     LVM_SETITEMA,
                                   LVM_SETITEMA,     LVM_GETITEMCOUNT, LVM_REDRAWITEMS};
    std::vector<UINT> wanted = logon;
    wanted.insert(wanted.end(), logon.begin(), logon.end());
    wanted.insert(wanted.end(), logoff.begin(), logoff.end());
    EXPECT_EQ(messages, wanted);
    for (const auto& [message, inBatch] : view.listMessages) {
        if (message != LVM_GETITEMCOUNT) {
            EXPECT_TRUE(inBatch) << "message 0x" << std::hex << message;
        }
    }

    ASSERT_EQ(ListView_GetItemCount(list), 3);
    const std::vector<std::vector<std::string>> rows{
        {"", "2024/05/01 09:00:00  ", "ログオン", "", "alice", "DOM", "4624", "ローカル"},
        {"", "2024/05/01 09:01:00  ", "ログオン失敗", "", "bob", "DOM", "4625", "ネットワーク"},
        {"", "2024/05/01 09:02:00  ", "", "ログオフ", "carol", "DOM", "4634", ""},
    };
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 8; ++column) {
            EXPECT_EQ(Cell(row, column), rows[row][column]) << "row " << row << " column " << column;
        }
    }
    EXPECT_EQ(Image(0), 3);
    EXPECT_EQ(Image(1), 4);
    EXPECT_EQ(Image(2), 0);

    FromWorker([](ResultTablePort& table) { table.DeleteAllItems(); });
    EXPECT_EQ(ListView_GetItemCount(list), 0);
}

TEST_F(KestrelViewTest, FailedLogonsArePaintedWhiteOnRed) {
    Add({Logon("alice", "2"), FailedLogon("bob")});
    NMLVCUSTOMDRAW draw;

    EXPECT_EQ(Draw(CDDS_PREPAINT, 0, draw), CDRF_NOTIFYITEMDRAW);
    EXPECT_EQ(Draw(CDDS_ITEMPREPAINT, 1, draw), CDRF_DODEFAULT);
    EXPECT_EQ(draw.clrText, RGB(255, 255, 255));
    EXPECT_EQ(draw.clrTextBk, RGB(255, 0, 0));
    EXPECT_EQ(Draw(CDDS_ITEMPREPAINT, 0, draw), CDRF_DODEFAULT);
    EXPECT_EQ(draw.clrText, RGB(1, 2, 3));
    EXPECT_EQ(draw.clrTextBk, RGB(4, 5, 6));
    EXPECT_EQ(Draw(CDDS_ITEMPREPAINT, 7, draw), CDRF_DODEFAULT);  // no such row
    EXPECT_EQ(draw.clrTextBk, RGB(4, 5, 6));

    // And on the screen: the failed row's user cell, past its text, is red.
    ::RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    HDC dc = ::GetDC(list);
    auto background = [&](int row) {
        RECT cell{LVIR_BOUNDS, kColumnUser, 0, 0};
        ::SendMessageA(list, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&cell));
        return ::GetPixel(dc, cell.right - 4, (cell.top + cell.bottom) / 2);
    };
    EXPECT_EQ(background(1), RGB(255, 0, 0));
    EXPECT_EQ(background(0), ::GetSysColor(COLOR_WINDOW));
    ::ReleaseDC(list, dc);
}

TEST_F(KestrelViewTest, TooltipShowsTheLogonTypeOfTheRowUnderThePointer) {
    Add({Logon("alice", "3"), Logoff("carol")});
    EXPECT_EQ(TipAt(RowPoint(0)), "ネットワーク");
    EXPECT_EQ(TipAt(RowPoint(1)), "");  // a logoff has no logon type
    EXPECT_EQ(TipAt(RowPoint(0)), "ネットワーク");
    EXPECT_EQ(TipAt(BelowRows()), "");
}

TEST_F(KestrelViewTest, TooltipAppearsOnlyWhileRelayingIsOn) {
    Add({Logon("alice", "2")});
    POINT at = RowPoint(0);
    ::ClientToScreen(list, &at);
    HWND tip = view.GetToolTipWindow();
    auto pointAtRow = [&] {
        ::SetCursorPos(at.x, at.y);
        ::PostMessageA(list, WM_MOUSEMOVE, 0, MAKELPARAM(RowPoint(0).x, RowPoint(0).y));
        return PumpUntil([&] { return ::IsWindowVisible(tip) != FALSE; }, 3000);
    };

    ::SetForegroundWindow(*frame);  // tips show in the active window only
    ::SetActiveWindow(*frame);
    settings.DontShowMessageToolTip = 1;
    EXPECT_FALSE(pointAtRow());
    settings.DontShowMessageToolTip = 0;
    EXPECT_TRUE(pointAtRow());
}

TEST_F(KestrelViewTest, PositionTextAfterClicksAndKeys) {
    ::SendMessageA(list, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(frame->MessageText(), "0/0");  // empty list

    Add({Logon("a", "2"), Logon("b", "2"), Logon("c", "2")});
    Click(BelowRows());
    EXPECT_EQ(frame->MessageText(), "0/3");
    Click(RowPoint(2));
    EXPECT_EQ(frame->MessageText(), "3/3");
    EXPECT_EQ(Selected(), 2);

    ::SendMessageA(list, WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(frame->MessageText(), "2/3");
    EXPECT_EQ(Selected(), 1);

    // A double-click is not the list's: the selection stays.
    const POINT first = RowPoint(0);
    ::SendMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(first.x, first.y));
    EXPECT_EQ(Selected(), 1);
    // Adding rows leaves the text alone.
    Add({Logon("d", "2")});
    EXPECT_EQ(frame->MessageText(), "2/3");
}

TEST_F(KestrelViewTest, RepeatedInitialUpdateAddsAColumnSetInFront) {
    HWND firstTip = view.GetToolTipWindow();
    ::SendMessageA(list, WM_INITIALUPDATE, 0, 0);

    const std::vector<std::string> set{"",         "時刻",           "ログオン",   "ログオフ",
                                       "ユーザ名", "コンピュータ名", "イベントID", "タイプ"};
    std::vector<std::string> twice = set;
    twice.insert(twice.end(), set.begin(), set.end());
    EXPECT_EQ(Headings(), twice);
    EXPECT_NE(view.GetToolTipWindow(), firstTip);
    EXPECT_TRUE(::IsWindow(firstTip));  // stays with the view
    EXPECT_EQ(ListView_GetImageList(list, LVSIL_SMALL), view.GetImageList());

    // A run fills the newer set; colour and tooltip read it.
    Add({FailedLogon("bob")});
    EXPECT_EQ(Cell(0, 2), "ログオン失敗");
    EXPECT_EQ(Cell(0, 10), "");
    NMLVCUSTOMDRAW draw;
    Draw(CDDS_ITEMPREPAINT, 0, draw);
    EXPECT_EQ(draw.clrTextBk, RGB(255, 0, 0));
    EXPECT_EQ(TipAt(RowPoint(0)), "ネットワーク");
}

}  // namespace
}  // namespace kestrel::testing
