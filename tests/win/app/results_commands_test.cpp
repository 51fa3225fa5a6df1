// The result table's copy and CSV save, the run's progress in the status bar,
// and the folder of exported logs chosen in the window: in the test process,
// first over fake services, then over a sample site read from its files.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "computers/left_view.h"
#include "computers/list_file_dialogs.h"
#include "computers/list_file_win32.h"
#include "framework/bars.h"
#include "engine/classification.h"
#include "resources/resource.h"
#include "results/kestrel_view.h"
#include "analysis/event_description.h"
#include "tests/fakes/output_checks.h"
#include "tests/win/app/app_support.h"
#include "tools/hostile_site.h"
#include "tools/sample_site.h"
#include "tools/site_files.h"

namespace kestrel::testing {
namespace {

constexpr char kStartDialog[] = "ログオン情報収集の開始";
constexpr char kReportDialog[] = "結果";
constexpr char kHeading[] =
    "ｺﾝﾋﾟｭｰﾀ\t時刻\tログオン\tログオフ\tユーザ名\tコンピュータ名\tイベントID\tタイプ\r\n";
constexpr char kSaveFailed[] = "結果をCSVﾌｧｲﾙに保存できませんでした。";

std::string FileContents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::wstring Wide(const std::string& text, UINT codePage) {
    const int size =
        ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage) {
    const int size = ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                           0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr,
                          nullptr);
    return text;
}

void PutOnClipboard(const char* text) {
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, std::strlen(text) + 1);
    std::memcpy(::GlobalLock(block), text, std::strlen(text) + 1);
    ::GlobalUnlock(block);
    ::SetClipboardData(CF_TEXT, block);
    ::CloseClipboard();
}

bool MenuItemEnabled(UINT id) { return (MenuItemState(id) & (MF_GRAYED | MF_DISABLED)) == 0; }
bool CopyEnabled() { return MenuItemEnabled(ID_EDIT_COPY); }

std::string StatusText() { return AfxGetMainFrame()->GetStatusBar()->GetPaneText(0); }

// Rows as a run would add them: texts of columns 1 to 7 and the computer.
void AddRow(CKestrelView& view, const char* computer, const std::vector<const char*>& texts) {
    const int index = static_cast<int>(view.Send(LVM_GETITEMCOUNT));
    LVITEMA item{};
    item.iItem = index;
    view.Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    view.Send(WM_KESTREL_ROW_COMPUTER, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(computer));
    for (std::size_t k = 0; k < texts.size(); ++k) {
        LVITEMA cell{};
        cell.iSubItem = static_cast<int>(k) + 1;
        cell.pszText = const_cast<char*>(texts[k]);
        view.Send(LVM_SETITEMTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&cell));
    }
}

void SelectNone(HWND list) {
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED;
    ::SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
}

