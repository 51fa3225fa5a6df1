#pragma once
// Helpers of the whole-program tests: the application object made in the test
// process (with fake services for its runs), a pump that also translates the
// frame's accelerators, and lookups of windows on other threads and in other
// processes.
#include <windows.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "shell/kestrel_app.h"
#include "shell/main_frame.h"
#include "tests/fakes/fake_platform.h"
#include "tests/win/support/dialog_answerer.h"
#include "tests/win/support/ui_support.h"

namespace kestrel::testing {

class TestApp final : public CKestrelApp {
public:
    BOOL ReadSetting(HKEY root, const char* subKey, const char* valueName, DWORD type, void* buffer) override;
    // Gives chosenFile instead of showing the file dialog; cancelled when empty.
    bool DoPromptFileName(std::string& fileName, bool open) override;

    struct Request {
        HKEY root;
        std::string subKey;
        std::string valueName;
        DWORD type;
    };
    std::vector<Request> requests;
    std::string chosenFile;
    std::vector<std::string> prompts;  // "open" or "save", one per dialog asked for
};

// One started application per suite: its frame, and fake services that its
// runs read through.
class AppSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    // A new frame after a test closed the last one.
    static void ReopenFrame();
    static CMainFrame& Frame() { return *static_cast<CMainFrame*>(AfxGetMainFrame()); }

    static inline TestApp* app = nullptr;
    static inline FakePlatform* fakes = nullptr;
    static inline ReaderServices* services = nullptr;
};

// The state of the frame's menu item (MF_GRAYED, MF_CHECKED) when the menu
// bar is about to be used.
UINT MenuItemState(UINT id);

// Handles this thread's messages as the program's loop does (accelerators
// first) until done() holds or timeoutMs passes; false on timeout.
bool PumpApp(const std::function<bool()>& done, DWORD timeoutMs = 5000);
// Handles what is queued now.
void Settle();

// A key as the user presses it: the modifiers held in this thread's key
// state, the key posted to window, the queue handled.
void PressKey(HWND window, UINT key, bool control = false, bool shift = false, bool alt = false);

// The visible top-level windows on the screen, topmost first.
std::vector<HWND> VisibleTopLevelWindows();
std::string ClassOf(HWND window);
DWORD ProcessOf(HWND window);

// A window's text asked of it with WM_GETTEXT, which also reaches a control
// in another process; empty when it does not answer within 2 s.
std::string SentText(HWND window);
// The first part of the frame's status bar: a run's progress while it goes.
std::string StatusBarText(HWND frame);

// Both text formats on the clipboard; empty when a format is missing.
struct ClipboardTexts {
    std::string ansi;
    std::wstring unicode;
};
ClipboardTexts ReadClipboard();

// A visible top-level window of process (0: this one) with this class and
// caption on a thread other than the calling one; null when there is none.
HWND FindOtherThreadWindow(const char* caption, DWORD process = 0, const char* className = "#32770");

// Waits up to timeoutMs for FindOtherThreadWindow to find the window.
HWND WaitForWindow(const char* caption, DWORD process, const char* className = "#32770",
                   DWORD timeoutMs = 20000);

// `name` in the system's folder for temporary files.
std::string TempPath(const std::string& name);

// A Linux path as Wine shows it to Windows programs: on drive Z:.
std::string WindowsPath(std::string path);

// Starts the build's kestrel.exe with this process's environment.
PROCESS_INFORMATION LaunchKestrel();
// Ends process if it still runs (within waitMs, else by force) and closes its handles.
void EndProcess(PROCESS_INFORMATION& process, DWORD waitMs = 0);

// The real program driven from outside, as a user would, in process pid:
// the system's file dialog, once it shows, gets path typed and OK. The
// dialog answered, or null when none showed.
HWND AnswerFileDialog(DWORD pid, const std::string& path);
// Waits up to timeoutMs for window to close or hide; false when it stays.
bool WaitUntilGone(HWND window, DWORD timeoutMs = 20000);
// Imports the list file at path into the program's tree (Ctrl+R), replacing
// the list it holds.
bool ImportComputerList(HWND frame, DWORD pid, const std::string& path);

// Row text of the list, cell column.
std::string CellText(HWND list, int row, int column);
int RowCount(HWND list);

// A box of a user error: caption "注意", the exclamation icon, owned by owner.
void ExpectCaution(const DialogAnswerer::Box& box, const char* text, HWND owner);

// "YYYY/MM/DD hh:mm:ss  " of t in local time.
std::string TimeText(std::time_t t);

// A 4624 (logon), 4625 (failed logon) or 4634 (logoff) record of user at t.
RecordShape LogonRecord(std::uint32_t eventId, const char* user, std::time_t t, const char* logonType = "3");

}  // namespace kestrel::testing
