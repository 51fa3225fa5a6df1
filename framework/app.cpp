#include "framework/app.h"

#include <stdlib.h>

#include "framework/file_dialog.h"
#include "framework/frame.h"

namespace kestrel {
namespace {

constexpr char kAllFilesFilter[] = "すべてのﾌｧｲﾙ (*.*)|*.*||";

// The process-wide objects of app_globals.h.
CFrameWnd* g_mainFrame = nullptr;
CCmdTarget* g_app = nullptr;

}  // namespace

CFrameWnd* AfxGetMainFrame() { return g_mainFrame; }
void AfxSetMainFrame(CFrameWnd* frame) { g_mainFrame = frame; }
CCmdTarget* AfxGetApp() { return g_app; }
void AfxSetApp(CCmdTarget* app) { g_app = app; }

CWinApp::CWinApp() { AfxSetApp(this); }

CWinApp::~CWinApp() {
    if (AfxGetApp() == this) AfxSetApp(nullptr);
}

CWinApp* AfxGetWinApp() { return dynamic_cast<CWinApp*>(AfxGetApp()); }

void CWinApp::ParseCommandLine(CCommandLineInfo& info) const {
    for (int k = 1; k < __argc; ++k) {
        const char* param = __argv[k];
        const bool flag = param[0] == '/' || param[0] == '-';
        info.ParseParam(flag ? param + 1 : param, flag);
    }
}

BOOL CWinApp::ProcessShellCommand(CCommandLineInfo& info) {
    if (m_pDocTemplate == nullptr) return FALSE;
    const char* path =
        info.m_nShellCommand == CCommandLineInfo::FileOpen ? info.m_strFileName.c_str() : nullptr;
    return m_pDocTemplate->OpenDocumentFile(path) != nullptr && AfxGetMainFrame() != nullptr;
}

bool CWinApp::DoPromptFileName(std::string& fileName, bool open) {
    const DWORD flags = open ? OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST
                             : OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    CFileDialog dialog(open, nullptr, fileName.c_str(), flags, kAllFilesFilter);
    if (dialog.DoModal() != IDOK) return false;
    fileName = dialog.GetPathName();
    return true;
}

void CWinApp::OnAppExit() {
    if (CFrameWnd* frame = AfxGetMainFrame()) frame->Send(WM_CLOSE);
}

void CWinApp::OnFileNew() {
    if (m_pDocTemplate != nullptr) m_pDocTemplate->OpenDocumentFile(nullptr);
}

void CWinApp::OnFileOpen() {
    std::string name;
    if (m_pDocTemplate != nullptr && DoPromptFileName(name, true))
        m_pDocTemplate->OpenDocumentFile(name.c_str());
}

bool CWinApp::OnCommand(UINT id) {
    switch (id) {
        case ID_APP_EXIT:
            OnAppExit();
            return true;
        case ID_FILE_NEW:
            OnFileNew();
            return true;
        case ID_FILE_OPEN:
            OnFileOpen();
            return true;
        default:
            return false;
    }
}

BOOL CWinApp::OnIdle(LONG count) {
    if (count == 0) {
        if (CFrameWnd* frame = AfxGetMainFrame()) frame->OnIdleUpdate();
    }
    return FALSE;
}

bool CWinApp::PreTranslateMessage(MSG* msg) {
    CFrameWnd* frame = AfxGetMainFrame();
    if (frame != nullptr && frame->TranslateAccelerators(msg)) return true;
    return CWnd::WalkPreTranslateTree(frame != nullptr ? frame->GetSafeHwnd() : nullptr, msg);
}

bool CWinApp::PumpMessage() {
    MSG msg;
    const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        m_exitCode = got == 0 ? static_cast<int>(msg.wParam) : -1;
        return false;
    }
    if (!PreTranslateMessage(&msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return true;
}

int CWinApp::Run() {
    for (;;) {
        MSG msg;
        for (LONG idle = 0; !::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) && OnIdle(idle); ++idle) {
        }
        if (!PumpMessage()) return ExitInstance();
    }
}

int AfxWinMain(int showCommand) {
    CWinApp* app = AfxGetWinApp();
    if (app == nullptr) return -1;
    app->m_nCmdShow = showCommand;
    if (!app->InitInstance()) return app->ExitInstance();
    return app->Run();
}

}  // namespace kestrel
