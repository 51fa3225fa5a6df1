// Runs started by the Start command in the test process, with fake services:
// the table filled from the worker thread, the report dialog on that thread,
// what the user may and may not do meanwhile, and closing during a run.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <utility>
#include <vector>

#include "computers/left_view.h"
#include "framework/bars.h"
#include "framework/splitter.h"
#include "resources/resource.h"
#include "results/kestrel_view.h"
#include "shell/report_dlg.h"
#include "tests/fakes/run_report_texts.h"
#include "tests/win/app/app_support.h"

namespace kestrel::testing {
namespace {

constexpr char kStartDialog[] = "ログオン情報収集の開始";
constexpr char kReportDialog[] = "結果";

std::string ReportText(HWND dialog) {
    HWND box = ::GetDlgItem(dialog, IDC_REPORT_TEXT);
    std::string text(static_cast<std::size_t>(::GetWindowTextLengthA(box)) + 1, '\0');
    ::GetWindowTextA(box, text.data(), static_cast<int>(text.size()));
    text.pop_back();
    return text;
}

std::string FileContents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string TempFile(const char* name, const char* contents) {
    const std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

class RunTest : public AppSuite {
protected:
    // localhost and SV01 with logons and logoffs; PC02 between them has no
    // log and fails.
    void SetUp() override {
        const std::time_t now = std::time(nullptr);
        auto& localhost = fakes->eventLog.At("\\\\localhost").records;
        localhost = {BuildRecord(LogonRecord(4624, "tanaka", now - 600, "2")),
                     BuildRecord(LogonRecord(4634, "suzuki", now - 1200)),
                     BuildRecord(LogonRecord(4624, "SYSTEM", now - 1300))};
        auto& sv01 = fakes->eventLog.At("\\\\SV01").records;
        sv01 = {BuildRecord(LogonRecord(4625, "administrator", now - 300)),
                BuildRecord(LogonRecord(4624, "sato", now - 900, "3"))};
        times = {now - 600, now - 1200, now - 300, now - 900};
        if (Frame().GetLeftPane()->GetItemCount() == 2) {
            CLeftView& tree = *Frame().GetLeftPane();
            tree.AppendComputer(tree.m_hRootItem, "PC02");
            tree.AppendComputer(tree.m_hRootItem, "SV01");
        }
    }

    // Start with the dialog accepted; returns the report dialog the worker opens.
    HWND StartUntilReport() {
        DialogAnswerer dialogs;
        dialogs.commands[kStartDialog] = {IDOK};
        Frame().Send(WM_COMMAND, ID_START_COLLECTION);
        EXPECT_EQ(dialogs.shown, std::vector<std::string>{kStartDialog});
        // The command is back while the run goes on.
        EXPECT_TRUE(Frame().IsRunning());
        HWND report = nullptr;
        EXPECT_TRUE(
            PumpApp([&] { return (report = FindOtherThreadWindow(kReportDialog)) != nullptr; }, 15000));
        return report;
    }

    void CloseReportAndFinish(HWND report) {
        ::PostMessageA(report, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(PumpApp([&] { return !Frame().IsRunning(); }, 15000));
    }

    HWND List() { return *Frame().GetRightPane(); }

    std::vector<std::time_t> times;
};

TEST_F(RunTest, WholeRunFillsTheTableFromTheWorkerAndReportsAFailure) {
    HWND report = StartUntilReport();
    ASSERT_NE(report, nullptr);
    // Unowned, on the worker thread, with the report up to the failure.
    EXPECT_EQ(::GetWindow(report, GW_OWNER), nullptr);
    EXPECT_EQ(ReportText(report), kReportUpToFailure);
    EXPECT_EQ(RowCount(List()), 2);
    HANDLE worker = ::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE,
                                 ::GetWindowThreadProcessId(report, nullptr));
    ASSERT_NE(worker, nullptr);
    EXPECT_EQ(::GetThreadPriority(worker), THREAD_PRIORITY_ABOVE_NORMAL);

    CloseReportAndFinish(report);
    DWORD exitCode = 0;
    EXPECT_EQ(::WaitForSingleObject(worker, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    ::GetExitCodeThread(worker, &exitCode);
    EXPECT_EQ(exitCode, 1u);
    ::CloseHandle(worker);
    EXPECT_EQ(app->RunReport, kReportUpToFailure + kReportAfterFailure);
    EXPECT_TRUE(FindOtherThreadWindow(kReportDialog) == nullptr);

    struct Expected {
        const char* kind;
        int kindColumn;
        const char* user;
        const char* id;
        const char* type;
    };
    const Expected rows[] = {{"ログオン", 2, "tanaka", "4624", "ローカル"},
                             {"ログオフ", 3, "suzuki", "4634", ""},
                             {"ログオン失敗", 2, "administrator", "4625", "ネットワーク"},
                             {"ログオン", 2, "sato", "4624", "ネットワーク"}};
    ASSERT_EQ(RowCount(List()), 4);
    for (int k = 0; k < 4; ++k) {
        const Expected& row = rows[k];
        EXPECT_EQ(CellText(List(), k, 1), TimeText(times[static_cast<std::size_t>(k)])) << k;
        EXPECT_EQ(CellText(List(), k, row.kindColumn), row.kind) << k;
        EXPECT_EQ(CellText(List(), k, 4), row.user) << k;
        EXPECT_EQ(CellText(List(), k, 5), "DOM") << k;
        EXPECT_EQ(CellText(List(), k, 6), row.id) << k;
        EXPECT_EQ(CellText(List(), k, 7), row.type) << k;
    }
}

TEST_F(RunTest, WhileARunWaitsTheUserMayWorkButNotStartAgain) {
    const std::string opened = TempFile("kestrel-opened.txt", "keep");
    HWND report = StartUntilReport();
    ASSERT_NE(report, nullptr);

    {
        // A second Start is refused, with no start dialog.
        DialogAnswerer dialogs;
        Frame().Send(WM_COMMAND, ID_START_COLLECTION);
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        ExpectCaution(dialogs.boxes[0], "ｲﾍﾞﾝﾄﾛｸﾞの取得中です。取得が終わってから開始してください。",
                      Frame());
        EXPECT_TRUE(dialogs.shown.empty());
    }

    // Open, new and delete renew the windows the run writes to.
    app->chosenFile = opened;
    Frame().Send(WM_COMMAND, ID_FILE_OPEN);
    EXPECT_EQ(WindowText(Frame()), "kestrel-opened.txt - kestrel");
    Frame().Send(WM_COMMAND, ID_FILE_NEW);
    EXPECT_EQ(WindowText(Frame()), "無題 - kestrel");
    Frame().Send(WM_COMMAND, ID_DELETE_COMPUTER);
    EXPECT_EQ(RowCount(List()), 2);

    // The run goes on with the names it took at its start, and every row it
    // adds afterwards arrives whole.
    CloseReportAndFinish(report);
    EXPECT_EQ(app->RunReport, kReportUpToFailure + kReportAfterFailure);
    ASSERT_EQ(RowCount(List()), 4);
    EXPECT_EQ(CellText(List(), 2, 2), "ログオン失敗");
    EXPECT_EQ(CellText(List(), 2, 4), "administrator");
    EXPECT_EQ(CellText(List(), 3, 4), "sato");
    EXPECT_EQ(CellText(List(), 3, 7), "ネットワーク");
    EXPECT_EQ(FileContents(opened), "keep");
    std::remove(opened.c_str());
}

TEST_F(RunTest, SavingNeverEmptiesAnOpenedFileUnasked) {
    const std::string opened = TempFile("kestrel-keep.txt", "keep");
    const std::string saved = TempFile("kestrel-new.txt", "");
    std::remove(saved.c_str());

    // A new document asks for a name and writes an empty file.
    Frame().Send(WM_COMMAND, ID_FILE_NEW);
    app->chosenFile = saved;
    app->prompts.clear();
    Frame().Send(WM_COMMAND, ID_FILE_SAVE);
    EXPECT_EQ(app->prompts, std::vector<std::string>{"save"});
    EXPECT_EQ(::GetFileAttributesA(saved.c_str()) != INVALID_FILE_ATTRIBUTES, true);
    EXPECT_EQ(FileContents(saved), "");
    EXPECT_EQ(WindowText(Frame()), "kestrel-new.txt - kestrel");

    // An opened file: replaced only after a yes.
    app->chosenFile = opened;
    Frame().Send(WM_COMMAND, ID_FILE_OPEN);
    DialogAnswerer answerer;
    answerer.answer = IDNO;
    Frame().Send(WM_COMMAND, ID_FILE_SAVE);
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].caption, "確認");
    EXPECT_NE(answerer.boxes[0].text.find(opened), std::string::npos);
    EXPECT_EQ(FileContents(opened), "keep");
    answerer.answer = IDYES;
    Frame().Send(WM_COMMAND, ID_FILE_SAVE);
    EXPECT_EQ(answerer.boxes.size(), 2u);
    EXPECT_EQ(FileContents(opened), "");
    std::remove(opened.c_str());
    std::remove(saved.c_str());
}

// 開始 > 失敗したｺﾝﾋﾟｭｰﾀをまとめて報告, off in a new frame.
class GatherTest : public RunTest {};

TEST_F(GatherTest, FailedComputersAreReportedOnceAtTheEnd) {
    EXPECT_EQ(MenuItemState(ID_GATHER_FAILURES) & MF_CHECKED, 0u);
    Frame().Send(WM_COMMAND, ID_GATHER_FAILURES);
    EXPECT_EQ(MenuItemState(ID_GATHER_FAILURES) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
    CLeftView& tree = *Frame().GetLeftPane();
    tree.AppendComputer(tree.m_hRootItem, "PC03");  // fails too
    HWND report = StartUntilReport();
    ASSERT_NE(report, nullptr);
    // Only after the last computer, and whole: a second report would keep the run going.
    EXPECT_EQ(ReportText(report), kReportUpToFailure + kReportAfterFailure +
                                      "確認:(PC03)ｾｷｭﾘﾃｨﾛｸﾞの取得を開始します。\r\n"
                                      "ｴﾗｰ 002:[\\\\PC03][security]:ｲﾍﾞﾝﾄのｵｰﾌﾟﾝに失敗しました。\r\n"
                                      "原因 003:text of 1722\r\n"
                                      "失敗:(PC03)ｾｷｭﾘﾃｨﾛｸﾞの取得に失敗しました。\r\n");
    CloseReportAndFinish(report);
    EXPECT_EQ(StatusBarText(Frame()), "完了: 4 台 (失敗 2 台), 4 行");
}

// 開始 > 取得を中止 while SV01 is read, PC02's failure held back for the end.
class StopTest : public RunTest {};

TEST_F(StopTest, StoppedRunKeepsItsRowsWritesOneLineAndOpensNoReport) {
    auto& sv01 = fakes->eventLog.At("\\\\SV01").records;
    for (int k = 0; k < 20000; ++k) sv01.push_back(BuildRecord(LogonRecord(4624, "user", times[0] - k)));
    Frame().GetRunControl().gatherFailures = true;
    DialogAnswerer dialogs;
    dialogs.commands[kStartDialog] = {IDOK};
    Frame().Send(WM_COMMAND, ID_START_COLLECTION);
    ASSERT_TRUE(PumpApp([&] { return RowCount(List()) >= 50; }, 15000));
    Frame().Send(WM_COMMAND, ID_STOP_COLLECTION);
    ASSERT_TRUE(PumpApp([&] { return !Frame().IsRunning(); }, 15000));
    sv01.clear();
    EXPECT_EQ(app->RunReport, kReportUpToFailure +
                                  "確認:(SV01)ｾｷｭﾘﾃｨﾛｸﾞの取得を開始します。\r\n"
                                  "確認:ｲﾍﾞﾝﾄﾛｸﾞの取得を中止しました。\r\n");
    EXPECT_EQ(FindOtherThreadWindow(kReportDialog), nullptr);
    const int rows = RowCount(List());
    EXPECT_LT(rows, 20000);
    EXPECT_EQ(StatusBarText(Frame()), "中止: 3/3 台 (失敗 1 台), " + std::to_string(rows) + " 行");
}

TEST(ReportDialog, ShowsTheReportAsItWasAndCopiesAllOfIt) {
    std::string report;
    for (int k = 0; k < 300; ++k)
        report += "確認:(PC" + std::to_string(k) + ")ｾｷｭﾘﾃｨﾛｸﾞの取得を開始します。\r\n";
    const std::string shown = report;
    CReportDlg dialog(report);
    std::string clipboard;
    RunModal(dialog, [&](HWND window) {
        EXPECT_EQ(WindowText(window), "結果");
        EXPECT_EQ(WindowText(::GetDlgItem(window, IDC_REPORT_COPY)), "コピー");
        EXPECT_EQ(WindowText(::GetDlgItem(window, IDOK)), "閉じる");
        EXPECT_EQ(ReportText(window), shown);
        report += "later\r\n";  // the open dialog keeps what it showed
        Click(window, IDC_REPORT_COPY);
        EXPECT_EQ(ReportText(window), shown);
        EXPECT_TRUE(::IsWindowVisible(window));  // copying leaves it open
        if (::OpenClipboard(window)) {
            if (HANDLE data = ::GetClipboardData(CF_TEXT)) {
                clipboard = static_cast<const char*>(::GlobalLock(data));
                ::GlobalUnlock(data);
            }
            ::CloseClipboard();
        }
        Click(window, IDOK);
    });
    EXPECT_EQ(clipboard, shown);

    const std::string empty;
    CReportDlg nothing(empty);
    RunModal(nothing, [&](HWND window) {
        EXPECT_EQ(ReportText(window), "");
        Click(window, IDOK);
    });
}

class CloseTest : public AppSuite {};

TEST_F(CloseTest, ClosingDuringABusyReadStopsTheRunAndEnds) {
    const std::time_t now = std::time(nullptr);
    auto& records = fakes->eventLog.At("\\\\localhost").records;
    for (int k = 0; k < 20000; ++k) records.push_back(BuildRecord(LogonRecord(4624, "user", now - 60 - k)));
    DialogAnswerer dialogs;
    dialogs.commands[kStartDialog] = {IDOK};
    Frame().Send(WM_COMMAND, ID_START_COLLECTION);
    HWND list = *Frame().GetRightPane();
    ASSERT_TRUE(PumpApp([&] { return RowCount(list) >= 50; }, 15000));

    const DWORD start = ::GetTickCount();
    Frame().Send(WM_CLOSE);
    EXPECT_LT(::GetTickCount() - start, 10000u);  // Wine hides windows slowly with no window manager
    EXPECT_EQ(AfxGetMainFrame(), nullptr);        // the window is gone and the worker with it
    EXPECT_EQ(app->RunReport.find("ｾｷｭﾘﾃｨｲﾍﾞﾝﾄﾛｸﾞの取得を終了しました"), std::string::npos);
    EXPECT_EQ(fakes->eventLog.openHandles, 0);
    EXPECT_TRUE(fakes->memory.live.empty());
    records.clear();
    ReopenFrame();
}

// A click on a toolbar button, as the mouse gives it.
void ClickButton(CToolBar& bar, int index) {
    RECT button{};
    bar.Send(TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&button));
    const LPARAM at = MAKELPARAM((button.left + button.right) / 2, (button.top + button.bottom) / 2);
    HWND toolbar = bar;  // the click may take the toolbar's window away
    ::SendMessageA(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageA(toolbar, WM_LBUTTONUP, 0, at);
}

TEST_F(CloseTest, ExitWhileTheWorkerShowsItsReportEndsBoth) {
    CLeftView& tree = *Frame().GetLeftPane();
    tree.AppendComputer(tree.m_hRootItem, "PC02");  // fails: no log
    tree.AppendComputer(tree.m_hRootItem, "SV01");
    fakes->eventLog.At("\\\\SV01")
        .records.push_back(BuildRecord(LogonRecord(4624, "sato", std::time(nullptr))));
    DialogAnswerer dialogs;
    dialogs.commands[kStartDialog] = {IDOK};
    ClickButton(Frame().GetToolBar(), 0);  // Start
    ASSERT_EQ(dialogs.shown, std::vector<std::string>{kStartDialog});
    ASSERT_TRUE(PumpApp([&] { return FindOtherThreadWindow(kReportDialog) != nullptr; }, 15000));

    const DWORD start = ::GetTickCount();
    ClickButton(Frame().GetToolBar(), 2);         // Exit
    EXPECT_LT(::GetTickCount() - start, 10000u);  // Wine hides windows slowly with no window manager
    EXPECT_EQ(AfxGetMainFrame(), nullptr);
    EXPECT_EQ(FindOtherThreadWindow(kReportDialog), nullptr);
    EXPECT_EQ(app->RunReport.find("(SV01)"), std::string::npos);  // stopped before the next computer
}

// The list's pixels as the screen has them, its header and frame too.
std::vector<DWORD> ShownPixels(HWND list) {
    RECT rect{};
    ::GetWindowRect(list, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = ::GetWindowDC(list), memory = ::CreateCompatibleDC(screen);
    HBITMAP picture = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, picture);
    ::BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    ::SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<DWORD> pixels(static_cast<std::size_t>(width * height));
    ::GetDIBits(memory, picture, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    ::DeleteObject(picture);
    ::DeleteDC(memory);
    ::ReleaseDC(list, screen);
    return pixels;
}

class RedrawTest : public RunTest {};

// Once a run filled it, the table shows what a fresh paint shows, however its pane moved.
TEST_F(RedrawTest, MovedTableShowsWhatAFreshPaintShows) {
    CloseReportAndFinish(StartUntilReport());
    CSplitterWnd& splitter = Frame().GetSplitter();
    const auto drag = [&](int by) {
        const RECT bar = splitter.GetBarRect(0);
        splitter.Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(bar.left + 2, bar.bottom / 2));
        splitter.Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(bar.left + 2 + by, bar.bottom / 2));
        splitter.Send(WM_LBUTTONUP, 0, MAKELPARAM(bar.left + 2 + by, bar.bottom / 2));
    };
    const auto dock = [&](DWORD side) { Frame().DockControlBar(&Frame().GetToolBar(), side); };
    const std::pair<const char*, std::function<void()>> moves[] = {
        {"splitter right", [&] { drag(60); }},
        {"splitter left", [&] { drag(-90); }},
        {"toolbar left", [&] { dock(CBRS_ALIGN_LEFT); }},
        {"toolbar top", [&] { dock(CBRS_ALIGN_TOP); }}};
    for (const auto& [what, move] : moves) {
        move();
        Settle();
        ::UpdateWindow(Frame());
        const std::vector<DWORD> shown = ShownPixels(List());
        ::RedrawWindow(List(), nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        EXPECT_TRUE(shown == ShownPixels(List())) << what;
    }
}

}  // namespace
}  // namespace kestrel::testing
