// The program over a sample site, read to its end, with one of the analyst's
// windows over it, for screenshots: "details" (the details of a failed
// logon), "sessions" or "summary"; or "main", the main window alone with a
// failed logon selected. With a file name as the last argument it writes that
// file once the window is on screen.
// Usage: kestrel_analyst_demo main|details|sessions|summary [ready-file]
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "computers/left_view.h"
#include "engine/classification.h"
#include "framework/app_globals.h"
#include "resources/resource.h"
#include "results/kestrel_view.h"
#include "shell/analysis_wnd.h"
#include "shell/event_details_dlg.h"
#include "shell/kestrel_app.h"
#include "shell/main_frame.h"
#include "shell/run_services.h"
#include "tools/sample_site.h"
#include "tools/site_files.h"

namespace {

std::string g_readyFile;

void CALLBACK SayReady(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    if (std::FILE* file = g_readyFile.empty() ? nullptr : std::fopen(g_readyFile.c_str(), "w")) {
        std::fputs("ready\n", file);
        std::fclose(file);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    using namespace kestrel;
    const std::string arguments = commandLine;
    const std::string mode = arguments.substr(0, arguments.find(' '));
    if (const std::size_t blank = arguments.rfind(' '); blank != std::string::npos) {
        g_readyFile = arguments.substr(blank + 1);
    }

    char temp[MAX_PATH] = {};
    ::GetTempPathA(sizeof temp, temp);
    const std::string site = std::string(temp) + "kestrel-analyst-demo";
    std::string error;
    const std::time_t end = std::time(nullptr);
    if (!sample::WriteSiteFiles(sample::MakeSite(end, 1), site, error)) return 1;

    CKestrelApp app;
    __argc = 1;  // no document to open
    if (!app.InitInstance()) return 1;
    app.FromLogStart = 1;  // the whole site
    auto* frame = static_cast<CMainFrame*>(AfxGetMainFrame());
    frame->SetOfflineFolder(std::filesystem::path(site));
    CLeftView& tree = *frame->GetLeftPane();
    for (const char* name : {"PC01", "SV01"}) tree.AppendComputer(tree.m_hRootItem, name);
    if (!frame->StartRun()) return 1;
    while (frame->IsRunning() && app.PumpMessage()) {
    }

    // Without a window manager Wine leaves a window black while the frame
    // owns it: the pictures show them unowned.
    CKestrelView& view = *frame->GetRightPane();
    int red = 0;
    while (red + 1 < view.GetRowCount() && view.GetCellText(red, kColumnLogon) != "ログオン失敗") ++red;
    view.SelectRow(red);
    Win32RunServices services(std::nullopt);
    CEventDetailsDlg details(::GetDesktopWindow(), view, frame->GetRunEvents(),
                             MessageServicesOf(services.Services()));
    CAnalysisWnd window(mode == "sessions" ? CAnalysisWnd::Kind::Sessions : CAnalysisWnd::Kind::Summary,
                        *frame);
    ::SetTimer(nullptr, 0, 3000, SayReady);  // Wine takes a second to map a window
    if (mode == "details") {
        details.DoModal();
    } else if (mode == "main") {
        ::SetFocus(view);
        while (app.PumpMessage()) {
        }
    } else {
        window.Create(::GetDesktopWindow());
        ::ShowWindow(window, SW_SHOW);
        while (app.PumpMessage()) {
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(site, ignored);
    return 0;
}
