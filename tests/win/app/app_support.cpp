#include "tests/win/app/app_support.h"

#include <commctrl.h>

#include <cstring>

#include "platform/event_log_record.h"

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

HWND FindOtherThreadWindow(const char* caption, DWORD process, const char* className) {
    struct Search {
        const char* caption;
        DWORD process;
        const char* className;
        HWND found;
    } search{caption, process, className, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD pid = 0;
            const DWORD thread = ::GetWindowThreadProcessId(window, &pid);
            const bool ours = s->process == 0
                                  ? pid == ::GetCurrentProcessId() && thread != ::GetCurrentThreadId()
                                  : pid == s->process;
            char className[64] = {};
            ::GetClassNameA(window, className, sizeof className);
            if (ours && ::IsWindowVisible(window) && lstrcmpA(className, s->className) == 0 &&
                WindowText(window) == s->caption) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(const char* caption, DWORD process, const char* className, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < timeoutMs) {
        if (HWND window = FindOtherThreadWindow(caption, process, className)) return window;
        ::Sleep(50);
    }
    return nullptr;
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
