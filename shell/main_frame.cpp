#include "shell/main_frame.h"

#include <algorithm>

#include "computers/left_view.h"
#include "framework/app_globals.h"
#include "resources/resource.h"
#include "results/kestrel_view.h"
#include "shell/kestrel_app.h"
#include "shell/start_dlg.h"

namespace kestrel {
namespace {

constexpr char kCaution[] = "注意";
constexpr char kNoComputer[] = "ｲﾍﾞﾝﾄﾛｸﾞを取得するｺﾝﾋﾟｭｰﾀを追加してください。";
constexpr char kRunGoing[] = "ｲﾍﾞﾝﾄﾛｸﾞの取得中です。取得が終わってから開始してください。";

constexpr UINT kIndicators[] = {
    ID_SEPARATOR, ID_INDICATOR_KANA, ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL,
};

}  // namespace

CMainFrame::~CMainFrame() = default;

BOOL CMainFrame::PreCreateWindow(CREATESTRUCTA& cs) { return CFrameWnd::PreCreateWindow(cs) ? TRUE : FALSE; }

BOOL CMainFrame::OnCreateClient(CREATESTRUCTA&, CCreateContext* context) {
    CKestrelApp* app = GetKestrelApp();
    if (app == nullptr || !m_wndSplitter.CreateStatic(m_hWnd, 1, 2)) return FALSE;
    if (!m_wndSplitter.CreateView(0, 0, std::make_unique<CLeftView>(*app), {120, 100}, context) ||
        !m_wndSplitter.CreateView(0, 1, std::make_unique<CKestrelView>(*app), {100, 100}, context)) {
        m_wndSplitter.DestroyWindow();
        return FALSE;
    }
    return TRUE;
}

LRESULT CMainFrame::OnCreate(WPARAM wParam, LPARAM lParam) {
    AfxSetMainFrame(this);
    if (CFrameWnd::WindowProc(WM_CREATE, wParam, lParam) == -1) return -1;

    if (!m_wndToolBar.CreateEx(this, TBSTYLE_FLAT,
                               WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_GRIPPER | CBRS_TOOLTIPS | CBRS_FLYBY |
                                   CBRS_SIZE_DYNAMIC) ||
        !m_wndToolBar.LoadToolBar(IDR_MAINFRAME)) {
        return -1;
    }
    if (!m_wndStatusBar.Create(this) ||
        !m_wndStatusBar.SetIndicators(kIndicators, static_cast<int>(std::size(kIndicators)))) {
        return -1;
    }
    m_wndToolBar.EnableDocking(CBRS_ALIGN_ANY);
    EnableDocking(CBRS_ALIGN_ANY);
    DockControlBar(&m_wndToolBar);

    m_pLeftView = dynamic_cast<CLeftView*>(m_wndSplitter.GetPane(0, 0));
    m_pRightView = dynamic_cast<CKestrelView*>(m_wndSplitter.GetPane(0, 1));
    return m_pLeftView != nullptr && m_pRightView != nullptr ? 0 : -1;
}

bool CMainFrame::OnCommand(UINT id) {
    switch (id) {
        case ID_START_COLLECTION:
            OnStart();
            return true;
        case ID_DELETE_COMPUTER:
            m_pLeftView->RemoveCurrentComputer();
            return true;
        default:
            return CFrameWnd::OnCommand(id);
    }
}

void CMainFrame::OnStart() {
    // Runs never overlap: two would write the same report and list.
    if (IsRunning()) {
        ::MessageBoxA(m_hWnd, kRunGoing, kCaution, MB_ICONEXCLAMATION);
        return;
    }
    if (m_pLeftView->GetItemCount() <= 1) {
        ::MessageBoxA(m_hWnd, kNoComputer, kCaution, MB_ICONEXCLAMATION);
        return;
    }
    CKestrelApp* app = GetKestrelApp();
    app->RunReport.clear();
    CStartDlg dialog(*app);
    if (dialog.DoModal() == IDCANCEL) return;
    StartRun();
}

bool CMainFrame::IsRunning() {
    if (!m_hRunThread) return false;
    if (::WaitForSingleObject(m_hRunThread.Get(), 0) == WAIT_TIMEOUT) return true;
    m_hRunThread.Reset();
    return false;
}

bool CMainFrame::StartRun() {
    if (IsRunning()) return false;
    m_run.stop.store(false);
    m_run.reportDialog.store(nullptr);
    auto* thread = AfxBeginThread<CGetLogThread>(THREAD_PRIORITY_ABOVE_NORMAL, 0, CREATE_SUSPENDED);
    if (thread == nullptr) return false;
    HANDLE self = ::GetCurrentProcess();
    HANDLE duplicate = nullptr;
    if (!::DuplicateHandle(self, thread->m_hThread.Get(), self, &duplicate, 0, FALSE,
                           DUPLICATE_SAME_ACCESS)) {
        // Not yet run a single instruction of its own: it can simply go.
        ::TerminateThread(thread->m_hThread.Get(), 0);
        delete thread;
        return false;
    }
    m_hRunThread.Reset(duplicate);
    thread->m_pMainFrame = this;
    thread->ResumeThread();
    return true;
}

bool CMainFrame::WaitForRun(DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    HWND told = nullptr;
    for (;;) {
        // Only sent messages: the worker waits for those; the rest stays queued.
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        if (!IsRunning()) return true;
        // The worker may be showing a report, or about to: end it.
        if (HWND dialog = m_run.reportDialog.load(); dialog != nullptr && dialog != told) {
            ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            told = dialog;
        }
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        HANDLE thread = m_hRunThread.Get();
        ::MsgWaitForMultipleObjects(1, &thread, FALSE, std::min<DWORD>(timeoutMs - elapsed, 50),
                                    QS_SENDMESSAGE);
    }
}

bool CMainFrame::OnClose() {
    if (m_bClosing) return false;
    if (IsRunning()) {
        // The run stops at its next record or computer; until it has, its
        // windows stay (hidden) to answer it.
        m_bClosing = true;
        ::ShowWindow(m_hWnd, SW_HIDE);
        m_run.stop.store(true);
        // A worker stuck in the system (a remote computer that does not
        // answer) must not keep the program: nothing is left to save.
        if (!WaitForRun(kCloseWaitMs)) ::ExitProcess(0);
    }
    return true;
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(wParam, lParam);
        case WM_CLOSE:
            if (!OnClose()) return 0;
            break;
        default:
            break;
    }
    return CFrameWnd::WindowProc(message, wParam, lParam);
}

}  // namespace kestrel
