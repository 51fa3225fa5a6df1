#include "collector/collect_main.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>

#include "analysis/logon_summary.h"
#include "collector/collect_options.h"
#include "collector/computer_list_input.h"
#include "collector/ordered_output.h"
#include "collector/output_text.h"
#include "collector/row_capture.h"
#include "collector/row_output.h"
#include "collector/session_output.h"
#include "collector/summary_output.h"
#include "engine/collection_run.h"
#include "platform/offline/offline_event_log.h"

namespace kestrel {
namespace {

// Each computer's text goes to the ordered output in pieces this large.
constexpr std::size_t kWriteSize = 64 * 1024;

class NoList final : public ComputerListPort {
public:
    std::vector<std::string> ComputerNames() override { return {}; }
};

// A failed computer is written with its report by the ordered output.
class NoDialog final : public ReportPort {
public:
    void ShowReport() override {}
};

// Rows into one summary a computer, appended in list order at the end.
class SummaryOutput final : public EventOutput {
public:
    explicit SummaryOutput(std::vector<LogonSummary>& summaries) : summaries_(summaries) {}
    void BeginComputer(std::size_t index, const std::string& computer) override {
        summary_ = &summaries_[index];
        computer_ = computer;
    }
    void Event(const LogEvent& event, const std::array<std::string, 8>* row, std::string&) override {
        if (row != nullptr && ReadEventDetails(event, details_)) summary_->Add(computer_, details_);
    }

private:
    std::vector<LogonSummary>& summaries_;
    LogonSummary* summary_ = nullptr;
    std::string computer_;
    EventDetails details_;
};

// One reading job: its own reader, table row, report and output, taking the
// computers it is given one at a time.
class Job {
public:
    Job(const ReaderServices& services, const CollectJob& job, const std::string& log,
        std::unique_ptr<EventOutput> output, OrderedOutput& ordered)
        : output_(std::move(output)),
          ordered_(ordered),
          reader_(services, job, report_, [this](const LogEvent& event) { HandOn(event); }),
          run_(reader_, job, report_, noList_, row_, noDialog_) {
        run_.UseLog(log);
    }

    void Read(std::size_t index, const std::string& name) {
        index_ = index;
        output_->BeginComputer(index, name);
        const bool read = run_.ReadComputer(name);
        ordered_.Write(index, text_);
        ordered_.Finish(index, std::move(report_), !read, reader_.PassedOverCount() > 0);
        report_.clear();
    }

private:
    void HandOn(const LogEvent& event) {
        const bool kept = classifier_.InsertEventMessage(event) == 1;
        output_->Event(event, kept ? &row_.Texts() : nullptr, text_);
        if (text_.size() >= kWriteSize) ordered_.Write(index_, text_);
    }

