#include "collector/run_output.h"

#include <functional>
#include <utility>
#include <vector>

#include "analysis/logon_summary.h"
#include "collector/ecs_output.h"
#include "collector/output_text.h"
#include "collector/row_output.h"
#include "collector/session_output.h"
#include "collector/summary_output.h"
#include "collector/timesketch_output.h"

namespace kestrel {
namespace {

using MakeJobOutput = std::function<std::unique_ptr<EventOutput>()>;

// Rows or sessions: each job writes its lines as it reads them.
class LineOutput final : public RunOutput {
public:
    LineOutput(std::string heading, MakeJobOutput make)
        : heading_(std::move(heading)), make_(std::move(make)) {}
    void AppendHeading(std::string& out) const override { out += heading_; }
    std::unique_ptr<EventOutput> JobOutput() override { return make_(); }

private:
    std::string heading_;
    MakeJobOutput make_;
};

// Rows into one summary a computer, appended in list order at the end.
class SummaryPart final : public EventOutput {
public:
    explicit SummaryPart(std::vector<LogonSummary>& summaries) : summaries_(summaries) {}
    void BeginComputer(std::size_t index, const std::string& computer) override {
        summary_ = &summaries_[index];
        computer_ = computer;
    }
    void Event(const LogEvent& event, const TableRow* row, const EventDetails* details,
               std::string&) override {
        if (row == nullptr) return;
        if (const EventDetails* d = DetailsOf(event, details, details_)) summary_->Add(computer_, *d);
    }

private:
    std::vector<LogonSummary>& summaries_;
    LogonSummary* summary_ = nullptr;
    std::string computer_;
    EventDetails details_;
};

class SummaryRunOutput final : public RunOutput {
public:
    SummaryRunOutput(const CollectOptions& options, std::size_t computers)
        : json_(options.format == OutputFormat::JsonLines),
          thresholds_{options.guessFailures, options.sprayUsers, std::int64_t{options.windowMinutes} * 60},
          events_(options.events.Has(4771) || options.events.Has(4776) ? CountedEvents::Named
                                                                       : CountedEvents::Unnamed),
          summaries_(computers) {}

    std::unique_ptr<EventOutput> JobOutput() override { return std::make_unique<SummaryPart>(summaries_); }

    void WriteEnd(std::ostream& out) override {
        LogonSummary summary;
        for (LogonSummary& part : summaries_) summary.Append(std::move(part));
        if (json_) {
            WriteSummaryJsonLines(summary, out, thresholds_, events_);
        } else {
            WriteSummaryTable(summary, out, AppendOutputText, thresholds_, events_);
        }
    }

private:
    bool json_;
    SummaryThresholds thresholds_;
    CountedEvents events_;
    std::vector<LogonSummary> summaries_;
};

// Sessions say which had administrator's privileges and how often Remote
// Desktop left them and came back only when those events are read.
bool SessionsMarked(const CollectOptions& options) {
    return options.events.Has(4672) || options.events.Has(4778) || options.events.Has(4779);
}

std::unique_ptr<RunOutput> Lines(std::string heading, MakeJobOutput make) {
    return std::make_unique<LineOutput>(std::move(heading), std::move(make));
}

std::unique_ptr<RunOutput> SessionLines(const CollectOptions& o) {
    const bool json = o.format == OutputFormat::JsonLines;
    const bool marked = SessionsMarked(o);
    const CsvStyle style = o.raw ? kRawCsv : kCollectorCsv;
    std::string heading;
    if (!json) SessionOutput::AppendHeader(AppendOutputText, heading, marked);
    return Lines(heading,
                 [=] { return std::make_unique<SessionOutput>(json, AppendOutputText, style, marked); });
}

std::unique_ptr<RunOutput> RowLines(const CollectOptions& o) {
    const bool messages = o.messages;
    switch (o.format) {
        case OutputFormat::JsonLines:
            return Lines({}, [=] { return std::make_unique<JsonRowOutput>(messages); });
        case OutputFormat::Ecs: {
            // The channel as Windows names it; another log as --log gave it.
            const std::string channel = o.log == "security" ? "Security" : o.log;
            return Lines({}, [=] { return std::make_unique<EcsRowOutput>(channel, messages); });
        }
        case OutputFormat::Timesketch:
            return Lines({}, [=] { return std::make_unique<TimesketchRowOutput>(messages); });
        case OutputFormat::Csv:
            break;
    }
    const bool details = o.details;
    const CsvStyle style = o.raw ? kRawCsv : kCollectorCsv;
    std::string heading;
    CsvRowOutput::AppendHeader(AppendOutputText, details, heading, messages);
    return Lines(heading,
                 [=] { return std::make_unique<CsvRowOutput>(AppendOutputText, details, style, messages); });
}

}  // namespace

std::unique_ptr<RunOutput> MakeRunOutput(const CollectOptions& options, std::size_t computers) {
    switch (options.shape) {
        case OutputShape::Sessions:
            return SessionLines(options);
        case OutputShape::Summary:
            return std::make_unique<SummaryRunOutput>(options, computers);
        case OutputShape::Rows:
            break;
    }
    return RowLines(options);
}

}  // namespace kestrel
