#include "shell/kestrel_app.h"

#include <ctime>

#include "computers/left_view.h"
#include "framework/app_globals.h"
#include "framework/frame.h"
#include "results/kestrel_doc.h"
#include "resources/resource.h"
#include "shell/about_dlg.h"
#include "shell/main_frame.h"

namespace kestrel {
namespace {

// Asked at start-up in this order, each as a REG_DWORD.
constexpr const char* kFilterSettings[] = {
    "Filter_System",  "Filter_Application", "Filter_Security",   "Filter_Information",
    "Filter_Warning", "Filter_Error",       "Filter_Securityok", "Filter_Securityng",
};
constexpr const char* kViewSettings[] = {"DontShowMessageToolTip", "DayBefore", "MaxComputer"};

}  // namespace

CKestrelApp* GetKestrelApp() { return dynamic_cast<CKestrelApp*>(AfxGetApp()); }

BOOL CKestrelApp::InitInstance() {
    // One running copy: a second one ends here, silently.
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, kMutexName);
    const DWORD lastError = ::GetLastError();  // before a handle of an earlier call is closed
    MutexHandle.Reset(mutex);
    if (!MutexHandle) return FALSE;
    if (lastError == ERROR_ALREADY_EXISTS) return FALSE;

    // No control containers, 3-D dialog controls or recent-file list: no
    // window of the program uses them, so nothing is switched on for them.
    AddDocTemplate(std::make_unique<CSingleDocTemplate>(
        IDR_MAINFRAME, [] { return std::make_unique<CKestrelDoc>(); }, [] { return new CMainFrame; },
        [this] { return std::make_unique<CLeftView>(*this); }));

    CCommandLineInfo commandLine;
    ParseCommandLine(commandLine);
    if (!ProcessShellCommand(commandLine)) return FALSE;

    HWND frame = AfxGetMainFrame()->GetSafeHwnd();
    ::ShowWindow(frame, SW_SHOW);
    ::UpdateWindow(frame);

    // Every value is asked for, and every one is absent: the start values hold.
    char value[256] = {};
    for (const char* name : kFilterSettings)
        ReadSetting(HKEY_LOCAL_MACHINE, kSettingsKey, name, REG_DWORD, value);
    for (const char* name : kViewSettings)
        ReadSetting(HKEY_LOCAL_MACHINE, kSettingsKey, name, REG_DWORD, value);
    const std::time_t firstClock = std::time(nullptr);
    const std::time_t secondClock = std::time(nullptr);
    SetStartValues(*this, firstClock, secondClock);  // RunReport emptied too
    return TRUE;
}

BOOL CKestrelApp::ReadSetting(HKEY, const char*, const char*, DWORD, void*) { return FALSE; }

void CKestrelApp::OnAppAbout() { RunAboutBox(); }

bool CKestrelApp::OnCommand(UINT id) {
    if (id == ID_APP_ABOUT) {
        OnAppAbout();
        return true;
    }
    return CWinApp::OnCommand(id);
}

}  // namespace kestrel
