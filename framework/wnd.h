#pragma once
// One C++ object per window. Our own window classes carry the object in the
// creation parameter and keep it in the window's user data from WM_NCCREATE
// on; a system control that becomes an object is subclassed (its window
// procedure replaced by ours, which passes on what it does not handle) as it
// is created. Each class has one virtual window
// procedure: a switch over the messages it handles, the rest to its base and
// finally to the default procedure.
#include <windows.h>

#include <string>

namespace kestrel {

// Anything that can receive a command (menu item, accelerator, button).
class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    // Routes the command; true when someone handled it.
    virtual bool OnCmdMsg(UINT id) { return OnCommand(id); }

protected:
    // This object's own commands; true when handled.
    virtual bool OnCommand(UINT) { return false; }
};

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    ~CWnd() override;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // A window of the framework's own class (or of className, registered
    // with StaticWndProc). PreCreateWindow may change the creation values.
    bool CreateEx(DWORD exStyle, const char* className, const char* title, DWORD style, const RECT& rect,
                  HWND parent, UINT_PTR idOrMenu);
    // A system control (className such as "SysTreeView32") that is this
    // object from its first message on.
    bool CreateControl(DWORD exStyle, const char* className, const char* title, DWORD style, const RECT& rect,
                       HWND parent, UINT_PTR id);
    void DestroyWindow();
    // An existing control (a dialog's static, say) that is this object from
    // now on, until its window is destroyed.
    bool SubclassWindow(HWND window);
    bool SubclassDlgItem(int id, HWND parent) { return SubclassWindow(::GetDlgItem(parent, id)); }

    // The object of a window, or null when the window is none of ours.
    static CWnd* FromHandle(HWND window);

    // Offered every queued message before it is translated; true eats it.
    virtual bool PreTranslateMessage(MSG*) { return false; }
    // Offers msg to each window from its target up to and including last.
    static bool WalkPreTranslateTree(HWND last, MSG* msg);

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }

    // The window's name for the framework's own window class.
    static const char* DefaultClassName();

protected:
    virtual BOOL PreCreateWindow(CREATESTRUCTA&) { return TRUE; }
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // What the window does with a message nobody here handles.
    virtual LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);
    // A notification its parent reflected to this control; true when handled.
    virtual bool OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return false; }
    // Called after the last message; the window handle is gone.
    virtual void PostNcDestroy() {}

    HWND m_hWnd = nullptr;

    static LRESULT CALLBACK StaticWndProc(HWND, UINT, WPARAM, LPARAM);

private:
    friend class CDialog;
    enum class Kind { None, OwnClass, Subclassed, Dialog };

    static LRESULT CALLBACK ControlProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam);
    bool AttachControl(HWND window);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    bool ReflectToChild(HWND child, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    void Detach();

    Kind m_kind = Kind::None;
    WNDPROC m_pfnSuper = nullptr;  // the control's own procedure
};

// Registers the common control classes the program uses; cheap after the first call.
void AfxInitCommonControls();

// Where dialog templates and bitmaps come from: the executable itself.
HINSTANCE AfxGetResourceHandle();
// A string resource of up to 511 bytes; empty when there is none.
std::string AfxLoadText(UINT id);

}  // namespace kestrel
