#include "collector/collect_main.h"

#include <memory>
#include <system_error>

#include "collector/collect_options.h"
#include "collector/computer_list_input.h"
#include "collector/html_report.h"
#include "collector/log_access.h"
#include "collector/ordered_output.h"
#include "collector/progress_line.h"
#include "collector/reading_job.h"
#include "collector/run_output.h"
#include "computers/list_file.h"

namespace kestrel {
namespace {

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

// The computers of the command line or of --list; false with the message.
bool LoadNames(const CollectOptions& options, std::vector<std::string>& names, std::string& error) {
    names = options.computers;
    if (options.listFile.empty()) return true;
    if (!ReadComputerListFile(options.listFile, names, error)) return false;
    if (names.empty()) error = "the list file " + options.listFile + " names no computer";
    return !names.empty();
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

// The failed list and the page, after the run; the run's code, made 1 at
// least by a file that cannot be written.
int Finish(const CollectOptions& options, const std::vector<std::string>& names, const OrderedOutput& ordered,
           std::time_t now, HtmlReport* report, std::ostream& err) {
    // Rows lost to damage count as a computer not read whole.
    int code = ordered.Failures() == 0 && ordered.PassedOver() == 0 ? kCollectAllRead : kCollectSomeFailed;
    std::string error;
    if (!options.failedList.empty() && !WriteFailedList(options.failedList, names, ordered.Failed(), error)) {
        err << "kestrel-collect: " << error << "\n";
        code = kCollectSomeFailed;
    }
    if (report != nullptr && !WriteReport(options, names, ordered.Failed(), now, *report, error)) {
        err << "kestrel-collect: " << error << "\n";
        code = kCollectSomeFailed;
    }
    return code;
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
    const LogAccess access = ChooseLogAccess(options, environment, names.size(), error);
    if (access.eventLog == nullptr) return UsageError(err, error);

    const std::unique_ptr<RunOutput> output = MakeRunOutput(options, names.size());
    std::string heading;  // out before any log is read
    output->AppendHeading(heading);
    out << heading;
    out.flush();

    const CollectEnvironment& e = environment;
    const ReaderServices services{*access.eventLog, e.memory,   e.errors, e.systemTime,
                                  e.fatal,          e.registry, e.modules};
    const CollectJob job = JobOf(options, e.now);
    ProgressLine progress(err, names.size(), options.progress.value_or(e.errIsTerminal));
    OrderedOutput ordered(out, err, names.size(), "確認:ｲﾍﾞﾝﾄﾛｸﾞの取得を開始します。\r\n");
    ordered.ShowProgress(progress);
    std::unique_ptr<HtmlReport> report =
        options.report.empty() ? nullptr : std::make_unique<HtmlReport>(names.size());
    ReadComputers(names, access.jobs, {services, job, options, ordered, progress, e.keepModulesLoaded}, [&] {
        std::unique_ptr<EventOutput> jobOutput = output->JobOutput();
        return report != nullptr ? report->Feed(std::move(jobOutput)) : std::move(jobOutput);
    });

    output->WriteEnd(out);
    ordered.End();
    progress.End();
    return Finish(options, names, ordered, e.now, report.get(), err);
}

}  // namespace kestrel
