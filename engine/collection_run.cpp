#include "engine/collection_run.h"

namespace kestrel {

CollectionRun::CollectionRun(LogReader& reader, const CollectJob& job, std::string& runReport,
                             ComputerListPort& computers, ResultTablePort& results, ReportPort& report,
                             const std::atomic<bool>* stop)
    : reader_(reader),
      job_(job),
      report_(runReport),
      computers_(computers),
      results_(results),
      reportDialog_(report),
      stop_(stop) {}

int CollectionRun::Run() {
    results_.DeleteAllItems();
    report_.append("確認:ｲﾍﾞﾝﾄﾛｸﾞの取得を開始します。\r\n");

    // The names are taken once: later changes to the list cannot reach this run.
    const std::vector<std::string> names = computers_.ComputerNames();
    for (const std::string& name : names) {
        if (StopRequested()) {
            stopped_ = true;
            break;
        }
        ReadComputer(name);
    }
    if (stopped_) {
        report_.append("確認:ｲﾍﾞﾝﾄﾛｸﾞの取得を中止しました。\r\n");
    } else if (reportWaiting_) {
        reportDialog_.ShowReport();
    }
    return 1;
}

bool CollectionRun::ReadComputer(const std::string& name) {
    report_.append("確認:(").append(name).append(")ｾｷｭﾘﾃｨﾛｸﾞの取得を開始します。\r\n");
    if (onComputer_) onComputer_(name);
    const ReadResult result = reader_.ReadLog(name, logName_, TypeMaskOf(job_));
    // A stopped run ends without its last line.
    if (StopRequested()) {
        stopped_ = true;
        return result != ReadFailed;
    }
    if (result != ReadFailed) {
        report_.append("確認:(").append(name).append(")ｾｷｭﾘﾃｨｲﾍﾞﾝﾄﾛｸﾞの取得を終了しました。\r\n");
        return true;
    }
    ++failures_;
    report_.append("失敗:(").append(name).append(")ｾｷｭﾘﾃｨﾛｸﾞの取得に失敗しました。\r\n");
    reportWaiting_ = gather_ != nullptr && gather_->load();
    if (!reportWaiting_) reportDialog_.ShowReport();
    return false;
}

}  // namespace kestrel
