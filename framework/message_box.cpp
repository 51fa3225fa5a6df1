#include "framework/message_box.h"

#include "framework/app_globals.h"
#include "framework/frame.h"

namespace kestrel {
namespace {

constexpr UINT kAppTitleString = 57344;

}  // namespace

std::string AfxGetAppName() {
    char text[256] = {};
    if (::LoadStringA(AfxGetResourceHandle(), kAppTitleString, text, sizeof text) > 0) return text;

    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return {};
    // Double-byte names can hold '\\' and '.' as trail bytes: step by character.
    const char* name = path;
    const char* dot = nullptr;
    for (const char* p = path; *p != '\0'; p = ::CharNextA(p)) {
        if (*p == '\\' || *p == '/' || *p == ':') {
            name = p + 1;
            dot = nullptr;
        } else if (*p == '.') {
            dot = p;
        }
    }
    return dot != nullptr ? std::string(name, dot) : std::string(name);
}

int AfxMessageBox(const char* text, UINT type) {
    if ((type & MB_ICONMASK) == 0) {
        switch (type & MB_TYPEMASK) {
            case MB_OK:
            case MB_OKCANCEL:
                type |= MB_ICONEXCLAMATION;
                break;
            case MB_YESNO:
            case MB_YESNOCANCEL:
                type |= MB_ICONQUESTION;
                break;
            default:
                break;
        }
    }
    HWND owner = nullptr;
    if (CFrameWnd* frame = AfxGetMainFrame();
        frame != nullptr &&
        ::GetWindowThreadProcessId(frame->GetSafeHwnd(), nullptr) == ::GetCurrentThreadId()) {
        owner = frame->GetSafeHwnd();
    } else {
        owner = ::GetActiveWindow();
    }
    // A popup already open over the owner (a modal dialog) owns the box instead.
    if (owner != nullptr) {
        if (HWND popup = ::GetLastActivePopup(owner); popup != nullptr && ::IsWindowEnabled(popup))
            owner = popup;
    }
    const std::string caption = AfxGetAppName();
    return ::MessageBoxA(owner, text, caption.c_str(), type);
}

}  // namespace kestrel
