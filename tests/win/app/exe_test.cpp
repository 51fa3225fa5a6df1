// The real kestrel.exe under Wine: a second copy, and a run that waits on the
// report dialog of a computer that cannot be read while a second Start is
// refused and the window is closed.
#include <gtest/gtest.h>

#include <string>

#include "resources/resource.h"
#include "tests/win/app/app_support.h"

namespace kestrel::testing {
namespace {

constexpr char kTitle[] = "無題 - kestrel";

std::string RemoteText(HWND window) {
    char text[4096] = {};
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                          5000, &copied);
    return text;
}

// The text of a message box: its static that is not the icon.
std::string MessageBoxText(HWND box) {
    for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        char className[16] = {};
        ::GetClassNameA(child, className, sizeof className);
        if (lstrcmpiA(className, "Static") == 0 &&
            (::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
            if (std::string text = RemoteText(child); !text.empty()) return text;
        }
    }
    return {};
}

bool HasVisibleWindow(DWORD process) {
    for (HWND window : VisibleTopLevelWindows()) {
        if (ProcessOf(window) == process) return true;
    }
    return false;
}

class KestrelExeTest : public ::testing::Test {
protected:
    // One program for the suite, reading its logs from an empty folder: every
    // computer fails there.
    static void SetUpTestSuite() {
        logFolder = TempPath("kestrel-no-logs-" + std::to_string(::GetCurrentProcessId()));
        ::CreateDirectoryA(logFolder.c_str(), nullptr);
        ::SetEnvironmentVariableA("KESTREL_LOG_DIR", logFolder.c_str());
        first = LaunchKestrel();
        // The folder KESTREL_LOG_DIR names shows in the title.
        const std::string title = kTitle + (" [ｵﾌﾗｲﾝ: " + logFolder + "]");
        frame = WaitForWindow(title.c_str(), first.dwProcessId, "KestrelWnd");
    }
    static void TearDownTestSuite() {
        EndProcess(first);
        ::SetEnvironmentVariableA("KESTREL_LOG_DIR", nullptr);
        ::RemoveDirectoryA(logFolder.c_str());
    }

    static inline std::string logFolder;
    static inline PROCESS_INFORMATION first{};
    static inline HWND frame = nullptr;
};

TEST_F(KestrelExeTest, ASecondCopyEndsAtOnceWithNoWindow) {
    ASSERT_NE(frame, nullptr);
    PROCESS_INFORMATION second = LaunchKestrel();
    ASSERT_NE(second.hProcess, nullptr);
    bool showedWindow = false;
    const DWORD start = ::GetTickCount();
    while (::WaitForSingleObject(second.hProcess, 20) == WAIT_TIMEOUT && ::GetTickCount() - start < 20000) {
        showedWindow = showedWindow || HasVisibleWindow(second.dwProcessId);
    }
    DWORD code = 259;
    ::GetExitCodeProcess(second.hProcess, &code);
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(showedWindow);
    EndProcess(second);
    EXPECT_EQ(::WaitForSingleObject(first.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_F(KestrelExeTest, ASecondStartIsRefusedAndClosingEndsTheRunAndTheProgram) {
    ASSERT_NE(frame, nullptr);
    const DWORD process = first.dwProcessId;
    ::PostMessageA(frame, WM_COMMAND, ID_START_COLLECTION, 0);
    HWND start = WaitForWindow("ログオン情報収集の開始", process);
    ASSERT_NE(start, nullptr);
    ::PostMessageA(start, WM_COMMAND, IDOK, 0);

    // localhost has no exported log: the worker shows the report and waits.
    HWND report = WaitForWindow("結果", process);
    ASSERT_NE(report, nullptr);
    EXPECT_NE(::GetWindowThreadProcessId(report, nullptr), ::GetWindowThreadProcessId(frame, nullptr));
    const std::string text = RemoteText(::GetDlgItem(report, IDC_REPORT_TEXT));
    EXPECT_NE(text.find("失敗:(localhost)ｾｷｭﾘﾃｨﾛｸﾞの取得に失敗しました。\r\n"), std::string::npos) << text;

    ::PostMessageA(frame, WM_COMMAND, ID_START_COLLECTION, 0);
    HWND refusal = WaitForWindow("注意", process);
    ASSERT_NE(refusal, nullptr);
    EXPECT_EQ(::GetWindow(refusal, GW_OWNER), frame);
    EXPECT_EQ(MessageBoxText(refusal), "ｲﾍﾞﾝﾄﾛｸﾞの取得中です。取得が終わってから開始してください。");
    EXPECT_EQ(FindOtherThreadWindow("ログオン情報収集の開始", process), nullptr);
    ::PostMessageA(refusal, WM_COMMAND, IDOK, 0);

    const DWORD closing = ::GetTickCount();
    ::PostMessageA(frame, WM_CLOSE, 0, 0);
    ASSERT_EQ(::WaitForSingleObject(first.hProcess, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
    // Without a window manager Wine waits 2 s for each window it hides: the
    // frame, the report dialog and the frame again as it goes.
    EXPECT_LT(::GetTickCount() - closing, 10000u);
    DWORD code = 259;
    ::GetExitCodeProcess(first.hProcess, &code);
    EXPECT_EQ(code, 0u);
}

}  // namespace
}  // namespace kestrel::testing
