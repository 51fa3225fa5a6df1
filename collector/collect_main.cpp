#include "collector/collect_main.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>

#include "analysis/logon_summary.h"
#include "collector/collect_options.h"
#include "collector/computer_list_input.h"
#include "collector/ecs_output.h"
#include "collector/html_report.h"
#include "collector/ordered_output.h"
#include "collector/output_text.h"
#include "collector/progress_line.h"
#include "collector/row_capture.h"
#include "collector/row_output.h"
#include "collector/session_output.h"
#include "collector/summary_output.h"
#include "collector/timesketch_output.h"
#include "engine/collection_run.h"
#include "computers/list_file.h"
#include "platform/cached_message_modules.h"
#include "platform/offline/offline_event_log.h"
#include "platform/timed_event_log.h"

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
    void Event(const LogEvent& event, const TableRow* row, std::string&) override {
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
    Job(const ReaderServices& services, const CollectJob& job, const CollectOptions& options,
        std::unique_ptr<EventOutput> output, OrderedOutput& ordered, ProgressLine& progress, bool keepModules)
        : output_(std::move(output)),
          ordered_(ordered),
          progress_(progress),
          modules_(services.modules, services.errors),
          reader_(WithModules(services, keepModules), job, report_,
                  [this](const LogEvent& event) { HandOn(event); }),
          run_(reader_, job, report_, noList_, row_, noDialog_),
          events_(options.events) {
        run_.UseLog(options.log);
        reader_.ResolveMessageText(options.messages);
    }

    void Read(std::size_t index, const std::string& name) {
        index_ = index;
        output_->BeginComputer(index, name);
        const bool read = run_.ReadComputer(name);
        modules_.Forget();  // the computer is done
        ordered_.Write(index, text_);
        ordered_.Finish(index, std::move(report_), !read, reader_.PassedOverCount() > 0);
        report_.clear();
    }

private:
    ReaderServices WithModules(const ReaderServices& s, bool keepModules) {
        return {s.eventLog,
                s.memory,
                s.errors,
                s.systemTime,
                s.fatal,
                s.registry,
                keepModules ? modules_ : s.modules};
    }

    void HandOn(const LogEvent& event) {
        const TableRow* row = nullptr;
        if (IsTableEvent(event.eventId)) {
            if (events_.Has(event.eventId) && classifier_.InsertEventMessage(event) == 1) row = &row_.Texts();
        } else if (events_.Has(event.eventId)) {
            if (ReadEventDetails(event, details_)) row = &OtherRow(event);
        } else if (IsReadable(event.eventId)) {
            return;  // not asked for: as if the log did not hold it
        }
        if (row != nullptr) progress_.AddRow();
        output_->Event(event, row, text_);
        if (text_.size() >= kWriteSize) ordered_.Write(index_, text_);
    }

    static bool IsTableEvent(std::uint32_t id) { return id == 4624 || id == 4625 || id == 4634; }
    static bool IsReadable(std::uint32_t id) {
        return std::find(std::begin(kReadableEvents), std::end(kReadableEvents), id) !=
               std::end(kReadableEvents);
    }

    // The table's columns of an event the table does not show: its time,
    // account and event ID.
    const TableRow& OtherRow(const LogEvent& event) {
        otherRow_[kColumnTime] = event.timeText;
        otherRow_[kColumnUser] = details_.user;
        otherRow_[kColumnDomain] = details_.domain;
        otherRow_[kColumnEventId] = std::to_string(details_.eventId);
        return otherRow_;
    }

    std::unique_ptr<EventOutput> output_;
    OrderedOutput& ordered_;
    ProgressLine& progress_;
    CachedMessageModules modules_;
    std::string report_;
    std::string text_;
    std::size_t index_ = 0;
    RowCapture row_;
    EventClassifier classifier_{row_};
    NoList noList_;
    NoDialog noDialog_;
    LogReader reader_;
    CollectionRun run_;
    EventSet events_;
    EventDetails details_;
    TableRow otherRow_;  // the columns of the log-on kinds stay empty
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

// Sessions say which had administrator's privileges and how often Remote
// Desktop left them and came back only when those events are read.
bool SessionsMarked(const CollectOptions& options) {
    return options.events.Has(4672) || options.events.Has(4778) || options.events.Has(4779);
}

CsvStyle CsvStyleOf(const CollectOptions& options) { return options.raw ? kRawCsv : kCollectorCsv; }

std::unique_ptr<EventOutput> MakeOutput(const CollectOptions& options, std::vector<LogonSummary>& summaries) {
    const bool json = options.format == OutputFormat::JsonLines;
    switch (options.shape) {
        case OutputShape::Sessions:
            return std::make_unique<SessionOutput>(json, AppendOutputText, CsvStyleOf(options),
                                                   SessionsMarked(options));
        case OutputShape::Summary:
            return std::make_unique<SummaryOutput>(summaries);
        case OutputShape::Rows:
            break;
    }
    if (json) return std::make_unique<JsonRowOutput>(options.messages);
    if (options.format == OutputFormat::Ecs) {
        // The channel as Windows names it; another log as --log gave it.
        return std::make_unique<EcsRowOutput>(options.log == "security" ? "Security" : options.log,
                                              options.messages);
    }
    if (options.format == OutputFormat::Timesketch)
        return std::make_unique<TimesketchRowOutput>(options.messages);
    return std::make_unique<CsvRowOutput>(AppendOutputText, options.details, CsvStyleOf(options),
                                          options.messages);
}

// The computers of the command line or of --list; false with the message.
bool LoadNames(const CollectOptions& options, std::vector<std::string>& names, std::string& error) {
    names = options.computers;
    if (options.listFile.empty()) return true;
    if (!ReadComputerListFile(options.listFile, names, error)) return false;
    if (names.empty()) error = "the list file " + options.listFile + " names no computer";
    return !names.empty();
}

// The service the logs are read through: the exported logs of a folder, or
// the event-log service, each call of which may wait at most --timeout.
// Null with the message when there is none to read through.
std::shared_ptr<EventLogService> ChooseEventLog(const CollectOptions& options,
                                                CollectEnvironment& environment, unsigned threads,
                                                std::string& error) {
    const std::string logDir = !options.logDir.empty() ? options.logDir : environment.logDirVariable;
    if (!logDir.empty()) {
        std::error_code missing;
        if (std::filesystem::is_directory(logDir, missing)) {
            return std::make_shared<OfflineEventLog>(environment.errors, logDir, threads);
        }
        error = "the log folder " + logDir + " does not exist";
        return nullptr;
    }
    if (environment.liveEventLog == nullptr) {
        error = "this system has no event-log service: give --log-dir or KESTREL_LOG_DIR";
        return nullptr;
    }
    if (options.log != "security") {
        // Asked for a log it does not know, the event-log service opens the
        // Application log instead, and its rows would pass for the asked one's.
        error =
            "--log " + options.log +
            ": only the Security log is read through the event-log service; give --log-dir for exported logs";
        return nullptr;
    }
    // The program's own service outlives every call: it is not freed here.
    std::shared_ptr<EventLogService> live(environment.liveEventLog, [](EventLogService*) {});
    if (options.timeoutSeconds == 0) return live;
    return std::make_shared<TimedEventLog>(live, environment.errors, options.timeoutSeconds * 1000u);
}

CollectJob JobOf(const CollectOptions& options, std::time_t now) {
    CollectJob job;
    job.Filter_Security = 1;
    job.Filter_Securityok = 1;
    job.Filter_Securityng = 1;
    job.FromTime = options.from ? *options.from : MidnightDaysBefore(now, 7);
    job.ToLogEnd = options.to ? 0 : 1;
    job.ToTime = options.to ? *options.to : 0;
    return job;
}

// The heading goes out before any log is read.
void WriteHeading(const CollectOptions& options, std::ostream& out) {
    std::string heading;
    if (options.format == OutputFormat::Csv && options.shape == OutputShape::Rows) {
        CsvRowOutput::AppendHeader(AppendOutputText, options.details, heading, options.messages);
    } else if (options.format == OutputFormat::Csv && options.shape == OutputShape::Sessions) {
        SessionOutput::AppendHeader(AppendOutputText, heading, SessionsMarked(options));
    }
    out << heading;
    out.flush();
}

void WriteSummary(const CollectOptions& options, std::vector<LogonSummary>& summaries, std::ostream& out) {
    LogonSummary summary;
    for (LogonSummary& part : summaries) summary.Append(std::move(part));
    const SummaryThresholds thresholds{options.guessFailures, options.sprayUsers,
                                       std::int64_t{options.windowMinutes} * 60};
    const CountedEvents events =
        options.events.Has(4771) || options.events.Has(4776) ? CountedEvents::Named : CountedEvents::Unnamed;
    if (options.format == OutputFormat::JsonLines) {
        WriteSummaryJsonLines(summary, out, thresholds, events);
    } else {
        WriteSummaryTable(summary, out, AppendOutputText, thresholds, events);
    }
}

// The page of --report; false with the message.
bool WriteReport(const CollectOptions& options, const std::vector<std::string>& names,
                 const std::vector<std::size_t>& failed, std::time_t now, HtmlReport& report,
                 std::string& error) {
    ReportRun run{names,
                  failed,
                  JobOf(options, now).FromTime,
                  options.to,
                  options.events,
                  {options.guessFailures, options.sprayUsers, std::int64_t{options.windowMinutes} * 60},
                  now};
    StdListFileSystem files;
    const SaveResult saved = SaveWholeFile(files, options.report, report.Page(run));
    if (saved.Ok()) return true;
    error = "cannot write the report " + options.report + ": " + std::generic_category().message(saved.error);
    return false;
}

// The failed computers as a list file; false with the message.
bool WriteFailedList(const std::string& path, const std::vector<std::string>& names,
                     const std::vector<std::size_t>& failed, std::string& error) {
    std::vector<std::string> list;
    for (const std::size_t index : failed) list.push_back(names[index]);
    StdListFileSystem files;
    const SaveResult saved = SaveListFile(files, path, list);
    if (saved.Ok()) return true;
    error = "cannot write the failed list " + path + ": " + std::generic_category().message(saved.error);
    return false;
}

}  // namespace

