#pragma once
// The system's file open and save dialogs.
#include <windows.h>
#include <commdlg.h>

#include <string>

namespace kestrel {

class CFileDialog {
public:
    // filter: pairs of a choice's text and its pattern, each ended by '|',
    // and a further '|' at the end: "Text (*.txt)|*.txt|All (*.*)|*.*||".
    // defaultExt (may be null) is added to a name typed without one.
    CFileDialog(bool openFileDialog, const char* defaultExt = nullptr, const char* fileName = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char* filter = nullptr,
                HWND parent = nullptr);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK with a file chosen, else IDCANCEL.
    INT_PTR DoModal();
    std::string GetPathName() const { return m_fileName; }

    // What the dialog is given; callers may change it before DoModal.
    OPENFILENAMEA m_ofn{};

private:
    bool m_open;
    std::string m_filter;  // '\0' between the parts, as the system wants it
    std::string m_defaultExt;
    char m_fileName[MAX_PATH] = {};
};

}  // namespace kestrel
