#include "shell/main_frame.h"

#include <algorithm>

#include "computers/left_view.h"
#include "computers/list_file.h"
#include "computers/list_file_win32.h"
#include "framework/file_exception.h"
#include "platform/offline/event_log_choice.h"
#include "framework/app_globals.h"
#include "resources/resource.h"
#include "results/kestrel_view.h"
#include "shell/kestrel_app.h"
#include "shell/event_details_dlg.h"
#include "shell/run_services.h"
#include "shell/start_dlg.h"

namespace kestrel {
namespace {

constexpr char kCaution[] = "注意";
constexpr char kNoComputer[] = "ｲﾍﾞﾝﾄﾛｸﾞを取得するｺﾝﾋﾟｭｰﾀを追加してください。";
constexpr char kRunGoing[] = "ｲﾍﾞﾝﾄﾛｸﾞの取得中です。取得が終わってから開始してください。";

constexpr char kSaveFailed[] = "結果をCSVﾌｧｲﾙに保存できませんでした。";
constexpr char kOfflineTitle[] = " [ｵﾌﾗｲﾝ: ";

// A path as the ANSI functions show it.
std::string AnsiPath(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    const int size = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), text.data(), size,
                              nullptr, nullptr);
    }
    return text;
}

std::filesystem::path WidePath(const std::string& ansi) {
    const int size =
        ::MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0)
        ::MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), static_cast<int>(ansi.size()), wide.data(), size);
    return std::filesystem::path(wide);
}

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
    m_offlineFolder = OfflineLogFolder();
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
        case ID_STOP_COLLECTION:
            // The run ends after the record it is handing on; the rows stay.
            if (IsRunning()) m_run.stop.store(true);
            return true;
        case ID_GATHER_FAILURES:
            m_run.gatherFailures.store(!m_run.gatherFailures.load());
            return true;
        case ID_DELETE_COMPUTER:
            m_pLeftView->RemoveCurrentComputer();
            return true;
        case ID_SAVE_RESULTS_CSV:
            OnSaveResults();
            return true;
        case ID_OFFLINE_LOG_FOLDER:
            OnChooseOfflineFolder();
            return true;
        case ID_EVENT_LOG_SERVICE:
            SetOfflineFolder(std::nullopt);
            return true;
        case ID_EVENT_DETAILS:
            OnEventDetails();
            return true;
        case ID_VIEW_SESSIONS:
            OnViewAnalysis(m_pSessionsWnd, CAnalysisWnd::Kind::Sessions);
            return true;
        case ID_VIEW_SUMMARY:
            OnViewAnalysis(m_pSummaryWnd, CAnalysisWnd::Kind::Summary);
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
    thread->m_offlineFolder = m_offlineFolder;
    m_pRunEvents = std::make_shared<RunEvents>();
    thread->m_pEvents = m_pRunEvents;
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

void CMainFrame::OnSaveResults() { SaveLinesAsCsv(m_hWnd, m_pRightView->RowLines(',', false)); }

void CMainFrame::SaveLinesAsCsv(HWND owner, const std::vector<std::string>& lines) {
    const std::string path = m_pDialogs->AskResultsFileName(owner);
    if (path.empty()) return;
    // The computer list's save: a new file beside the old one, put in its
    // place only when complete.
    Win32ListFileSystem files;
    const SaveResult saved = SaveListFile(files, path, lines);
    if (saved.Ok()) return;
    std::string text = kSaveFailed;
    const std::string cause =
        CFileException(CFileException::OsErrorToException(saved.error), saved.error, path).GetErrorMessage();
    if (!cause.empty()) text.append("\r\n").append(cause);
    ::MessageBoxA(owner, text.c_str(), kCaution, MB_OK | MB_ICONEXCLAMATION);
}

