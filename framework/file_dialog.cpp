#include "framework/file_dialog.h"

#include "framework/app_globals.h"
#include "framework/frame.h"

namespace kestrel {

CFileDialog::CFileDialog(bool openFileDialog, const char* defaultExt, const char* fileName, DWORD flags,
                         const char* filter, HWND parent)
    : m_open(openFileDialog) {
    if (filter != nullptr) {
        // '|' can be the trail byte of a double-byte character: step by character.
        for (const char* p = filter; *p != '\0'; p = ::CharNextA(p)) {
            if (*p == '|') {
                m_filter.push_back('\0');
            } else {
                const char* next = ::CharNextA(p);
                m_filter.append(p, next);
            }
        }
        m_filter.push_back('\0');
    }
    if (defaultExt != nullptr) m_defaultExt = defaultExt;
    if (fileName != nullptr) lstrcpynA(m_fileName, fileName, sizeof m_fileName);

    if (parent == nullptr) {
        // Without a parent the main window owns it when it is of this thread,
        // so that the frame takes no input while the user chooses.
        CFrameWnd* frame = AfxGetMainFrame();
        if (frame != nullptr &&
            ::GetWindowThreadProcessId(frame->GetSafeHwnd(), nullptr) == ::GetCurrentThreadId()) {
            parent = frame->GetSafeHwnd();
        }
    }
    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.hwndOwner = parent;
    m_ofn.lpstrFilter = m_filter.empty() ? nullptr : m_filter.c_str();
    m_ofn.nFilterIndex = 1;
    m_ofn.lpstrFile = m_fileName;
    m_ofn.nMaxFile = sizeof m_fileName;
    m_ofn.lpstrDefExt = defaultExt != nullptr ? m_defaultExt.c_str() : nullptr;
    m_ofn.Flags = flags | OFN_EXPLORER;
}

INT_PTR CFileDialog::DoModal() {
    const BOOL chosen = m_open ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
    if (!chosen) m_fileName[0] = '\0';
    return chosen ? IDOK : IDCANCEL;
}

}  // namespace kestrel
