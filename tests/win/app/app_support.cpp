#include "tests/win/app/app_support.h"

#include <commctrl.h>
#include <dlgs.h>

#include <cstring>

#include "platform/event_log_record.h"
#include "resources/resource.h"

namespace kestrel::testing {

BOOL TestApp::ReadSetting(HKEY root, const char* subKey, const char* valueName, DWORD type, void* buffer) {
    requests.push_back({root, subKey, valueName, type});
    return CKestrelApp::ReadSetting(root, subKey, valueName, type, buffer);
}

bool TestApp::DoPromptFileName(std::string& fileName, bool open) {
    prompts.push_back(open ? "open" : "save");
    if (chosenFile.empty()) return false;
    fileName = chosenFile;
    return true;
}

void AppSuite::SetUpTestSuite() {
    fakes = new FakePlatform;
    services = new ReaderServices(fakes->Services());
    app = new TestApp;
    app->m_pRunServices = services;
    ASSERT_TRUE(app->InitInstance());
    ASSERT_NE(AfxGetMainFrame(), nullptr);
}

void AppSuite::TearDownTestSuite() {
    if (CFrameWnd* frame = AfxGetMainFrame()) frame->Send(WM_CLOSE);
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    // The next suite, or the program started by a test, takes the mutex anew.
    if (app != nullptr) app->MutexHandle.Close();
    delete app;
    delete services;
    delete fakes;
    app = nullptr;
    services = nullptr;
    fakes = nullptr;
}

void AppSuite::ReopenFrame() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    app->OnFileNew();
    ASSERT_NE(AfxGetMainFrame(), nullptr);
}

UINT MenuItemState(UINT id) {
    HMENU menu = ::GetMenu(AfxGetMainFrame()->GetSafeHwnd());
    AfxGetMainFrame()->Send(WM_INITMENU, reinterpret_cast<WPARAM>(menu));
    return ::GetMenuState(menu, id, MF_BYCOMMAND);
}

bool PumpApp(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > timeoutMs) return false;
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;  // a closed frame's; the test goes on
            if (CWinApp* app = AfxGetWinApp(); app != nullptr && app->PreTranslateMessage(&msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

void Settle() {
    PumpApp([] {
        MSG msg;
        return !::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    });
}

void PressKey(HWND window, UINT key, bool control, bool shift, bool alt) {
    BYTE saved[256] = {};
    ::GetKeyboardState(saved);
    BYTE state[256];
    std::memcpy(state, saved, sizeof state);
    state[VK_CONTROL] = state[VK_LCONTROL] = control ? 0x80 : 0;
    state[VK_SHIFT] = state[VK_LSHIFT] = shift ? 0x80 : 0;
    state[VK_MENU] = state[VK_LMENU] = alt ? 0x80 : 0;
    ::SetKeyboardState(state);
    const LPARAM lParam = 1 | static_cast<LPARAM>(::MapVirtualKeyA(key, 0) << 16) | (alt ? 1 << 29 : 0);
    ::PostMessageA(window, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, lParam);
    Settle();
    ::SetKeyboardState(saved);
}

std::vector<HWND> VisibleTopLevelWindows() {
    std::vector<HWND> windows;
    ::EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            if (::IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

DWORD ProcessOf(HWND window) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    return process;
}

std::string SentText(HWND window) {
    char text[1024] = {};
    DWORD_PTR ignored = 0;
    if (::SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                              SMTO_ABORTIFHUNG, 2000, &ignored) == 0)
        return {};
    return text;
}

std::string StatusBarText(HWND frame) {
    HWND bar = ::FindWindowExA(frame, nullptr, STATUSCLASSNAMEA, nullptr);
    return bar != nullptr ? SentText(bar) : std::string();
}

ClipboardTexts ReadClipboard() {
    ClipboardTexts texts;
    if (!::OpenClipboard(nullptr)) return texts;
    if (HANDLE data = ::GetClipboardData(CF_TEXT)) {
        texts.ansi = static_cast<const char*>(::GlobalLock(data));
        ::GlobalUnlock(data);
    }
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        texts.unicode = static_cast<const wchar_t*>(::GlobalLock(data));
        ::GlobalUnlock(data);
    }
    ::CloseClipboard();
    return texts;
}

HWND FindOtherThreadWindow(const char* caption, DWORD process, const char* className) {
    for (HWND window : VisibleTopLevelWindows()) {
        const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
        const bool ours =
            process == 0 ? ProcessOf(window) == ::GetCurrentProcessId() && thread != ::GetCurrentThreadId()
                         : ProcessOf(window) == process;
        if (ours && ClassOf(window) == className && WindowText(window) == caption) return window;
    }
    return nullptr;
}

HWND WaitForWindow(const char* caption, DWORD process, const char* className, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < timeoutMs) {
        if (HWND window = FindOtherThreadWindow(caption, process, className)) return window;
        ::Sleep(50);
    }
    return nullptr;
}

