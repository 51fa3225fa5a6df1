// Shows the computer list, the result list with a failed logon and, with the
// argument "dialog", "report" or "about", the start dialog, the report of a
// run whose computer failed, or the about box over them; for screenshots.
// With a file name as the last argument it writes that file once everything
// is on screen.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "computers/left_view.h"
#include "engine/classification.h"
#include "engine/collection_run.h"
#include "engine/service_set.h"
#include "framework/frame.h"
#include "results/kestrel_doc.h"
#include "results/kestrel_view.h"
#include "platform/win32/win32_service_set.h"
#include "results/list_result_table.h"
#include "shell/about_dlg.h"
#include "shell/report_dlg.h"
#include "shell/start_dlg.h"

namespace kestrel {
namespace {

constexpr UINT kShowDialog = WM_APP + 1;
constexpr int kTreeWidth = 180;

std::string g_readyFile;

void CALLBACK SayReady(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    if (std::FILE* file = g_readyFile.empty() ? nullptr : std::fopen(g_readyFile.c_str(), "w")) {
        std::fputs("ready\n", file);
        std::fclose(file);
    }
}

enum class Shown { Views, StartDialog, Report, About };

// A run over one computer with the program's own services: under Wine every
// computer fails to open, so the report dialog comes up as after a failure.
class OneComputer final : public ComputerListPort, public ResultTablePort, public ReportPort {
public:
    std::vector<std::string> ComputerNames() override { return {"fileserver01"}; }
    int ItemCount() override { return 0; }
    void InsertItem(int, int) override {}
    void SetItemText(int, int, const char*) override {}
    void RedrawItems(int, int) override {}
    void DeleteAllItems() override {}
    void ShowReport() override { CReportDlg(m_report).DoModal(); }

    void Run(const CollectJob& job) {
        Win32ServiceSet services;
        EventClassifier classifier(*this);
        LogReader reader(ServicesOf(services), job, m_report, classifier);
        CollectionRun(reader, job, m_report, *this, *this, *this).Run();
    }

private:
    std::string m_report;
};

class DemoFrame final : public CFrameWnd {
public:
    bool Create(Shown shown) {
        m_shown = shown;
        SetStartValues(m_settings, std::time(nullptr), std::time(nullptr));
        if (!CreateEx(0, nullptr, "無題 - kestrel", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, {60, 60, 900, 480},
                      nullptr, 0)) {
            return false;
        }
        m_statusBar = ::CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, m_hWnd,
                                        nullptr, nullptr, nullptr);
        const RECT any{0, 0, 100, 100};
        if (!m_tree.Create(m_hWnd, any, 0xE900, &m_document) ||
            !m_list.Create(m_hWnd, any, 0xE901, &m_document)) {
            return false;
        }
        AfxSetMainFrame(this);
        Layout();
        ::SendMessageA(m_tree, WM_INITIALUPDATE, 0, 0);
        ::SendMessageA(m_list, WM_INITIALUPDATE, 0, 0);
        m_tree.AppendComputer(m_tree.m_hRootItem, "fileserver01");
        m_tree.AppendComputer(m_tree.m_hRootItem, "192.168.10.20");
        AddRows();
        return true;
    }