    std::unique_ptr<EventOutput> output_;
    OrderedOutput& ordered_;
    std::string report_;
    std::string text_;
    std::size_t index_ = 0;
    RowCapture row_;
    EventClassifier classifier_{row_};
    NoList noList_;
    NoDialog noDialog_;
    LogReader reader_;
    CollectionRun run_;
};

int UsageError(std::ostream& err, const std::string& message) {
    err << "kestrel-collect: " << message << "\n"
        << "Try 'kestrel-collect --help'.\n";
    return kCollectUsageError;
}

// Local midnight of the day that lies days before now.
std::time_t MidnightDaysBefore(std::time_t now, int days) {
    std::time_t then = now - static_cast<std::time_t>(days) * 86400;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &then);
#else
    localtime_r(&then, &local);
#endif
    local.tm_hour = local.tm_min = local.tm_sec = 0;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

unsigned Cores() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

CsvStyle CsvStyleOf(const CollectOptions& options) { return options.raw ? kRawCsv : kCollectorCsv; }

std::unique_ptr<EventOutput> MakeOutput(const CollectOptions& options, std::vector<LogonSummary>& summaries) {
    const bool json = options.format == OutputFormat::JsonLines;
    switch (options.shape) {
        case OutputShape::Sessions:
            return std::make_unique<SessionOutput>(json, AppendOutputText, CsvStyleOf(options));
        case OutputShape::Summary:
            return std::make_unique<SummaryOutput>(summaries);
        case OutputShape::Rows:
            break;
    }
    if (json) return std::make_unique<JsonRowOutput>();
    return std::make_unique<CsvRowOutput>(AppendOutputText, options.details, CsvStyleOf(options));
}

}  // namespace

int RunCollector(const std::vector<std::string>& arguments, CollectEnvironment& environment,
                 std::ostream& out, std::ostream& err) {
    const ParsedOptions parsed = ParseCollectOptions(arguments);
    if (parsed.options.help) {
        out << kCollectUsage;
        return kCollectAllRead;
    }
    if (!parsed.error.empty()) return UsageError(err, parsed.error);
    const CollectOptions& options = parsed.options;

    std::vector<std::string> names = options.computers;
    if (!options.listFile.empty()) {
        std::string error;
        if (!ReadComputerListFile(options.listFile, names, error)) return UsageError(err, error);
        if (names.empty()) return UsageError(err, "the list file " + options.listFile + " names no computer");
    }

    const unsigned jobs = std::min<std::size_t>(options.jobs != 0 ? options.jobs : Cores(), names.size());
    // Unless told, the cores are shared among the jobs.
    const unsigned threads = options.threads != 0 ? options.threads : std::clamp(Cores() / jobs, 1u, 4u);

    const std::string logDir = !options.logDir.empty() ? options.logDir : environment.logDirVariable;
    std::unique_ptr<EventLogService> offline;
    EventLogService* eventLog = environment.liveEventLog;
    if (!logDir.empty()) {
        std::error_code error;
        if (!std::filesystem::is_directory(logDir, error)) {
            return UsageError(err, "the log folder " + logDir + " does not exist");
        }
        offline = std::make_unique<OfflineEventLog>(environment.errors, logDir, threads);
        eventLog = offline.get();
    }
    if (eventLog == nullptr) {
        return UsageError(err, "this system has no event-log service: give --log-dir or KESTREL_LOG_DIR");
    }
    if (offline == nullptr && options.log != "security") {
        // Asked for a log it does not know, the event-log service opens the
        // Application log instead, and its rows would pass for the asked one's.
        return UsageError(err, "--log " + options.log +
                                   ": only the Security log is read through the event-log service; "
                                   "give --log-dir for exported logs");
    }

    CollectJob job;
    job.Filter_Security = 1;
    job.Filter_Securityok = 1;
    job.Filter_Securityng = 1;
    job.FromTime = options.from ? *options.from : MidnightDaysBefore(environment.now, 7);
    job.ToLogEnd = options.to ? 0 : 1;
    job.ToTime = options.to ? *options.to : 0;

    // The heading goes out before any log is read.
    std::string heading;
    if (options.format == OutputFormat::Csv && options.shape == OutputShape::Rows) {
        CsvRowOutput::AppendHeader(AppendOutputText, options.details, heading);
    } else if (options.format == OutputFormat::Csv && options.shape == OutputShape::Sessions) {
        SessionOutput::AppendHeader(AppendOutputText, heading);
    }
    out << heading;
    out.flush();

    const CollectEnvironment& e = environment;
    const ReaderServices services{*eventLog, e.memory,   e.errors, e.systemTime,
                                  e.fatal,   e.registry, e.modules};
    OrderedOutput ordered(out, err, names.size(), "確認:ｲﾍﾞﾝﾄﾛｸﾞの取得を開始します。\r\n");
    std::vector<LogonSummary> summaries(options.shape == OutputShape::Summary ? names.size() : 0);
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        Job reading(services, job, options.log, MakeOutput(options, summaries), ordered);
        for (std::size_t index; (index = next.fetch_add(1)) < names.size();)
            reading.Read(index, names[index]);
    };
    if (jobs <= 1) {
        work();
    } else {
        std::vector<std::thread> workers;
        for (unsigned i = 0; i < jobs; ++i) workers.emplace_back(work);
        for (std::thread& worker : workers) worker.join();
    }

    if (options.shape == OutputShape::Summary) {
        LogonSummary summary;
        for (LogonSummary& part : summaries) summary.Append(std::move(part));
        const SummaryThresholds thresholds{options.guessFailures, options.sprayUsers,
                                           std::int64_t{options.windowMinutes} * 60};
        if (options.format == OutputFormat::JsonLines) {
            WriteSummaryJsonLines(summary, out, thresholds);
        } else {
            WriteSummaryTable(summary, out, AppendOutputText, thresholds);
        }
    }
    ordered.End();
    // Rows lost to damage count as a computer not read whole.
    return ordered.Failures() == 0 && ordered.PassedOver() == 0 ? kCollectAllRead : kCollectSomeFailed;
}

}  // namespace kestrel
