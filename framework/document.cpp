// The document's views, and its file side: its title and file name, and the
// framework's open and save, which touch the file but carry nothing in or out
// of it.
#include "framework/document.h"

#include <windows.h>

#include <algorithm>

#include "framework/app.h"
#include "framework/app_globals.h"
#include "framework/file_exception.h"
#include "framework/frame.h"
#include "framework/ids.h"
#include "framework/scoped_handles.h"
#include "framework/view.h"

namespace kestrel {
namespace {

constexpr char kReplaceQuestion[] = "\r\nこのﾌｧｲﾙは既にあります。空のﾌｧｲﾙで置き換えますか?";

bool ReportFileError(const char* path) {
    const DWORD error = ::GetLastError();
    CFileException(CFileException::OsErrorToException(static_cast<LONG>(error)), static_cast<LONG>(error),
                   path)
        .ReportError();
    return false;
}

bool FileExists(const char* path) {
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

CDocument::~CDocument() {
    for (CView* view : m_views) view->m_pDocument = nullptr;
}

void CDocument::AddView(CView* view) {
    if (view->m_pDocument == this) return;
    if (view->m_pDocument != nullptr) view->m_pDocument->RemoveView(view);
    m_views.push_back(view);
    view->m_pDocument = this;
}

void CDocument::RemoveView(CView* view) {
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
    if (view->m_pDocument == this) view->m_pDocument = nullptr;
}

std::string FileNameOf(const std::string& path) {
    // '\\' can be the trail byte of a double-byte character: step by character.
    const char* name = path.c_str();
    for (const char* p = path.c_str(); *p != '\0'; p = ::CharNextA(p)) {
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    }
    return name;
}

bool CDocument::OnOpenDocument(const char* path) {
    const ScopedHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return ReportFileError(path);
    DeleteContents();
    return true;
}

bool CDocument::OnSaveDocument(const char* path) {
    const ScopedHandle file(
        ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return ReportFileError(path);
    return true;
}

void CDocument::SetTitle(const std::string& title) {
    m_strTitle = title;
    for (CView* view : m_views) {
        if (CFrameWnd* frame = view->GetParentFrame()) frame->OnUpdateFrameTitle();
    }
}

void CDocument::SetPathName(const std::string& path) {
    m_strPathName = path;
    SetTitle(FileNameOf(path));
}

bool CDocument::DoSave(const char* path) {
    std::string name = path != nullptr ? path : m_strPathName;
    if (path == nullptr) {
        if (name.empty()) name = m_strTitle;
        CWinApp* app = AfxGetWinApp();
        if (app == nullptr || !app->DoPromptFileName(name, false)) return false;
    }
    if (!OnSaveDocument(name.c_str())) return false;
    SetPathName(name);
    return true;
}

void CDocument::OnFileSave() {
    if (m_strPathName.empty()) {
        DoSave(nullptr);  // the save dialog asks before it replaces a file
        return;
    }
    // Saving writes the file empty: a file the user opened is replaced only
    // when the user says so.
    if (FileExists(m_strPathName.c_str())) {
        const std::string question = m_strPathName + kReplaceQuestion;
        HWND owner = AfxGetMainFrame() != nullptr ? AfxGetMainFrame()->GetSafeHwnd() : nullptr;
        if (::MessageBoxA(owner, question.c_str(), "確認", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) !=
            IDYES) {
            return;
        }
    }
    DoSave(m_strPathName.c_str());
}

bool CDocument::OnCommand(UINT id) {
    if (id != ID_FILE_SAVE) return false;
    OnFileSave();
    return true;
}

}  // namespace kestrel