int RunCollector(const std::vector<std::string>& arguments, CollectEnvironment& environment,
                 std::ostream& out, std::ostream& err) {
    const ParsedOptions parsed = ParseCollectOptions(arguments);
    if (parsed.options.help) {
        out << kCollectUsage;
        return kCollectAllRead;
    }
    if (parsed.options.version) {
        out << "kestrel-collect " KESTREL_VERSION "\n";
        return kCollectAllRead;
    }
    if (!parsed.error.empty()) return UsageError(err, parsed.error);
    const CollectOptions& options = parsed.options;
    std::vector<std::string> names;
    std::string error;
    if (!LoadNames(options, names, error)) return UsageError(err, error);

    const bool offline = !options.logDir.empty() || !environment.logDirVariable.empty();
    // Through the service the time goes to the network, not to the cores.
    const unsigned jobs = std::min<std::size_t>(options.jobs != 0 ? options.jobs
                                                : offline         ? Cores()
                                                                  : 32u,
                                                names.size());
    // Unless told, the cores are shared among the jobs.
    const unsigned threads = options.threads != 0 ? options.threads : std::clamp(Cores() / jobs, 1u, 4u);
    const std::shared_ptr<EventLogService> eventLog = ChooseEventLog(options, environment, threads, error);
    if (eventLog == nullptr) return UsageError(err, error);

    const CollectJob job = JobOf(options, environment.now);
    WriteHeading(options, out);
    const CollectEnvironment& e = environment;
    const ReaderServices services{*eventLog, e.memory,   e.errors, e.systemTime,
                                  e.fatal,   e.registry, e.modules};
    ProgressLine progress(err, names.size(), options.progress.value_or(e.errIsTerminal));
    OrderedOutput ordered(out, err, names.size(), "確認:ｲﾍﾞﾝﾄﾛｸﾞの取得を開始します。\r\n");
    ordered.ShowProgress(progress);
    std::vector<LogonSummary> summaries(options.shape == OutputShape::Summary ? names.size() : 0);
    std::unique_ptr<HtmlReport> report =
        options.report.empty() ? nullptr : std::make_unique<HtmlReport>(names.size());
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        std::unique_ptr<EventOutput> output = MakeOutput(options, summaries);
        if (report != nullptr) output = report->Feed(std::move(output));
        Job reading(services, job, options, std::move(output), ordered, progress, e.keepModulesLoaded);
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

    if (options.shape == OutputShape::Summary) WriteSummary(options, summaries, out);
    ordered.End();
    progress.End();
    // Rows lost to damage count as a computer not read whole.
    int code = ordered.Failures() == 0 && ordered.PassedOver() == 0 ? kCollectAllRead : kCollectSomeFailed;
    if (!options.failedList.empty() && !WriteFailedList(options.failedList, names, ordered.Failed(), error)) {
        err << "kestrel-collect: " << error << "\n";
        code = kCollectSomeFailed;
    }
    // The run's code stays; a page that cannot be written makes it 1 at least.
    if (report != nullptr && !WriteReport(options, names, ordered.Failed(), e.now, *report, error)) {
        err << "kestrel-collect: " << error << "\n";
        code = kCollectSomeFailed;
    }
    return code;
}

}  // namespace kestrel
