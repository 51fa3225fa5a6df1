#pragma once
// --report FILE.html: one page of a run, in Japanese, to look at and hand on.
// A browser opens it with nothing else: no script, nothing from the network,
// the chart inline SVG. Its counts and warnings are the summary's own.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/event_details.h"
#include "analysis/event_set.h"
#include "analysis/logon_summary.h"
#include "collector/event_output.h"
#include "collector/report_chart.h"

namespace kestrel {

// What the run knows beyond its events.
struct ReportRun {
    std::vector<std::string> computers;  // as named (CP932), in list order
    std::vector<std::size_t> failed;     // places in computers of those that failed, in order
    std::time_t from = 0;                // local midnight of the first day
    std::optional<std::time_t> to;       // local midnight of the last day; none: to the end of the logs
    EventSet events = EventSet::Logon();
    SummaryThresholds thresholds;
    std::time_t made = 0;  // when the run began
};

class HtmlReport {
public:
    explicit HtmlReport(std::size_t computers) : parts_(computers) {}
    HtmlReport(const HtmlReport&) = delete;
    HtmlReport& operator=(const HtmlReport&) = delete;

    // A reading job's output: each event goes on to next, and what the page
    // counts of it to the part of the computer being read, so that jobs
    // share nothing.
    std::unique_ptr<EventOutput> Feed(std::unique_ptr<EventOutput> next);

    // The page in UTF-8, from the parts in list order; once, after every job.
    std::string Page(const ReportRun& run);

private:
    class Feeder;
    struct Part {
        LogonSummary summary;
        HourlyCounts hours;
        std::uint64_t rows = 0;
    };
    std::vector<Part> parts_;
};

}  // namespace kestrel
