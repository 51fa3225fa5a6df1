// The real kestrel.exe over a freshly made sample site, driven from outside as
// a user drives it: the site's folder chosen in the window, its list
// imported, Start, the report of the computer without a log answered. The
// table then holds exactly the site's rows inside the start dialog's dates,
// failed logons white on red (a screenshot is kept beside the test); the rows
// come back from the clipboard and from a saved CSV file, and a save that
// fails leaves the old file as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <shlobj.h>

#include "framework/ids.h"
#include "resources/resource.h"
#include "tests/win/app/app_support.h"
#include "tools/sample_site.h"
#include "tools/site_files.h"

namespace kestrel::testing {
namespace {

constexpr char kTitle[] = "無題 - kestrel";
constexpr char kHeading[] = "ｺﾝﾋﾟｭｰﾀ\t時刻\tログオン\tログオフ\tユーザ名\tコンピュータ名\tイベントID\tタイプ";
constexpr int kColumns = 7;  // the texts, after the icon's column
constexpr int kColumnLogon = 1;

std::string Cp932(const std::u16string& text) {
    if (text.empty()) return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.c_str());
    const int size =
        ::WideCharToMultiByte(932, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(932, 0, wide, static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

using Row = std::array<std::string, kColumns>;

struct SiteRow {
    std::string computer;
    Row texts;
};

// The computer and the texts as one line, fields split by separator and
// quoted where a spreadsheet would misread them.
std::string Line(const SiteRow& row, char separator) {
    std::string line = row.computer;
    for (const std::string& text : row.texts) {
        line += separator;
        const bool quoted = (!text.empty() && (text.front() == ' ' || text.back() == ' ')) ||
                            text.find_first_of(std::string{separator, '"', '\r', '\n'}) != std::string::npos;
        if (!quoted) {
            line += text;
            continue;
        }
        line += '"';
        for (char c : text) line += c == '"' ? std::string("\"\"") : std::string(1, c);
        line += '"';
    }
    return line + "\r\n";
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The list view of another process: its item texts are copied through memory
// taken in that process.
class RemoteList {
public:
    RemoteList(HWND list, HANDLE process) : list_(list), process_(process) {
        remote_ = static_cast<char*>(::VirtualAllocEx(process_, nullptr, kSize, MEM_COMMIT, PAGE_READWRITE));
    }
    ~RemoteList() {
        if (remote_ != nullptr) ::VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
    }
    RemoteList(const RemoteList&) = delete;
    RemoteList& operator=(const RemoteList&) = delete;

    bool Ready() const { return remote_ != nullptr; }
    int Count() const { return static_cast<int>(Send(LVM_GETITEMCOUNT, 0, 0)); }

    std::string Text(int row, int column) const {
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = remote_ + sizeof item;
        item.cchTextMax = kSize - static_cast<int>(sizeof item);
        char text[kSize] = {};
        SIZE_T moved = 0;
        if (!::WriteProcessMemory(process_, remote_, &item, sizeof item, &moved)) return "<unwritable>";
        Send(LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote_));
        ::ReadProcessMemory(process_, remote_ + sizeof item, text, sizeof text - sizeof item - 1, &moved);
        return text;
    }

    Row RowAt(int row) const {
        Row texts;
        for (int column = 0; column < kColumns; ++column) texts[column] = Text(row, column + 1);
        return texts;
    }

    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const {
        DWORD_PTR result = 0;
        ::SendMessageTimeoutA(list_, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
        return static_cast<LRESULT>(result);
    }

private:
    static constexpr int kSize = 2048;
    HWND list_;
    HANDLE process_;
    char* remote_ = nullptr;
};

HWND FindChild(HWND parent, const char* className) {
    struct Search {
        const char* className;
        HWND found;
    } search{className, nullptr};
    ::EnumChildWindows(
        parent,
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            char name[64] = {};
            ::GetClassNameA(window, name, sizeof name);
            if (lstrcmpiA(name, s->className) == 0) s->found = window;
            return s->found == nullptr;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The pixels of the screen inside rect, as 0x00RRGGBB, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t At(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF;
    }
};

Picture CaptureScreen(const RECT& rect) {
    Picture picture;
    picture.width = rect.right - rect.left;
    picture.height = rect.bottom - rect.top;
    if (picture.width <= 0 || picture.height <= 0) return picture;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, picture.width, picture.height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, picture.width, picture.height, screen, rect.left, rect.top, SRCCOPY);
    ::SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    picture.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height);
    ::GetDIBits(memory, bitmap, 0, picture.height, picture.pixels.data(), &info, DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return picture;
}

bool SaveBmp(const Picture& picture, const std::string& path) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = picture.width;
    header.biHeight = -picture.height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    std::vector<std::uint32_t> opaque(picture.pixels);
    for (std::uint32_t& pixel : opaque) pixel |= 0xFF000000;  // viewers read the fourth byte as alpha
    const DWORD bytes = static_cast<DWORD>(opaque.size() * sizeof(std::uint32_t));
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + bytes;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(opaque.data()), bytes);
    return static_cast<bool>(out);
}

// A visible dialog of process pid that has a child of class childClass, or
// a button id; null when there is none.
HWND FindDialog(DWORD pid, const char* childClass, int buttonId = 0) {
    for (HWND window : VisibleTopLevelWindows()) {
        if (ProcessOf(window) != pid || ClassOf(window) != "#32770") continue;
        if ((childClass != nullptr && FindChild(window, childClass) != nullptr) ||
            (buttonId != 0 && ::GetDlgItem(window, buttonId) != nullptr))
            return window;
    }
    return nullptr;
}

HWND WaitForDialog(DWORD pid, const char* childClass, int buttonId = 0) {
    for (DWORD waited = 0; waited < 20000; waited += 50) {
        if (HWND dialog = FindDialog(pid, childClass, buttonId)) return dialog;
        ::Sleep(50);
    }
    return nullptr;
}

// The text of the tree's selected item in another process, through work
// memory taken there (an item record, then its text).
std::string SelectedText(HWND tree, HANDLE process, char* work) {
    TVITEMA item{};
    item.mask = TVIF_TEXT;
    item.hItem = reinterpret_cast<HTREEITEM>(::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    item.pszText = work + sizeof item;
    item.cchTextMax = MAX_PATH;
    SIZE_T moved = 0;
    ::WriteProcessMemory(process, work, &item, sizeof item, &moved);
    ::SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(work));
    char text[MAX_PATH] = {};
    ::ReadProcessMemory(process, work + sizeof item, text, sizeof text - 1, &moved);
    return text;
}

std::wstring Wide(const std::string& cp932) {
    std::wstring wide(cp932.size(), L'\0');
    wide.resize(static_cast<std::size_t>(::MultiByteToWideChar(
        932, 0, cp932.data(), static_cast<int>(cp932.size()), wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

void PressCtrlA() {
    INPUT keys[4] = {};
    const WORD codes[4] = {VK_CONTROL, 'A', 'A', VK_CONTROL};
    for (int k = 0; k < 4; ++k) {
        keys[k].type = INPUT_KEYBOARD;
        keys[k].ki.wVk = codes[k];
        keys[k].ki.dwFlags = k < 2 ? 0 : KEYEVENTF_KEYUP;
    }
    ::SendInput(4, keys, sizeof keys[0]);
}

class SampleSiteExeTest : public ::testing::Test {
protected:
    // The site ends now, as scripts/run makes it; the start dialog's dates are
    // then seven days ago to today.
    static void SetUpTestSuite() {
        siteFolder = TempPath("kestrel-sample-site-" + std::to_string(::GetCurrentProcessId()));
        RemoveSiteFolder();  // Wine gives processes the same few ids again
        const std::time_t end = std::time(nullptr);
        const sample::Site site = sample::MakeSite(end, 1);
        std::string error;
        ASSERT_TRUE(sample::WriteSiteFiles(site, siteFolder, error)) << error;

        char from[16] = {};
        const std::time_t fromTime = end - 7 * 24 * 60 * 60;
        std::strftime(from, sizeof from, "%Y/%m/%d", std::localtime(&fromTime));
        for (const auto& row : sample::ExpectedRows(site)) {
            SiteRow texts{row.computer, {}};
            for (int column = 0; column < kColumns; ++column) texts.texts[column] = Cp932(row.texts[column]);
            if (texts.texts[0].compare(0, 10, from) >= 0) expected.push_back(texts);
        }

        // No window manager runs under the tests: Wine draws the caption and
        // frame itself, so that the screenshot shows them (as scripts/run does).
        HKEY driver = nullptr;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\kestrel.exe\\X11 Driver", 0,
                              nullptr, 0, KEY_SET_VALUE, nullptr, &driver, nullptr) == ERROR_SUCCESS) {
            ::RegSetValueExA(driver, "Decorated", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
            ::RegCloseKey(driver);
        }

        ::SetEnvironmentVariableA("KESTREL_LOG_DIR", nullptr);  // the folder is chosen in the window
        program = LaunchKestrel();
        frame = WaitForWindow(kTitle, program.dwProcessId, "KestrelWnd");
    }
    static void TearDownTestSuite() {
        if (frame != nullptr) ::PostMessageA(frame, WM_CLOSE, 0, 0);
        EndProcess(program, 20000);
        RemoveSiteFolder();
    }
    static void RemoveSiteFolder() {
        ::SetFileAttributesA((siteFolder + "\\rows.csv").c_str(), FILE_ATTRIBUTE_NORMAL);
        std::error_code ignored;
        std::filesystem::remove_all(siteFolder, ignored);
    }

    void SetUp() override { ASSERT_NE(frame, nullptr); }

    static inline std::string siteFolder;
    static inline std::vector<SiteRow> expected;
    static inline PROCESS_INFORMATION program{};
    static inline HWND frame = nullptr;
};

// The tests below build on each other, in this order.

TEST_F(SampleSiteExeTest, TheOfflineFolderIsChosenInTheWindow) {
    ::PostMessageA(frame, WM_COMMAND, ID_OFFLINE_LOG_FOLDER, 0);
    HWND browse = WaitForDialog(program.dwProcessId, "SysTreeView32");
    ASSERT_NE(browse, nullptr) << "no folder dialog";
    // The folder as a user picks it in the tree: the dialog's own message
    // selects it, with the path in the program's memory. The tree fills
    // itself as it goes, so the selection is asked for until it holds.
    constexpr std::size_t kRemoteWork = 1024;
    char* remote =
        static_cast<char*>(::VirtualAllocEx(program.hProcess, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(remote, nullptr);
    SIZE_T moved = 0;
    ::WriteProcessMemory(program.hProcess, remote, siteFolder.c_str(), siteFolder.size() + 1, &moved);
    HWND tree = FindChild(browse, "SysTreeView32");
    const std::string leaf = siteFolder.substr(siteFolder.find_last_of('\\') + 1);
    std::string selected;
    for (DWORD waited = 0; selected != leaf && waited < 15000; waited += 500) {
        ::SendMessageA(browse, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(remote));
        ::Sleep(500);
        selected = SelectedText(tree, program.hProcess, remote + kRemoteWork);
    }
    EXPECT_EQ(selected, leaf);
    ::PostMessageA(browse, WM_COMMAND, IDOK, 0);
    const std::string title = kTitle + (" [ｵﾌﾗｲﾝ: " + siteFolder + "]");
    EXPECT_NE(WaitForWindow(title.c_str(), program.dwProcessId, "KestrelWnd"), nullptr)
        << "title: " << SentText(frame);
    ASSERT_TRUE(WaitUntilGone(browse));

    // Asked again, the dialog opens at the folder in use.
    ::PostMessageA(frame, WM_COMMAND, ID_OFFLINE_LOG_FOLDER, 0);
    browse = WaitForDialog(program.dwProcessId, "SysTreeView32");
    ASSERT_NE(browse, nullptr);
    tree = FindChild(browse, "SysTreeView32");
    selected.clear();
    for (DWORD waited = 0; selected != leaf && waited < 10000; waited += 250) {
        ::Sleep(250);
        selected = SelectedText(tree, program.hProcess, remote + kRemoteWork);
    }
    EXPECT_EQ(selected, leaf);
    ::PostMessageA(browse, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntilGone(browse));
    EXPECT_EQ(SentText(frame), title) << "cancelled, the folder stays";
    ::VirtualFreeEx(program.hProcess, remote, 0, MEM_RELEASE);
}

TEST_F(SampleSiteExeTest, StartOverTheImportedListFillsTheTableAndFailedLogonsShowRed) {
    ASSERT_GT(expected.size(), 60u) << "the site has too few rows in the window to show anything";
    HWND listWindow = FindChild(frame, "SysListView32");
    ASSERT_NE(listWindow, nullptr);
    RemoteList list(listWindow, program.hProcess);
    ASSERT_TRUE(list.Ready());

    ASSERT_TRUE(ImportComputerList(frame, program.dwProcessId, siteFolder + "\\site.lst"));
    ::PostMessageA(frame, WM_COMMAND, ID_START_COLLECTION, 0);
    HWND start = WaitForWindow("ログオン情報収集の開始", program.dwProcessId, "#32770");
    ASSERT_NE(start, nullptr);
    ::PostMessageA(start, WM_COMMAND, IDOK, 0);

    // PC02 is listed but has no log: its report comes, and the run goes on once it is closed.
    HWND report = WaitForWindow("結果", program.dwProcessId, "#32770", 60000);
    ASSERT_NE(report, nullptr) << "no report for the computer without a log";
    EXPECT_NE(SentText(::GetDlgItem(report, 1000)).find("PC02"), std::string::npos);
    ::PostMessageA(report, WM_COMMAND, IDOK, 0);

    const int want = static_cast<int>(expected.size());
    const DWORD begun = ::GetTickCount();
    while ((list.Count() < want || StatusBarText(frame).rfind("完了", 0) != 0) &&
           ::GetTickCount() - begun < 60000)
        ::Sleep(200);
    ::Sleep(500);  // no row may follow the last expected one
    ASSERT_EQ(list.Count(), want);
    EXPECT_EQ(StatusBarText(frame), "完了: 5 台 (失敗 1 台), " + std::to_string(want) + " 行");

    int firstFailed = -1;
    for (int row = 0; row < want; ++row) {
        const Row texts = list.RowAt(row);
        ASSERT_EQ(texts, expected[row].texts) << "row " << row;
        if (firstFailed < 0 && texts[kColumnLogon] == "ログオン失敗") firstFailed = row;
    }
    ASSERT_GE(firstFailed, 0) << "the site has no failed logon in the window";

    // Bring a failed logon into view, then look at the screen.
    list.Send(LVM_ENSUREVISIBLE, static_cast<WPARAM>(firstFailed), FALSE);
    ::RedrawWindow(listWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ::Sleep(1500);
    RECT frameRect{};
    RECT listRect{};
    ::GetWindowRect(frame, &frameRect);
    ::GetWindowRect(listWindow, &listRect);
    const Picture picture = CaptureScreen(frameRect);
    ASSERT_FALSE(picture.pixels.empty());
    EXPECT_TRUE(SaveBmp(picture, WindowsPath(KESTREL_SCREENSHOT)));

    int red = 0;
    int white = 0;
    for (int y = listRect.top - frameRect.top; y < listRect.bottom - frameRect.top; ++y) {
        for (int x = listRect.left - frameRect.left; x < listRect.right - frameRect.left; ++x) {
            if (x < 0 || y < 0 || x >= picture.width || y >= picture.height) continue;
            const std::uint32_t pixel = picture.At(x, y);
            if (pixel == 0xFF0000) ++red;
            if (pixel == 0xFFFFFF) ++white;
        }
    }
    // At least one whole row's height of red across the columns, on a white list.
    EXPECT_GT(red, 2000) << "no failed logon is drawn white on red";
    EXPECT_GT(white, red) << "the list shows only red";
}

TEST_F(SampleSiteExeTest, EveryRowComesBackFromTheClipboardWithItsComputer) {
    HWND listWindow = FindChild(frame, "SysListView32");
    RemoteList list(listWindow, program.hProcess);
    ASSERT_EQ(list.Count(), static_cast<int>(expected.size()));

    // The table becomes the active pane, as F6 makes it; Ctrl+A, Ctrl+C.
    ::SendMessageA(frame, WM_COMMAND, ID_NEXT_PANE, 0);
    ::SetForegroundWindow(frame);
    PressCtrlA();
    const DWORD begun = ::GetTickCount();
    while (list.Send(LVM_GETSELECTEDCOUNT, 0, 0) < list.Count() && ::GetTickCount() - begun < 5000)
        ::Sleep(50);
    const int selected = static_cast<int>(list.Send(LVM_GETSELECTEDCOUNT, 0, 0));
    ASSERT_EQ(selected, list.Count()) << "Ctrl+A did not select every row";
    ::SendMessageA(frame, WM_COMMAND, ID_EDIT_COPY, 0);

    std::string copied = std::string(kHeading) + "\r\n";
    for (int row = 0; row < selected; ++row) copied += Line(expected[row], '\t');
    const ClipboardTexts texts = ReadClipboard();
    EXPECT_EQ(texts.ansi, copied);
    EXPECT_EQ(texts.unicode, Wide(copied));
}

// A save that fails is ResultCommandsTest's, in the program's own process.
TEST_F(SampleSiteExeTest, SavedCsvHoldsEveryRowAndReplacingIsAskedFirst) {
    const std::string path = siteFolder + "\\rows.csv";
    std::string csv = "ｺﾝﾋﾟｭｰﾀ,時刻,ログオン,ログオフ,ユーザ名,コンピュータ名,イベントID,タイプ\r\n";
    for (const SiteRow& row : expected) csv += Line(row, ',');

    ::PostMessageA(frame, WM_COMMAND, ID_SAVE_RESULTS_CSV, 0);
    HWND dialog = AnswerFileDialog(program.dwProcessId, path);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitUntilGone(dialog));
    const DWORD begun = ::GetTickCount();
    while (ReadFileBytes(path).size() < csv.size() && ::GetTickCount() - begun < 20000) ::Sleep(100);
    EXPECT_EQ(ReadFileBytes(path), csv);

    // The same name again: the dialog asks first; No leaves the file alone
    // and the dialog open.
    ::PostMessageA(frame, WM_COMMAND, ID_SAVE_RESULTS_CSV, 0);
    dialog = AnswerFileDialog(program.dwProcessId, path);
    ASSERT_NE(dialog, nullptr);
    HWND ask = WaitForDialog(program.dwProcessId, nullptr, IDYES);
    ASSERT_NE(ask, nullptr) << "replacing the file was not asked";
    ::PostMessageA(ask, WM_COMMAND, IDNO, 0);
    ASSERT_TRUE(WaitUntilGone(ask));
    EXPECT_TRUE(::IsWindowVisible(dialog)) << "the save dialog went away after No";
    ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntilGone(dialog));
    EXPECT_EQ(ReadFileBytes(path), csv);

    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(siteFolder)) {
        if (entry.is_regular_file()) left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"expected_rows.csv", "rows.csv", "site.lst"}))
        << "a temporary file was left";
}

}  // namespace
}  // namespace kestrel::testing
