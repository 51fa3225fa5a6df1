#pragma once
// Modal dialogs from templates of the executable's resources.
#include "framework/wnd.h"

namespace kestrel {

class CDialog : public CWnd {
public:
    // parent null: owned by the main frame when it runs on this thread.
    explicit CDialog(UINT templateId, HWND parent = nullptr) : m_templateId(templateId), m_parent(parent) {}
    ~CDialog() override;

    // IDOK, IDCANCEL or what EndDialog was given; -1 when it cannot be shown.
    INT_PTR DoModal();
    // Modeless: shown beside its owner and ended by DestroyWindow; false when
    // it cannot be made. Tab, Enter and Esc work in it through the program's
    // message loop.
    bool Create(HWND owner);
    void EndDialog(INT_PTR result);
    bool PreTranslateMessage(MSG* msg) override;

    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    bool IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED; }
    void CheckDlgButton(int id, bool checked) {
        ::CheckDlgButton(m_hWnd, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    void EnableDlgItem(int id, bool enable) { ::EnableWindow(GetDlgItem(id), enable ? TRUE : FALSE); }

protected:
    // After the controls exist; TRUE gives the focus to the first one.
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    bool OnCommand(UINT id) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // A message box owned by this dialog.
    int MessageBox(const char* text, const char* caption, UINT type) const {
        return ::MessageBoxA(m_hWnd, text, caption, type);
    }

private:
    static INT_PTR CALLBACK StaticDlgProc(HWND, UINT, WPARAM, LPARAM);

    UINT m_templateId;
    HWND m_parent;
    bool m_defaulted = false;
    bool m_modeless = false;
};

}  // namespace kestrel