    void SetMessageText(const char* text) override {
        ::SendMessageA(m_statusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
        ::UpdateWindow(m_statusBar);
    }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_SIZE:
                ::SendMessageA(m_statusBar, WM_SIZE, 0, 0);
                Layout();
                return 0;
            case kShowDialog: {
                // Wine takes a second to map a window when no window manager runs.
                ::SetTimer(nullptr, 0, 3000, SayReady);
                // Under Wine without a window manager a dialog stays black while
                // it is owned by the frame (a plain DialogBox does the same):
                // the pictures show them unowned. A dialog of another thread
                // has no owner, as the report has in the program.
                if (m_shown == Shown::StartDialog) {
                    CStartDlg dialog(m_settings, ::GetDesktopWindow());
                    dialog.DoModal();
                } else {
                    const CollectJob job = m_settings;
                    const bool report = m_shown == Shown::Report;
                    std::thread([job, report] {
                        if (report) {
                            OneComputer().Run(job);
                        } else {
                            CAboutDlg().DoModal();
                        }
                    }).detach();
                }
                return 0;
            }
            case WM_DESTROY:
                AfxSetMainFrame(nullptr);
                ::PostQuitMessage(0);
                return 0;
            default:
                return CFrameWnd::WindowProc(message, wParam, lParam);
        }
    }

private:
    void Layout() {
        if (m_tree.GetSafeHwnd() == nullptr) return;
        RECT client{}, bar{};
        ::GetClientRect(m_hWnd, &client);
        ::GetWindowRect(m_statusBar, &bar);
        const int height = client.bottom - (bar.bottom - bar.top);
        ::MoveWindow(m_tree, 0, 0, kTreeWidth, height, TRUE);
        ::MoveWindow(m_list, kTreeWidth + 4, 0, client.right - kTreeWidth - 4, height, TRUE);
    }

    void AddRows() {
        struct Row {
            std::uint32_t id;
            std::uint16_t type;
            const char* user;
            const char* logonType;
            const char* time;
        };
        const Row rows[] = {
            {4624, 8, "tanaka", "2", "2024/05/01 08:58:12  "},
            {4624, 8, "suzuki", "3", "2024/05/01 09:03:40  "},
            {4625, 16, "administrator", "3", "2024/05/01 09:05:02  "},
            {4634, 8, "suzuki", "", "2024/05/01 09:31:57  "},
            {4624, 0, "sato", "10", "2024/05/01 10:12:09  "},
        };
        ListResultTable table(m_list);
        EventClassifier classifier(table);
        for (const Row& row : rows) {
            EventLogRecord record{};
            record.EventType = row.type;
            InsertionTable strings{};
            if (row.id == 4634) {
                strings[1] = row.user;
                strings[2] = "KESTREL";
            } else {
                strings[5] = row.user;
                strings[6] = "KESTREL";
                strings[row.id == 4624 ? 8 : 10] = row.logonType;
            }
            char message[] = "";
            classifier.InsertEventMessage({record, "\\\\localhost", "Microsoft-Windows-Security-Auditing",
                                           message, "Security", row.time, row.id, strings});
        }
        // The row the user clicked last, and its position text.
        RECT rect{LVIR_BOUNDS, 0, 0, 0};
        ::SendMessageA(m_list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&rect));
        ::PostMessageA(m_list, WM_LBUTTONUP, 0, MAKELPARAM(rect.left + 40, rect.top + 2));
        ::SendMessageA(m_list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(rect.left + 40, rect.top + 2));
    }

    Shown m_shown = Shown::Views;
    AppSettings m_settings;
    CKestrelDoc m_document;
    CLeftView m_tree{m_settings};
    CKestrelView m_list{m_settings};
    HWND m_statusBar = nullptr;
};

}  // namespace
}  // namespace kestrel

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    using namespace kestrel;
    std::string arguments = commandLine;
    const std::string mode = arguments.substr(0, arguments.find(' '));
    const Shown shown = mode == "dialog"   ? Shown::StartDialog
                        : mode == "report" ? Shown::Report
                        : mode == "about"  ? Shown::About
                                           : Shown::Views;
    if (const std::size_t blank = arguments.rfind(' '); blank != std::string::npos) {
        g_readyFile = arguments.substr(blank + 1);
    } else if (shown == Shown::Views) {
        g_readyFile = arguments;
    }

    DemoFrame frame;
    if (!frame.Create(shown)) return 1;
    ::ShowWindow(frame, SW_SHOW);
    ::UpdateWindow(frame);
    if (shown != Shown::Views) {
        ::PostMessageA(frame, kShowDialog, 0, 0);
    } else {
        ::SetTimer(nullptr, 0, 1000, SayReady);
    }

    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (CWnd::WalkPreTranslateTree(frame, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return 0;
}
