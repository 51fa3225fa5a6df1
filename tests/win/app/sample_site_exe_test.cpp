// The real kestrel.exe over a freshly made sample site: Start on the default
// list fills the table with exactly the rows of localhost inside the start
// dialog's dates, failed logons are drawn white on red, and a screenshot of
// the window is kept beside the test.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/win/app/app_support.h"
#include "tools/sample_site.h"
#include "tools/site_files.h"

namespace kestrel::testing {
namespace {

constexpr char kTitle[] = "無題 - kestrel";
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

class SampleSiteExeTest : public ::testing::Test {
protected:
    // The site ends now, as scripts/run makes it; the start dialog's dates are
    // then seven days ago to today.
    static void SetUpTestSuite() {
        char temp[MAX_PATH] = {};
        ::GetTempPathA(sizeof temp, temp);
        siteFolder = std::string(temp) + "kestrel-sample-site-" + std::to_string(::GetCurrentProcessId());
        const std::time_t end = std::time(nullptr);
        const sample::Site site = sample::MakeSite(end, 1);
        std::string error;
        ASSERT_TRUE(sample::WriteSiteFiles(site, siteFolder, error)) << error;

        char from[16] = {};
        const std::time_t fromTime = end - 7 * 24 * 60 * 60;
        std::strftime(from, sizeof from, "%Y/%m/%d", std::localtime(&fromTime));
        for (const auto& row : sample::ExpectedRows(site)) {
            if (row.computer != "localhost") continue;
            Row texts;
            for (int column = 0; column < kColumns; ++column) texts[column] = Cp932(row.texts[column]);
            if (texts[0].compare(0, 10, from) >= 0) expected.push_back(texts);
        }

        // No window manager runs under the tests: Wine draws the caption and
        // frame itself, so that the screenshot shows them (as scripts/run does).
        HKEY driver = nullptr;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\kestrel.exe\\X11 Driver", 0,
                              nullptr, 0, KEY_SET_VALUE, nullptr, &driver, nullptr) == ERROR_SUCCESS) {
            ::RegSetValueExA(driver, "Decorated", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
            ::RegCloseKey(driver);
        }

        ::SetEnvironmentVariableA("KESTREL_LOG_DIR", siteFolder.c_str());
        program = LaunchKestrel();
        const std::string title = kTitle + (" [ｵﾌﾗｲﾝ: " + siteFolder + "]");
        frame = WaitForWindow(title.c_str(), program.dwProcessId, "KestrelWnd");
    }
    static void TearDownTestSuite() {
        if (frame != nullptr) ::PostMessageA(frame, WM_CLOSE, 0, 0);
        EndProcess(program, 20000);
        ::SetEnvironmentVariableA("KESTREL_LOG_DIR", nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(siteFolder, ignored);
    }

    static inline std::string siteFolder;
    static inline std::vector<Row> expected;
    static inline PROCESS_INFORMATION program{};
    static inline HWND frame = nullptr;
};

TEST_F(SampleSiteExeTest, StartFillsTheTableWithTheSiteAndFailedLogonsShowRed) {
    ASSERT_NE(frame, nullptr);
    ASSERT_GT(expected.size(), 20u) << "the site has too few rows in the window to show anything";
    HWND listWindow = FindChild(frame, "SysListView32");
    ASSERT_NE(listWindow, nullptr);
    RemoteList list(listWindow, program.hProcess);
    ASSERT_TRUE(list.Ready());

    ::PostMessageA(frame, WM_COMMAND, ID_START_COLLECTION, 0);
    HWND start = WaitForWindow("ログオン情報収集の開始", program.dwProcessId, "#32770");
    ASSERT_NE(start, nullptr);
    ::PostMessageA(start, WM_COMMAND, IDOK, 0);

    // The worker adds the rows one by one; give each a generous time under Wine.
    const int want = static_cast<int>(expected.size());
    const DWORD deadline = 60000 + 200 * static_cast<DWORD>(want);
    const DWORD begun = ::GetTickCount();
    while (list.Count() < want && ::GetTickCount() - begun < deadline) ::Sleep(200);
    ::Sleep(1000);  // no row may follow the last expected one
    ASSERT_EQ(list.Count(), want);
    EXPECT_EQ(FindOtherThreadWindow("結果", program.dwProcessId), nullptr)
        << "localhost's log was read cleanly";

    int firstFailed = -1;
    for (int row = 0; row < want; ++row) {
        const Row texts = list.RowAt(row);
        ASSERT_EQ(texts, expected[row]) << "row " << row;
        if (firstFailed < 0 && texts[kColumnLogon] == "ログオン失敗") firstFailed = row;
    }
    ASSERT_GE(firstFailed, 0) << "the site has no failed logon in the window";

    // The failed logon copied from the table once it is the active pane:
    // the heading and the row, localhost first, in both text formats.
    ::SendMessageA(frame, WM_COMMAND, ID_NEXT_PANE, 0);
    {
        HANDLE process = program.hProcess;
        auto* remoteItem = static_cast<LVITEMA*>(
            ::VirtualAllocEx(process, nullptr, sizeof(LVITEMA), MEM_COMMIT, PAGE_READWRITE));
        ASSERT_NE(remoteItem, nullptr);
        LVITEMA item{};
        item.stateMask = item.state = LVIS_SELECTED;
        SIZE_T moved = 0;
        ::WriteProcessMemory(process, remoteItem, &item, sizeof item, &moved);
        list.Send(LVM_SETITEMSTATE, static_cast<WPARAM>(firstFailed), reinterpret_cast<LPARAM>(remoteItem));
        ::VirtualFreeEx(process, remoteItem, 0, MEM_RELEASE);
    }
    ::SendMessageA(frame, WM_COMMAND, ID_EDIT_COPY, 0);
    std::string line = "localhost";
    for (const std::string& text : expected[firstFailed]) {
        const bool blanks = !text.empty() && (text.front() == ' ' || text.back() == ' ');
        line += '\t' + (blanks ? '"' + text + '"' : text);
    }
    const std::string copied =
        "ｺﾝﾋﾟｭｰﾀ\t時刻\tログオン\tログオフ\tユーザ名\tコンピュータ名\tイベントID\tタイプ\r\n" + line + "\r\n";
    ASSERT_TRUE(::OpenClipboard(nullptr));
    HANDLE ansi = ::GetClipboardData(CF_TEXT);
    HANDLE unicode = ::GetClipboardData(CF_UNICODETEXT);
    const std::string ansiText = ansi != nullptr ? static_cast<const char*>(::GlobalLock(ansi)) : "";
    const std::wstring wideText =
        unicode != nullptr ? static_cast<const wchar_t*>(::GlobalLock(unicode)) : L"";
    if (ansi != nullptr) ::GlobalUnlock(ansi);
    if (unicode != nullptr) ::GlobalUnlock(unicode);
    ::CloseClipboard();
    EXPECT_EQ(ansiText, copied);
    std::wstring wide(copied.size(), L'\0');
    wide.resize(static_cast<std::size_t>(::MultiByteToWideChar(
        932, 0, copied.data(), static_cast<int>(copied.size()), wide.data(), static_cast<int>(wide.size()))));
    EXPECT_EQ(wideText, wide);

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

}  // namespace
}  // namespace kestrel::testing