void SelectOnly(HWND list, int row) {
    SelectNone(list);
    LVITEMA item{};
    item.stateMask = item.state = LVIS_SELECTED;
    ::SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

// Answers the folder dialog with a fixed folder, and the save dialog with a
// fixed name or else through the system's.
class FixedAnswers final : public FrameDialogs {
public:
    std::string AskResultsFileName(HWND owner) override {
        return fileName.empty() ? SystemFrameDialogs().AskResultsFileName(owner) : fileName;
    }
    std::string AskLogFolder(HWND, const std::string& current) override {
        shownFolder = current;
        return folder;
    }
    std::string fileName;
    std::string folder;
    std::string shownFolder;  // what the last folder dialog opened at
};

class ResultCommandsTest : public AppSuite {
protected:
    // localhost and SV01 with rows; PC02 between them has no log and fails.
    void SetUp() override {
        const std::time_t now = std::time(nullptr);
        fakes->eventLog.At("\\\\localhost").records = {
            BuildRecord(LogonRecord(4624, "tanaka", now - 600, "2")),
            BuildRecord(LogonRecord(4634, "suzuki", now - 1200))};
        fakes->eventLog.At("\\\\SV01").records = {BuildRecord(LogonRecord(4625, "administrator", now - 300))};
        times = {now - 600, now - 1200, now - 300};
        CLeftView& tree = *Frame().GetLeftPane();
        if (tree.GetItemCount() == 2) {
            tree.AppendComputer(tree.m_hRootItem, "PC02");
            tree.AppendComputer(tree.m_hRootItem, "SV01");
        }
    }

    CKestrelView& View() { return *Frame().GetRightPane(); }

    // A whole run; the progress text is noted while PC02's report is up.
    void RunAll(std::string& progressDuringReport) {
        DialogAnswerer dialogs;
        dialogs.commands[kStartDialog] = {IDOK};
        Frame().Send(WM_COMMAND, ID_START_COLLECTION);
        HWND report = nullptr;
        ASSERT_TRUE(
            PumpApp([&] { return (report = FindOtherThreadWindow(kReportDialog)) != nullptr; }, 15000));
        progressDuringReport = StatusText();
        ::PostMessageA(report, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(PumpApp([&] { return !Frame().IsRunning(); }, 15000));
    }

    std::vector<std::time_t> times;
};

TEST_F(ResultCommandsTest, ProgressShowsDuringTheRunAndCopyGivesSelectedRowsWithTheirComputer) {
    std::string progress;
    RunAll(progress);
    EXPECT_EQ(progress, "(PC02) 2/3");
    EXPECT_EQ(Frame().GetProgressText(), "");
    EXPECT_EQ(StatusText(), "完了: 3 台 (失敗 1 台), 3 行") << "what the run did, in place of its progress";
    ASSERT_EQ(RowCount(View()), 3);
    EXPECT_EQ(View().GetRowComputer(0), "localhost");
    EXPECT_EQ(View().GetRowComputer(2), "SV01");

    // Nothing selected, or the tree active: no copy, the clipboard untouched.
    PutOnClipboard("before");
    Frame().SetActiveView(&View());
    SelectNone(View());
    EXPECT_FALSE(CopyEnabled());
    PressKey(View(), 'C', true);
    EXPECT_EQ(ReadClipboard().ansi, "before");
    SelectOnly(View(), 2);
    Frame().SetActiveView(Frame().GetLeftPane());
    EXPECT_FALSE(CopyEnabled());
    Frame().Send(WM_COMMAND, ID_EDIT_COPY);
    EXPECT_EQ(ReadClipboard().ansi, "before");

    // One row by Ctrl+Insert: the heading, then the row, computer first.
    Frame().SetActiveView(&View());
    EXPECT_TRUE(CopyEnabled());
    PressKey(View(), VK_INSERT, true);
    const std::string failed =
        "SV01\t\"" + TimeText(times[2]) + "\"\tログオン失敗\t\tadministrator\tDOM\t4625\tネットワーク\r\n";
    ClipboardTexts copied = ReadClipboard();
    EXPECT_EQ(copied.ansi, kHeading + failed);
    EXPECT_EQ(copied.unicode, Wide(kHeading + failed, 932));

    // Ctrl+A takes every row; Ctrl+C copies them in table order.
    PressKey(View(), 'A', true);
    EXPECT_EQ(static_cast<int>(View().Send(LVM_GETSELECTEDCOUNT)), 3);
    EXPECT_EQ(StatusText(), "1/3");
    PressKey(View(), 'C', true);
    copied = ReadClipboard();
    const std::string all =
        kHeading +
        ("localhost\t\"" + TimeText(times[0]) + "\"\tログオン\t\ttanaka\tDOM\t4624\tローカル\r\n") +
        ("localhost\t\"" + TimeText(times[1]) + "\"\t\tログオフ\tsuzuki\tDOM\t4634\t\r\n") + failed;
    EXPECT_EQ(copied.ansi, all);
    EXPECT_EQ(copied.unicode, Wide(all, 932));

    // A key that moves the selection leaves one row selected again.
    PressKey(View(), VK_DOWN);
    EXPECT_EQ(static_cast<int>(View().Send(LVM_GETSELECTEDCOUNT)), 1);
    EXPECT_TRUE(::GetWindowLongA(View(), GWL_STYLE) & LVS_SINGLESEL);

    // A new run empties the computers beside the rows with the rows.
    RunAll(progress);
    ASSERT_EQ(RowCount(View()), 3);
    EXPECT_EQ(View().GetRowComputer(2), "SV01");
    EXPECT_EQ(View().GetRowComputer(3), "");
}

TEST_F(ResultCommandsTest, CsvQuotesWhatMustBeQuotedAndAFailedSaveKeepsTheOldFile) {
    View().Send(LVM_DELETEALLITEMS);
    AddRow(View(), "PC,01",
           {"2024/03/14 09:00:00  ", "ログオン", "", "a\"b", "表示", "4624", "ネットワーク"});
    AddRow(View(), "SV01", {"x", "", "ログオフ", "line\r\nbreak", "", "4634", ""});
    const std::string path = TempPath("kestrel-results.csv");
    std::remove(path.c_str());

    // Ctrl+E in the system's save dialog; the name typed gets ".csv".
    {
        DialogAnswerer dialogs;
        dialogs.fileNames = {path.substr(0, path.size() - 4)};
        PressKey(View(), 'E', true);
        ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
        EXPECT_TRUE(dialogs.boxes.empty());
    }
    const std::string expected =
        "ｺﾝﾋﾟｭｰﾀ,時刻,ログオン,ログオフ,ユーザ名,コンピュータ名,イベントID,タイプ\r\n"
        "\"PC,01\",\"2024/03/14 09:00:00  \",ログオン,,\"a\"\"b\",表示,4624,ネットワーク\r\n"
        "SV01,x,,ログオフ,\"line\r\nbreak\",,4634,\r\n";
    EXPECT_EQ(FileContents(path), expected);

    // A folder that does not exist: the message, and no file anywhere.
    const std::string missing = TempPath("kestrel-no-such-folder\\results.csv");
    FixedAnswers answers;
    answers.fileName = missing;
    Frame().SetDialogs(&answers);
    {
        DialogAnswerer dialogs;
        Frame().Send(WM_COMMAND, ID_SAVE_RESULTS_CSV);
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_EQ(dialogs.boxes[0].text.rfind(kSaveFailed, 0), 0u) << dialogs.boxes[0].text;
        ExpectCaution(dialogs.boxes[0], dialogs.boxes[0].text.c_str(), Frame());
    }
    Frame().SetDialogs(nullptr);
    EXPECT_EQ(::GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);

    // A read-only file: asked to be replaced, refused, and left as it was,
    // with no temporary file beside it.
    const auto temporaries = [&path] {
        std::vector<std::string> names;
        for (const auto& entry :
             std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("kst", 0) == 0 && entry.path().extension() == ".tmp") names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> before = temporaries();
    View().Send(LVM_DELETEALLITEMS);
    ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    {
        DialogAnswerer dialogs;
        dialogs.answers = {IDYES};  // the save dialog's question
        dialogs.fileNames = {path};
        Frame().Send(WM_COMMAND, ID_SAVE_RESULTS_CSV);
        ASSERT_FALSE(dialogs.boxes.empty());
        const DialogAnswerer::Box& last = dialogs.boxes.back();
        EXPECT_EQ(last.text.rfind(kSaveFailed, 0), 0u) << last.text;
        ExpectCaution(last, last.text.c_str(), Frame());
    }
    EXPECT_EQ(FileContents(path), expected);
    EXPECT_EQ(temporaries(), before) << "a temporary file was left";
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::remove(path.c_str());
}

class SiteListDialogs final : public ListFileDialogs {
public:
    std::string AskSaveName(HWND) override { return {}; }
    std::string AskImportName(HWND) override { return name; }
    std::string name;
};

// The program's own services over a sample site's exported logs, chosen in
// the window; the list comes from the site's list file.
class OfflineWindowTest : public AppSuite {
protected:
    static void SetUpTestSuite() {
        AppSuite::SetUpTestSuite();
        site = TempPath("kestrel-window-site-") + std::to_string(::GetCurrentProcessId());
        end = std::time(nullptr);
        std::string error;
        ASSERT_TRUE(sample::WriteSiteFiles(sample::MakeSite(end, 3), site, error)) << error;
        const std::time_t fromTime = end - 7 * 24 * 60 * 60;
        std::strftime(from, sizeof from, "%Y/%m/%d", std::localtime(&fromTime));
    }
    static void TearDownTestSuite() {
        AppSuite::TearDownTestSuite();
        std::error_code ignored;
        std::filesystem::remove_all(site, ignored);
    }

    // The generator's rows inside the start dialog's dates, as CP932 CSV lines.
    static std::vector<std::string> ExpectedLines() {
        std::istringstream in(FileContents(site + "\\expected_rows.csv"));
        std::vector<std::string> lines;
        std::string line;
        std::getline(in, line);  // its own heading
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const std::string cp932 = Narrow(Wide(line, CP_UTF8), 932);
            const std::size_t time = cp932.find(",\"") + 2;
            if (cp932.compare(time, 10, from) >= 0) lines.push_back(cp932);
        }
        return lines;
    }

    // The program's own services, the folder dialog answering folder, and the
    // computers of listFile in the tree in place of its list.
    void UseOwnServices(const std::string& folder, const std::string& listFile) {
        app->m_pRunServices = nullptr;
        folders.folder = folder;
        Frame().SetDialogs(&folders);
        lists.name = listFile;
        Frame().GetLeftPane()->SetListFileServices(lists, files);
        DialogAnswerer dialogs;
        dialogs.answers = {IDYES};  // replace the list
        Frame().SetActiveView(Frame().GetLeftPane());
        PressKey(*Frame().GetLeftPane(), 'R', true);
    }
    // A run of the program over the site's logs of these computers, ended.
    void ReadSite(const std::vector<std::string>& computers) {
        const std::string list = site + "\\computers.lst";
        std::ofstream out(list, std::ios::binary);
        for (const std::string& name : computers) out << name << "\r\n";
        out.close();
        UseOwnServices(site, list);
        Frame().Send(WM_COMMAND, ID_OFFLINE_LOG_FOLDER);
        DialogAnswerer dialogs;
        dialogs.commands[kStartDialog] = {IDOK};
        Frame().Send(WM_COMMAND, ID_START_COLLECTION);
        ASSERT_TRUE(PumpApp([&] { return !Frame().IsRunning(); }, 60000));
        Frame().Send(WM_COMMAND, ID_EVENT_LOG_SERVICE);
    }
    void TearDown() override {
        Frame().SetDialogs(nullptr);
        app->m_pRunServices = services;
    }

    static inline std::string site;
    static inline std::time_t end = 0;
    static inline char from[16] = {};
    FixedAnswers folders;
    SiteListDialogs lists;
    Win32ListFileSystem files;
};

TEST_F(OfflineWindowTest, FolderChosenInTheWindowFeedsTheNextRunAndTheCsvHoldsItsRows) {
    UseOwnServices(site, site + "\\site.lst");
    ASSERT_EQ(Frame().GetLeftPane()->GetItemCount(), 6);
    // localhost once more after PC02, read after the choice below changed.
    CLeftView& tree = *Frame().GetLeftPane();
    tree.AppendComputer(tree.m_hRootItem, "localhost");
    ASSERT_FALSE(Frame().GetOfflineFolder().has_value()) << "KESTREL_LOG_DIR is set for this test";
    EXPECT_EQ(WindowText(Frame()), "無題 - kestrel");
    Frame().Send(WM_COMMAND, ID_OFFLINE_LOG_FOLDER);
    EXPECT_EQ(WindowText(Frame()), "無題 - kestrel [ｵﾌﾗｲﾝ: " + site + "]");
    EXPECT_EQ(folders.shownFolder, "");
    Frame().Send(WM_COMMAND, ID_OFFLINE_LOG_FOLDER);
    EXPECT_EQ(folders.shownFolder, site) << "the dialog opens at the folder in use";

    DialogAnswerer dialogs;
    dialogs.commands[kStartDialog] = {IDOK};
    Frame().Send(WM_COMMAND, ID_START_COLLECTION);
    HWND report = nullptr;
    ASSERT_TRUE(PumpApp([&] { return (report = FindOtherThreadWindow(kReportDialog)) != nullptr; }, 60000));
    EXPECT_EQ(StatusText(), "(PC02) 5/6");
    // Back to the service now changes the next run only.
    Frame().Send(WM_COMMAND, ID_EVENT_LOG_SERVICE);
    EXPECT_EQ(WindowText(Frame()), "無題 - kestrel");
    ::PostMessageA(report, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(PumpApp([&] { return !Frame().IsRunning(); }, 60000));
    EXPECT_EQ(StatusText().rfind("完了: 6 台 (失敗 1 台), ", 0), 0u) << StatusText();

    std::vector<std::string> expected = ExpectedLines();
    ASSERT_GT(expected.size(), 20u);
    // The run kept its exported logs: localhost's rows come twice.
    for (std::size_t k = 0, n = expected.size(); k < n; ++k) {
        if (expected[k].rfind("localhost,", 0) == 0) expected.push_back(expected[k]);
    }
    ASSERT_EQ(RowCount(*Frame().GetRightPane()), static_cast<int>(expected.size()));

    const std::string path = site + "\\results.csv";
    dialogs.fileNames = {path};
    Frame().Send(WM_COMMAND, ID_SAVE_RESULTS_CSV);
    std::istringstream saved(FileContents(path));
    std::string line;
    std::getline(saved, line);
    EXPECT_EQ(line, "ｺﾝﾋﾟｭｰﾀ,時刻,ログオン,ログオフ,ユーザ名,コンピュータ名,イベントID,タイプ\r");
    for (const std::string& want : expected) {
        ASSERT_TRUE(std::getline(saved, line));
        EXPECT_EQ(line, want + "\r");
    }
    EXPECT_FALSE(std::getline(saved, line));
}

// A log an attacker wrote: the save and the copy give every formula as text
// and the longest names whole, and the rows after a backdated record are there.
TEST_F(OfflineWindowTest, HostileNamesLeaveTheTableAsTextAndWhole) {
    const std::string hostile = site + "\\hostile";  // goes with the site
    std::string error;
    ASSERT_TRUE(sample::WriteHostileSite(std::time(nullptr), hostile, error)) << error;
    UseOwnServices(hostile, hostile + "\\hostile.lst");
    ASSERT_EQ(Frame().GetLeftPane()->GetItemCount(), 2);
    Frame().Send(WM_COMMAND, ID_OFFLINE_LOG_FOLDER);
    DialogAnswerer dialogs;
    dialogs.commands[kStartDialog] = {IDOK};
    Frame().Send(WM_COMMAND, ID_START_COLLECTION);
    HWND report = nullptr;
    ASSERT_TRUE(PumpApp(
        [&] { return !Frame().IsRunning() || (report = FindOtherThreadWindow(kReportDialog)) != nullptr; },
        60000));
    ASSERT_EQ(report, nullptr) << "HOSTILE reads: no computer failed";
    Frame().Send(WM_COMMAND, ID_EVENT_LOG_SERVICE);
    dialogs.fileNames = {hostile + "\\results.csv"};
    Frame().Send(WM_COMMAND, ID_SAVE_RESULTS_CSV);
    Frame().SetActiveView(Frame().GetRightPane());
    PressKey(*Frame().GetRightPane(), 'A', true);
    PressKey(*Frame().GetRightPane(), 'C', true);
    std::string kana;  // 600 double-byte characters
    while (kana.size() < 1200) kana += "あ";
    // Each user as CSV, and tab-separated where that differs.
    const std::pair<std::string, std::string> users[] = {{R"x("'=HYPERLINK(""http://x"",""y"")")x", ""},
                                                         {"'+1+1", ""},
                                                         {"'-2+3", ""},
                                                         {"'@SUM(1)", ""},
                                                         {"'\t=1+1", "\"'\t=1+1\""},
                                                         {"\"'\r=1+1\"", ""},
                                                         {"-", ""},
                                                         {std::string(10000, 'A'), ""},
                                                         {kana, ""}};
    for (const auto& [text, separator] :
         {std::pair{FileContents(hostile + "\\results.csv"), ','}, std::pair{ReadClipboard().ansi, '\t'}}) {
        const auto cells = [&](const std::string& user) {
            return separator + user + separator + "KESTREL" + separator + "4625" + separator;
        };
        for (const auto& [csv, tabbed] : users) {
            const std::string& user = separator == '\t' && !tabbed.empty() ? tabbed : csv;
            EXPECT_NE(text.find(cells(user)), std::string::npos) << separator << user.substr(0, 30);
        }
        int guests = 0;  // npos + 1 ends the count
        for (std::size_t at = 0; (at = text.find(cells("guest"), at) + 1) != 0;) ++guests;
        EXPECT_EQ(guests, 14) << separator;
    }
}

// The details of a red row (Alt+Enter): where the failed logon came from and
// why, its message as the run made it, and 前へ and 次へ moving the table's
// selection.
TEST_F(OfflineWindowTest, DetailsOfARedRowSayWhereItCameFromAndWhy) {
    ReadSite({"SV01"});
    DialogAnswerer dialogs;
    CKestrelView& view = *Frame().GetRightPane();
    int red = 0;
    while (red < view.GetRowCount() && view.GetCellText(red, kColumnLogon) != "ログオン失敗") ++red;
    ASSERT_LT(red + 1, view.GetRowCount());
    view.SelectRow(red);
    ASSERT_TRUE(MenuItemEnabled(ID_EVENT_DETAILS));

    std::map<int, std::string> shown;
    std::string nextUser, copied;
    dialogs.scripts["ｲﾍﾞﾝﾄの詳細"] = [&](HWND dialog) {
        for (int id = IDC_DETAIL_COMPUTER; id <= IDC_DETAIL_MESSAGE; ++id)
            shown[id] = WindowText(GetDlgItem(dialog, id));
        Click(dialog, IDC_DETAIL_NEXT);
        nextUser = WindowText(GetDlgItem(dialog, IDC_DETAIL_USER));
        EXPECT_EQ(view.GetSelectedRow(), red + 1);
        Click(dialog, IDC_DETAIL_PREVIOUS);
        Click(dialog, IDC_DETAIL_COPY);
        copied = ReadClipboard().ansi;
    };
    dialogs.commands["ｲﾍﾞﾝﾄの詳細"] = {IDOK};
    PressKey(view, VK_RETURN, false, false, true);
    ASSERT_EQ(dialogs.shown, (std::vector<std::string>{"ｲﾍﾞﾝﾄの詳細"}));
    EXPECT_EQ(view.GetSelectedRow(), red);
    EXPECT_EQ(nextUser, view.GetCellText(red + 1, kColumnUser));

    // The row's own kept event, described as the native tests check it.
    RebuiltEvent event;
    const std::shared_ptr<RunEvents> events = Frame().GetRunEvents();
    events->events.Rebuild(*events->events.EventOfRow(red), event);
    EventDescription d;
    ASSERT_TRUE(DescribeEvent(event.Event(), d));
    EXPECT_EQ(shown[IDC_DETAIL_COMPUTER] + "|" + shown[IDC_DETAIL_ORIGIN] + "|" + shown[IDC_DETAIL_KIND] +
                  "|" + shown[IDC_DETAIL_USER] + "|" + shown[IDC_DETAIL_TIME].substr(0, 19),
              "SV01|SV01.kestrel.local|ログオン失敗|" + view.GetCellText(red, kColumnUser) + "|" +
                  view.GetCellText(red, kColumnTime).substr(0, 19));
    for (const auto& [id, text] :
         std::vector<std::pair<int, std::string>>{{IDC_DETAIL_TIME, d.time},
                                                  {IDC_DETAIL_LOGON_TYPE, d.logonType},
                                                  {IDC_DETAIL_ADDRESS, d.address},
                                                  {IDC_DETAIL_PORT, d.port},
                                                  {IDC_DETAIL_SUB_STATUS, d.subStatus},
                                                  {IDC_DETAIL_REASON, d.failureReason}}) {
        EXPECT_EQ(shown[id], text) << id;
    }
    EXPECT_FALSE(d.address.empty() || d.failureReason.empty());
    // No message module for the source under Wine: the run's fallback text.
    EXPECT_EQ(
        shown[IDC_DETAIL_MESSAGE].rfind("ｿｰｽ (Microsoft-Windows-Security-Auditing) 内のｲﾍﾞﾝﾄ ID (4625)", 0),
        0u);
    EXPECT_NE(shown[IDC_DETAIL_MESSAGE].find("," + d.user + ","), std::string::npos);
    EXPECT_NE(copied.find("ﾕｰｻﾞ名: " + shown[IDC_DETAIL_USER] + "\r\n"), std::string::npos) << copied;
    EXPECT_NE(copied.find("ﾒｯｾｰｼﾞ:\r\n" + shown[IDC_DETAIL_MESSAGE]), std::string::npos);
}

// The sessions and the summary of a run (表示): what the run kept for them,
// a heading click sorting numbers as numbers, Ctrl+C and the CSV save, and
// Esc closing.
TEST_F(OfflineWindowTest, SessionsAndSummaryWindowsSortCopySaveAndClose) {
    ReadSite({"localhost", "PC01", "SV01"});
    Frame().Send(WM_COMMAND, ID_VIEW_SESSIONS);
    Frame().Send(WM_COMMAND, ID_VIEW_SUMMARY);
    CAnalysisWnd* sessions = Frame().GetAnalysisWnd(CAnalysisWnd::Kind::Sessions);
    CAnalysisWnd* summary = Frame().GetAnalysisWnd(CAnalysisWnd::Kind::Summary);
    ASSERT_TRUE(sessions != nullptr && summary != nullptr);
    EXPECT_EQ(WindowText(*sessions), "ｾｯｼｮﾝ一覧");

    // The numbers are the collector's (RunTablesTest holds them side by side):
    // here, that the run kept what they are made of.
    EXPECT_GT(sessions->Lines(',', false).size(), 20u);
    EXPECT_GE(summary->GetWarnings().size(), 2u) << "SV01's guessing and spraying";

    // 時間 sorted as a number of seconds.
    HWND list = ::GetDlgItem(*sessions, IDC_ANALYSIS_LIST);
    NMLISTVIEW click{};
    click.hdr = {list, IDC_ANALYSIS_LIST, LVN_COLUMNCLICK};
    click.iSubItem = 7;
    sessions->Send(WM_NOTIFY, IDC_ANALYSIS_LIST, reinterpret_cast<LPARAM>(&click));
    std::vector<long long> seconds;
    for (const std::string& line : sessions->Lines(',', false)) {
        const std::string time = CsvFields(line)[7];
        if (time.empty() || !std::isdigit(static_cast<unsigned char>(time.back()))) continue;
        const std::size_t a = time.find(':'), b = time.rfind(':');
        seconds.push_back(std::stoll(time.substr(0, a)) * 3600 +
                          std::stoll(time.substr(a + 1, b - a - 1)) * 60 + std::stoll(time.substr(b + 1)));
    }
    ASSERT_GT(seconds.size(), 5u);
    EXPECT_TRUE(std::is_sorted(seconds.begin(), seconds.end()));

    LVITEMA item{};
    item.stateMask = item.state = LVIS_SELECTED;
    for (int line : {0, 2}) ::SendMessageA(list, LVM_SETITEMSTATE, line, reinterpret_cast<LPARAM>(&item));
    PressKey(list, 'C', true);
    const std::vector<std::string> tabbed = sessions->Lines('\t', true);
    ASSERT_EQ(tabbed.size(), 3u);
    EXPECT_EQ(ReadClipboard().ansi, tabbed[0] + "\r\n" + tabbed[1] + "\r\n" + tabbed[2] + "\r\n");

    DialogAnswerer dialogs;
    const std::string path = site + "\\summary.csv";
    dialogs.fileNames = {path};
    Click(*summary, IDC_ANALYSIS_SAVE);
    std::string expected;
    for (const std::string& line : summary->Lines(',', false)) expected += line + "\r\n";
    EXPECT_EQ(FileContents(path), expected);

    PressKey(list, VK_ESCAPE);
    EXPECT_EQ(sessions->GetSafeHwnd(), nullptr);
    EXPECT_NE(summary->GetSafeHwnd(), nullptr);
    summary->DestroyWindow();
}

}  // namespace
}  // namespace kestrel::testing
