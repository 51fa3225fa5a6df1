#include "framework/wnd.h"

#include <commctrl.h>

#include <cstdio>
#include <exception>
#include <mutex>
#include <unordered_map>

#include "framework/uncaught_exception.h"

namespace kestrel {
namespace {

constexpr char kClassName[] = "KestrelWnd";

// The objects of subclassed controls, by window. Every message a control
// gets needs its object; a window property (or SetWindowSubclass, which
// keeps its data in one) would name it too, but under Wine each property
// lookup is a call to the server, several per message.
class ControlObjects {
public:
    void Add(HWND window, CWnd* wnd) {
        std::lock_guard lock(mutex_);
        objects_[window] = wnd;
    }
    void Remove(HWND window) {
        std::lock_guard lock(mutex_);
        objects_.erase(window);
    }
    CWnd* Find(HWND window) const {
        std::lock_guard lock(mutex_);
        const auto found = objects_.find(window);
        return found != objects_.end() ? found->second : nullptr;
    }

private:
    mutable std::mutex mutex_;
    std::unordered_map<HWND, CWnd*> objects_;
};

ControlObjects& Controls() {
    static ControlObjects objects;
    return objects;
}

// The control being created on this thread, until its first message.
thread_local CWnd* t_pendingControl = nullptr;

bool IsReflected(UINT message) {
    switch (message) {
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSCROLLBAR:
            return true;
        default:
            return false;
    }
}

CREATESTRUCTA CreationValues(DWORD exStyle, const char* className, const char* title, DWORD style,
                             const RECT& rect, HWND parent, UINT_PTR idOrMenu) {
    CREATESTRUCTA cs{};
    cs.dwExStyle = exStyle;
    cs.lpszClass = className;
    cs.lpszName = title;
    cs.style = static_cast<LONG>(style);
    cs.x = rect.left;
    cs.y = rect.top;
    cs.cx = rect.right - rect.left;
    cs.cy = rect.bottom - rect.top;
    cs.hwndParent = parent;
    cs.hMenu = reinterpret_cast<HMENU>(idOrMenu);
    cs.hInstance = ::GetModuleHandleA(nullptr);
    return cs;
}

HWND CreateFrom(const CREATESTRUCTA& cs, void* param) {
    return ::CreateWindowExA(cs.dwExStyle, cs.lpszClass, cs.lpszName, static_cast<DWORD>(cs.style), cs.x,
                             cs.y, cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, param);
}

}  // namespace

HINSTANCE AfxGetResourceHandle() { return ::GetModuleHandleA(nullptr); }

std::string AfxLoadText(UINT id) {
    char text[512] = {};
    return ::LoadStringA(AfxGetResourceHandle(), id, text, sizeof text) > 0 ? std::string(text)
                                                                            : std::string();
}

void AfxInitCommonControls() {
    static const bool done = [] {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_BAR_CLASSES};
        return ::InitCommonControlsEx(&init) != FALSE;
    }();
    (void)done;
}

const char* CWnd::DefaultClassName() {
    static const bool registered = [] {
        WNDCLASSA windowClass{};
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = StaticWndProc;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kClassName;
        return ::RegisterClassA(&windowClass) != 0;
    }();
    (void)registered;
    return kClassName;
}

CWnd::~CWnd() {
    // Derived parts are gone by now: a window that needs its own WM_DESTROY
    // handling is destroyed by its own class's destructor.
    DestroyWindow();
}

void CWnd::DestroyWindow() {
    if (m_hWnd == nullptr) return;
    HWND window = m_hWnd;
    if (m_kind == Kind::None) m_hWnd = nullptr;  // a plain handle: nothing comes back
    if (::IsWindow(window)) ::DestroyWindow(window);
    if (m_hWnd == window) Detach();
}

bool CWnd::CreateEx(DWORD exStyle, const char* className, const char* title, DWORD style, const RECT& rect,
                    HWND parent, UINT_PTR idOrMenu) {
    if (m_hWnd != nullptr) return false;
    CREATESTRUCTA cs = CreationValues(exStyle, className != nullptr ? className : DefaultClassName(), title,
                                      style, rect, parent, idOrMenu);
    cs.lpCreateParams = this;
    if (!PreCreateWindow(cs)) return false;
    HWND window = CreateFrom(cs, this);
    return window != nullptr && m_hWnd == window;
}

bool CWnd::CreateControl(DWORD exStyle, const char* className, const char* title, DWORD style,
                         const RECT& rect, HWND parent, UINT_PTR id) {
    if (m_hWnd != nullptr || t_pendingControl != nullptr) return false;
    AfxInitCommonControls();
    CREATESTRUCTA cs = CreationValues(exStyle, className, title, style, rect, parent, id);
    if (!PreCreateWindow(cs)) return false;

    // Subclassed from its first message, so that its WM_CREATE is ours too.
    HHOOK hook = ::SetWindowsHookExA(WH_CBT, CreationHook, nullptr, ::GetCurrentThreadId());
    if (hook == nullptr) return false;
    t_pendingControl = this;
    HWND window = CreateFrom(cs, nullptr);
    t_pendingControl = nullptr;
    ::UnhookWindowsHookEx(hook);
    return window != nullptr && m_hWnd == window;
}