std::string TempPath(const std::string& name) {
    char folder[MAX_PATH] = {};
    ::GetTempPathA(sizeof folder, folder);
    return std::string(folder) + name;
}

std::string WindowsPath(std::string path) {
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    std::string windows = "Z:";
    windows += path;
    return windows;
}

PROCESS_INFORMATION LaunchKestrel() {
    std::string commandLine = WindowsPath(KESTREL_EXE);
    commandLine.insert(commandLine.begin(), '"');
    commandLine += '"';
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    EXPECT_TRUE(::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &process));
    return process;
}

void EndProcess(PROCESS_INFORMATION& process, DWORD waitMs) {
    if (process.hProcess == nullptr) return;
    if (::WaitForSingleObject(process.hProcess, waitMs) == WAIT_TIMEOUT)
        ::TerminateProcess(process.hProcess, 9);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    process = {};
}

namespace {

// A visible file dialog of process pid: a dialog with the file-name field.
HWND FindFileDialog(DWORD pid) {
    for (HWND window : VisibleTopLevelWindows()) {
        if (ProcessOf(window) == pid &&
            (::GetDlgItem(window, cmb13) != nullptr || ::GetDlgItem(window, edt1) != nullptr))
            return window;
    }
    return nullptr;
}

}  // namespace

HWND AnswerFileDialog(DWORD pid, const std::string& path) {
    HWND dialog = nullptr;
    for (DWORD waited = 0; dialog == nullptr && waited < 20000; waited += 50) {
        ::Sleep(50);
        dialog = FindFileDialog(pid);
    }
    if (dialog == nullptr) return nullptr;
    ::Sleep(300);  // the dialog fills its fields from its queue once shown
    HWND field = ::GetDlgItem(dialog, cmb13);
    if (field == nullptr) field = ::GetDlgItem(dialog, edt1);
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), SMTO_ABORTIFHUNG,
                          5000, &ignored);
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
    return dialog;
}

bool WaitUntilGone(HWND window, DWORD timeoutMs) {
    for (DWORD waited = 0; ::IsWindow(window) && ::IsWindowVisible(window); waited += 50) {
        if (waited >= timeoutMs) return false;
        ::Sleep(50);
    }
    return true;
}

bool ImportComputerList(HWND frame, DWORD pid, const std::string& path) {
    ::PostMessageA(frame, WM_COMMAND, ID_IMPORT_COMPUTER_LIST, 0);
    if (AnswerFileDialog(pid, path) == nullptr) return false;
    // The tree holds "localhost" already: replace it.
    HWND replace = WaitForWindow("確認", pid);
    if (replace == nullptr) return false;
    ::PostMessageA(replace, WM_COMMAND, IDYES, 0);
    return true;
}

std::string CellText(HWND list, int row, int column) {
    char text[512] = {};
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    ::SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

int RowCount(HWND list) { return static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

void ExpectCaution(const DialogAnswerer::Box& box, const char* text, HWND owner) {
    EXPECT_EQ(box.caption, "注意");
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(box.owner, owner);
}

std::string TimeText(std::time_t t) {
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S  ", std::localtime(&t));
    return text;
}

RecordShape LogonRecord(std::uint32_t eventId, const char* user, std::time_t t, const char* logonType) {
    RecordShape shape;
    shape.timeGenerated = static_cast<std::uint32_t>(t);
    shape.eventId = eventId;
    shape.eventType = eventId == 4625 ? kEventTypeAuditFailure : kEventTypeAuditSuccess;
    if (eventId == 4634) {
        shape.strings = {"", user, "DOM"};
    } else {
        shape.strings = {"", "", "", "", "", user, "DOM", "", logonType, "", logonType};
    }
    return shape;
}

}  // namespace kestrel::testing
