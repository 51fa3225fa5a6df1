#include "shell/get_log_thread.h"

#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

#include "computers/left_view.h"
#include "analysis/run_tables.h"
#include "computers/tree_computer_list.h"
#include "engine/collection_run.h"
#include "framework/app_globals.h"
#include "framework/frame.h"
#include "results/kestrel_view.h"
#include "results/relayed_result_table.h"
#include "shell/kestrel_app.h"
#include "shell/main_frame.h"
#include "shell/report_dlg.h"
#include "shell/run_services.h"

namespace kestrel {
namespace {

// The report dialog on the worker thread. It tells the frame its window, so
// that closing the program can end it; opened after the program began to
// close, it ends at once.
class WorkerReportDlg final : public CReportDlg {
public:
    WorkerReportDlg(const std::string& report, RunControl& control)
        : CReportDlg(report), m_control(control) {}

protected:
    BOOL OnInitDialog() override {
        const BOOL result = CReportDlg::OnInitDialog();
        m_control.reportDialog.store(m_hWnd);
        if (m_control.stop.load()) EndDialog(IDCANCEL);
        return result;
    }

private:
    RunControl& m_control;
};

// The computer list, remembering how many names the run took.
class CountedComputerList final : public ComputerListPort {
public:
    explicit CountedComputerList(HWND tree) : list_(tree) {}
    std::vector<std::string> ComputerNames() override {
        std::vector<std::string> names = list_.ComputerNames();
        count_ = names.size();
        return names;
    }
    std::size_t Count() const { return count_; }

private:
    TreeComputerList list_;
    std::size_t count_ = 0;
};

// What a run did, for the status bar: "完了: 4 台 (失敗 1 台), 256 行", or
// "中止: 2/4 台, 120 行" when it was stopped after its second computer began.
std::string RunEndText(const CollectionRun& run, std::size_t begun, std::size_t computers, int rows) {
    std::string text = run.Stopped() ? "中止: " + std::to_string(begun) + "/" : std::string("完了: ");
    text += std::to_string(computers) + " 台";
    if (run.Failures() > 0) text += " (失敗 " + std::to_string(run.Failures()) + " 台)";
    return text + ", " + std::to_string(rows) + " 行";
}

class ReportDialogPort final : public ReportPort {
public:
    ReportDialogPort(const std::string& report, RunControl& control) : report_(report), control_(control) {}
    void ShowReport() override {
        if (control_.stop.load()) return;
        WorkerReportDlg dialog(report_, control_);
        dialog.DoModal();
        control_.reportDialog.store(nullptr);
    }

private:
    const std::string& report_;
    RunControl& control_;
};

}  // namespace

int CGetLogThread::Run() {
    CKestrelApp* app = GetKestrelApp();
    if (app == nullptr || m_pMainFrame == nullptr) return 1;
    RunControl& control = m_pMainFrame->GetRunControl();

    CountedComputerList computers(m_pMainFrame->GetLeftPane()->GetSafeHwnd());
    HWND list = m_pMainFrame->GetRightPane()->GetSafeHwnd();
    RelayedResultTable results(list);
    ReportDialogPort report(app->RunReport, control);
    std::optional<Win32RunServices> own;
    const ReaderServices services =
        app->m_pRunServices != nullptr ? *app->m_pRunServices : own.emplace(m_offlineFolder).Services();

    EventClassifier classifier(results);
    std::shared_ptr<RunEvents> events = m_pEvents;
    LogReader reader(
        services, *app, app->RunReport,
        [&](const LogEvent& event) {
            const int row = results.Count();
            const bool added = classifier.InsertEventMessage(event) == 1;
            // Rows, and the events the sessions and the summary need besides.
            if (events != nullptr && (added || RunTables::KeepsWithoutRow(event.eventId))) {
                std::lock_guard<std::mutex> lock(events->lock);
                events->events.Add(event, added ? row : -1);
            }
        },
        &control.stop);
    CollectionRun run(reader, *app, app->RunReport, computers, results, report, &control.stop);
    run.GatherFailures(&control.gatherFailures);
    HWND frame = m_pMainFrame->GetSafeHwnd();
    std::size_t done = 0;
    run.OnComputer([&](const std::string& name) {
        if (events != nullptr) {
            std::lock_guard<std::mutex> lock(events->lock);
            events->events.BeginComputer();
        }
        ::SendMessageA(list, WM_KESTREL_ROW_COMPUTER, static_cast<WPARAM>(results.Count()),
                       reinterpret_cast<LPARAM>(name.c_str()));
        const std::string text =
            "(" + name + ") " + std::to_string(++done) + "/" + std::to_string(computers.Count());
        ::SendMessageA(frame, WM_KESTREL_RUN_PROGRESS, 0, reinterpret_cast<LPARAM>(text.c_str()));
    });
    const int result = run.Run();
    const std::string ended = RunEndText(run, done, computers.Count(), results.Count());
    ::SendMessageA(frame, WM_KESTREL_RUN_ENDED, 0, reinterpret_cast<LPARAM>(ended.c_str()));
    return result;
}

}  // namespace kestrel
