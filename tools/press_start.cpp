// kestrel-press-start: presses Start and OK in a running kestrel.exe and waits
// until the table stops growing, so that scripts/run can show the program at
// work on a display nobody sits at. Exit code 0 when rows came, 1 otherwise.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "resources/resource.h"

namespace {

struct Search {
    const char* className;
    const char* caption;  // null: any
    DWORD process;        // 0: any
    HWND found;
};

BOOL CALLBACK Match(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    char className[64] = {};
    char caption[256] = {};
    ::GetClassNameA(window, className, sizeof className);
    ::GetWindowTextA(window, caption, sizeof caption);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (lstrcmpA(className, s->className) == 0 &&
        (s->caption == nullptr || lstrcmpA(caption, s->caption) == 0) &&
        (s->process == 0 || pid == s->process) && ::IsWindowVisible(window)) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForTopLevel(const char* className, const char* caption, DWORD process, DWORD timeoutMs) {
    for (const DWORD start = ::GetTickCount(); ::GetTickCount() - start < timeoutMs; ::Sleep(100)) {
        Search search{className, caption, process, nullptr};
        ::EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
    }
    return nullptr;
}

HWND FindChild(HWND parent, const char* className) {
    Search search{className, nullptr, 0, nullptr};
    ::EnumChildWindows(parent, Match, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int Fail(const char* what) {
    std::fprintf(stderr, "kestrel-press-start: %s\n", what);
    return 1;
}

}  // namespace

int main() {
    HWND frame = WaitForTopLevel("KestrelWnd", nullptr, 0, 30000);
    if (frame == nullptr) return Fail("no kestrel window");
    DWORD process = 0;
    ::GetWindowThreadProcessId(frame, &process);
    HWND list = FindChild(frame, "SysListView32");
    if (list == nullptr) return Fail("no result table");

    ::PostMessageA(frame, WM_COMMAND, ID_START_COLLECTION, 0);
    HWND start = WaitForTopLevel("#32770", "ログオン情報収集の開始", process, 20000);
    if (start == nullptr) return Fail("the start dialog did not open");
    ::PostMessageA(start, WM_COMMAND, IDOK, 0);

    // Done when the count has not changed for two seconds (or after two minutes).
    LRESULT last = -1;
    DWORD still = ::GetTickCount();
    for (const DWORD begun = ::GetTickCount(); ::GetTickCount() - begun < 120000; ::Sleep(250)) {
        DWORD_PTR count = 0;
        ::SendMessageTimeoutA(list, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
        if (static_cast<LRESULT>(count) != last) {
            last = static_cast<LRESULT>(count);
            still = ::GetTickCount();
        } else if (last > 0 && ::GetTickCount() - still > 2000) {
            break;
        }
    }
    std::printf("kestrel-press-start: %d rows\n", static_cast<int>(last));
    return last > 0 ? 0 : 1;
}