void CMainFrame::OnEventDetails() {
    if (m_pRightView->GetSelectedRow() < 0) return;
    // The services of the runs: the message is worked out again with them.
    const CKestrelApp* app = GetKestrelApp();
    std::optional<Win32RunServices> own;
    const ReaderServices services =
        app->m_pRunServices != nullptr ? *app->m_pRunServices : own.emplace(std::nullopt).Services();
    CEventDetailsDlg dialog(m_hWnd, *m_pRightView, m_pRunEvents, MessageServicesOf(services));
    dialog.DoModal();
}

void CMainFrame::OnViewAnalysis(std::unique_ptr<CAnalysisWnd>& window, CAnalysisWnd::Kind kind) {
    if (window == nullptr) window = std::make_unique<CAnalysisWnd>(kind, *this);
    window->Open();
}

void CMainFrame::OnChooseOfflineFolder() {
    const std::string folder =
        m_pDialogs->AskLogFolder(m_hWnd, m_offlineFolder ? AnsiPath(*m_offlineFolder) : std::string());
    if (!folder.empty()) SetOfflineFolder(WidePath(folder));
}

void CMainFrame::SetOfflineFolder(std::optional<std::filesystem::path> folder) {
    m_offlineFolder = std::move(folder);
    OnUpdateFrameTitle();
}

void CMainFrame::OnUpdateFrameTitle() {
    CFrameWnd::OnUpdateFrameTitle();
    if (!m_offlineFolder) return;
    const int length = ::GetWindowTextLengthA(m_hWnd);
    std::string title(static_cast<std::size_t>(length) + 1, '\0');
    ::GetWindowTextA(m_hWnd, title.data(), length + 1);
    title.resize(static_cast<std::size_t>(length));
    title.append(kOfflineTitle).append(AnsiPath(*m_offlineFolder)).append("]");
    ::SetWindowTextA(m_hWnd, title.c_str());
}

void CMainFrame::OnInitMenuPopup(HMENU menu) {
    const bool rowsSelected =
        GetActiveView() == m_pRightView && m_pRightView != nullptr && m_pRightView->GetSelectedCount() > 0;
    ::EnableMenuItem(menu, ID_EDIT_COPY, MF_BYCOMMAND | (rowsSelected ? MF_ENABLED : MF_GRAYED));
    const bool rowSelected = m_pRightView != nullptr && m_pRightView->GetSelectedRow() >= 0;
    ::EnableMenuItem(menu, ID_EVENT_DETAILS, MF_BYCOMMAND | (rowSelected ? MF_ENABLED : MF_GRAYED));
    const bool offline = m_offlineFolder.has_value();
    ::CheckMenuItem(menu, ID_OFFLINE_LOG_FOLDER, MF_BYCOMMAND | (offline ? MF_CHECKED : MF_UNCHECKED));
    ::CheckMenuItem(menu, ID_EVENT_LOG_SERVICE, MF_BYCOMMAND | (offline ? MF_UNCHECKED : MF_CHECKED));
    ::EnableMenuItem(menu, ID_STOP_COLLECTION, MF_BYCOMMAND | (IsRunning() ? MF_ENABLED : MF_GRAYED));
    ::CheckMenuItem(menu, ID_GATHER_FAILURES,
                    MF_BYCOMMAND | (m_run.gatherFailures.load() ? MF_CHECKED : MF_UNCHECKED));
}

void CMainFrame::OnRunProgress(const char* text, bool ended) {
    m_strProgress = ended || text == nullptr ? "" : text;
    SetIdleMessage(text != nullptr ? text : "");
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(wParam, lParam);
        // An accelerator looks at its menu item after WM_INITMENU only.
        case WM_INITMENU:
        case WM_INITMENUPOPUP:
            OnInitMenuPopup(reinterpret_cast<HMENU>(wParam));
            break;
        case WM_KESTREL_RUN_PROGRESS:
        case WM_KESTREL_RUN_ENDED:
            OnRunProgress(reinterpret_cast<const char*>(lParam), message == WM_KESTREL_RUN_ENDED);
            return 0;
        case WM_CLOSE:
            if (!OnClose()) return 0;
            break;
        default:
            break;
    }
    return CFrameWnd::WindowProc(message, wParam, lParam);
}

}  // namespace kestrel