bool CWnd::SubclassWindow(HWND window) {
    if (m_hWnd != nullptr || window == nullptr || FromHandle(window) != nullptr) return false;
    return AttachControl(window);
}

bool CWnd::AttachControl(HWND window) {
    Controls().Add(window, this);
    const auto super = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc)));
    if (super == nullptr) {
        Controls().Remove(window);
        return false;
    }
    m_pfnSuper = super;
    m_hWnd = window;
    m_kind = Kind::Subclassed;
    return true;
}

LRESULT CALLBACK CWnd::CreationHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && t_pendingControl != nullptr) {
        CWnd* wnd = t_pendingControl;
        t_pendingControl = nullptr;
        wnd->AttachControl(reinterpret_cast<HWND>(wParam));
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

CWnd* CWnd::FromHandle(HWND window) {
    if (window == nullptr) return nullptr;
    if (CWnd* control = Controls().Find(window)) return control;
    if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(window, GWLP_WNDPROC)) == StaticWndProc) {
        return reinterpret_cast<CWnd*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    }
    char className[8] = {};
    if (::GetClassNameA(window, className, sizeof className) == 6 && lstrcmpA(className, "#32770") == 0) {
        auto* wnd = reinterpret_cast<CWnd*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (wnd != nullptr && wnd->m_kind == Kind::Dialog && wnd->m_hWnd == window) return wnd;
    }
    return nullptr;
}

bool CWnd::WalkPreTranslateTree(HWND last, MSG* msg) {
    for (HWND window = msg->hwnd; window != nullptr; window = ::GetParent(window)) {
        CWnd* wnd = FromHandle(window);
        if (wnd != nullptr && wnd->PreTranslateMessage(msg)) return true;
        if (window == last) break;
    }
    return false;
}

LRESULT CALLBACK CWnd::StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd;
    if (message == WM_NCCREATE) {
        wnd = static_cast<CWnd*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        if (wnd != nullptr) {
            wnd->m_hWnd = window;
            wnd->m_kind = Kind::OwnClass;
            ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(wnd));
        }
    } else {
        wnd = reinterpret_cast<CWnd*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    }
    if (wnd == nullptr) return ::DefWindowProcA(window, message, wParam, lParam);
    const LRESULT result = wnd->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        wnd->Detach();
        wnd->PostNcDestroy();
    }
    return result;
}

LRESULT CALLBACK CWnd::ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = Controls().Find(window);
    if (wnd == nullptr) return ::DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        const WNDPROC super = wnd->m_pfnSuper;
        ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super));
        Controls().Remove(window);
        const LRESULT result = ::CallWindowProcA(super, window, message, wParam, lParam);
        wnd->Detach();
        wnd->PostNcDestroy();
        return result;
    }
    return wnd->Dispatch(message, wParam, lParam);
}

LRESULT CWnd::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return WindowProc(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the system's code: reported, the message
        // counts as handled and a window being created fails.
        char where[64];
        std::snprintf(where, sizeof where, "the window procedure (message 0x%04X)", message);
        ReportUncaughtException(where, std::current_exception());
        return message == WM_CREATE ? -1 : 0;
    }
}

void CWnd::Detach() {
    m_hWnd = nullptr;
    m_kind = Kind::None;
}

bool CWnd::ReflectToChild(HWND child, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    CWnd* wnd = FromHandle(child);
    return wnd != nullptr && wnd != this && wnd->OnChildNotify(message, wParam, lParam, result);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header != nullptr && ReflectToChild(header->hwndFrom, message, wParam, lParam, &result)) {
            return result;
        }
    } else if (message == WM_COMMAND) {
        HWND control = reinterpret_cast<HWND>(lParam);
        if (control != nullptr && ReflectToChild(control, message, wParam, lParam, &result)) return result;
        // Menus, accelerators and button clicks are commands; other control
        // notifications are not.
        if ((control == nullptr || HIWORD(wParam) == BN_CLICKED) && OnCmdMsg(LOWORD(wParam))) return 0;
    } else if (IsReflected(message)) {
        if (ReflectToChild(reinterpret_cast<HWND>(lParam), message, wParam, lParam, &result)) return result;
    }
    return DefaultProc(message, wParam, lParam);
}

LRESULT CWnd::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (m_kind) {
        case Kind::OwnClass:
            return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
        case Kind::Subclassed:
            return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
        default:
            return 0;
    }
}

}  // namespace kestrel
