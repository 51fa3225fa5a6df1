#include "collector/collect_main.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "collector/collect_options.h"
#include "collector/csv_table.h"
#include "collector/output_text.h"
#include "computers/list_file.h"
#include "engine/collection_run.h"
#include "platform/offline/offline_event_log.h"

namespace kestrel {
namespace {

class NameList final : public ComputerListPort {
public:
    explicit NameList(std::vector<std::string> names) : names_(std::move(names)) {}
    std::vector<std::string> ComputerNames() override { return names_; }

private:
    std::vector<std::string> names_;
};

// A failed computer: the report so far goes out at once, as the program
// would show it, and the failure is remembered for the exit code. The rows
// read before go out first, so a terminal shows both in the order they came.
class ReportToStream final : public ReportPort {
public:
    ReportToStream(const std::string& report, CsvTable& table, std::ostream& err)
        : report_(report), table_(table), err_(err) {}
    void ShowReport() override {
        ++failures;
        table_.Flush();
        Flush();
    }
    void Flush() {
        err_ << ToOutputText(report_.substr(written_));
        written_ = report_.size();
    }
    int failures = 0;

private:
    const std::string& report_;
    CsvTable& table_;
    std::ostream& err_;
    std::size_t written_ = 0;
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
        std::ifstream in(options.listFile, std::ios::binary);
        if (!in) return UsageError(err, "cannot read the list file " + options.listFile);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const ListFileContents list = ReadListFile(bytes);
        if (list.stop == ListStop::NameTooLong) {
            return UsageError(err, "line " + std::to_string(list.stopLine) + " of the list file " +
                                       options.listFile + " names a computer of more than 32 bytes");
        }
        names = list.names;
        if (names.empty()) return UsageError(err, "the list file " + options.listFile + " names no computer");
    }

    const std::string logDir = !options.logDir.empty() ? options.logDir : environment.logDirVariable;
    std::unique_ptr<EventLogService> offline;
    EventLogService* eventLog = environment.liveEventLog;
    if (!logDir.empty()) {
        std::error_code error;
        if (!std::filesystem::is_directory(logDir, error)) {
            return UsageError(err, "the log folder " + logDir + " does not exist");
        }
        offline = std::make_unique<OfflineEventLog>(environment.errors, logDir, options.threads);
        eventLog = offline.get();
    }
    if (eventLog == nullptr) {
        return UsageError(err, "this system has no event-log service: give --log-dir or KESTREL_LOG_DIR");
    }

    CollectJob job;
    job.Filter_Security = 1;
    job.Filter_Securityok = 1;
    job.Filter_Securityng = 1;
    job.FromTime = options.from ? *options.from : MidnightDaysBefore(environment.now, 7);
    job.ToLogEnd = options.to ? 0 : 1;
    job.ToTime = options.to ? *options.to : 0;

    const CollectEnvironment& e = environment;
    const ReaderServices chosen{*eventLog, e.memory, e.errors,  e.systemTime,
                                e.fatal,   e.registry, e.modules};
    std::string report;
    // Each row goes out as soon as it is complete: the memory stays the same
    // however long the logs are.
    CsvTable table(out, AppendOutputText);
    EventClassifier classifier(table);
    LogReader reader(chosen, job, report, classifier);
    NameList list(names);
    ReportToStream reportOut(report, table, err);
    CollectionRun run(reader, job, report, list, table, reportOut);
    run.OnComputer([&table](const std::string& name) { table.SetComputer(name); });
    run.Run();
    table.Flush();
    reportOut.Flush();
    return reportOut.failures == 0 ? kCollectAllRead : kCollectSomeFailed;
}

}  // namespace kestrel
