#pragma once
// The main window: the computer list and the result list side by side in a
// splitter, the toolbar, the status bar, and the commands Start, Stop, delete
// computer and the pane keys. A run goes on in the background; only one at a
// time, and closing the window ends it first.
#include <windows.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/bars.h"
#include "framework/frame.h"
#include "framework/scoped_handles.h"
#include "framework/splitter.h"
#include "shell/analysis_wnd.h"
#include "shell/frame_dialogs.h"
#include "shell/get_log_thread.h"

namespace kestrel {

// Sent by a run's worker to the frame: lParam is the progress text for the
// status bar ("(name) k/n").
inline constexpr UINT WM_KESTREL_RUN_PROGRESS = WM_APP + 0x41;
// Sent by a run's worker to the frame as the run ends: lParam is what the run
// did ("完了: 4 台, 256 行"), for the status bar until the list writes there.
inline constexpr UINT WM_KESTREL_RUN_ENDED = WM_APP + 0x42;

class CLeftView;
class CKestrelView;

class CMainFrame : public CFrameWnd {
public:
    ~CMainFrame() override;

    CLeftView* GetLeftPane() const { return m_pLeftView; }
    CKestrelView* GetRightPane() const { return m_pRightView; }
    CSplitterWnd& GetSplitter() { return m_wndSplitter; }
    CToolBar& GetToolBar() { return m_wndToolBar; }

    // True while the worker of the last run has not ended.
    bool IsRunning();
    // Starts the worker of a run with the current settings, as Start does
    // once its dialog was accepted. False while another run goes on.
    bool StartRun();
    // Serves the messages the worker sends while it ends, up to timeoutMs;
    // closes its report dialog. True once it has ended.
    bool WaitForRun(DWORD timeoutMs);

    RunControl& GetRunControl() { return m_run; }
    // The events the last run kept; null before the first run.
    std::shared_ptr<RunEvents> GetRunEvents() const { return m_pRunEvents; }
    // The sessions or the summary window, once opened; null before.
    CAnalysisWnd* GetAnalysisWnd(CAnalysisWnd::Kind kind) const {
        return (kind == CAnalysisWnd::Kind::Sessions ? m_pSessionsWnd : m_pSummaryWnd).get();
    }
    // Asks for a file name and saves lines there as CSV, through a temporary
    // file; a failure says so in a message box owned by owner.
    void SaveLinesAsCsv(HWND owner, const std::vector<std::string>& lines);

    // The folder of exported logs the next run reads; none: the event-log
    // service. KESTREL_LOG_DIR gives the start value.
    const std::optional<std::filesystem::path>& GetOfflineFolder() const { return m_offlineFolder; }
    void SetOfflineFolder(std::optional<std::filesystem::path> folder);
    // The progress text of the run going on; empty without one.
    const std::string& GetProgressText() const { return m_strProgress; }
    // Tests answer in place of the system's dialogs.
    void SetDialogs(FrameDialogs* dialogs) {
        m_pDialogs = dialogs != nullptr ? dialogs : &SystemFrameDialogs();
    }

    // How long closing waits for a run to stop before the process simply ends.
    static constexpr DWORD kCloseWaitMs = 20000;

protected:
    BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
    BOOL OnCreateClient(CREATESTRUCTA& cs, CCreateContext* context) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnCommand(UINT id) override;
    void OnUpdateFrameTitle() override;

private:
    LRESULT OnCreate(WPARAM wParam, LPARAM lParam);
    void OnStart();
    // False when the window must stay (it is closing already).
    bool OnClose();
    void OnSaveResults();
    void OnChooseOfflineFolder();
    void OnEventDetails();
    void OnViewAnalysis(std::unique_ptr<CAnalysisWnd>& window, CAnalysisWnd::Kind kind);
    void OnInitMenuPopup(HMENU menu);
    void OnRunProgress(const char* text, bool ended);

    CSplitterWnd m_wndSplitter;
    CStatusBar m_wndStatusBar;
    CToolBar m_wndToolBar;
    CLeftView* m_pLeftView = nullptr;
    CKestrelView* m_pRightView = nullptr;

    RunControl m_run;
    std::shared_ptr<RunEvents> m_pRunEvents;
    std::unique_ptr<CAnalysisWnd> m_pSessionsWnd;
    std::unique_ptr<CAnalysisWnd> m_pSummaryWnd;
    ScopedHandle m_hRunThread;  // our own handle: the thread object deletes itself
    bool m_bClosing = false;
    std::optional<std::filesystem::path> m_offlineFolder;
    std::string m_strProgress;
    FrameDialogs* m_pDialogs = &SystemFrameDialogs();
};

}  // namespace kestrel
