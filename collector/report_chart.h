#pragma once
// The report's bar chart: logons and failed logons per hour over a window of
// up to three days, per day over a longer one, as inline SVG.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kestrel {

struct LogonCounts {
    std::uint64_t logons = 0, failures = 0;
};

// By local hour: hours since 1970-01-01 00:00 of local time, so that a day's
// hours are those of its calendar day wherever the clock was set.
using HourlyCounts = std::map<std::int64_t, LogonCounts>;

// A window of at most this many hours is shown by hour.
inline constexpr std::int64_t kHourlyChartHours = 72;

struct ChartBar {
    std::int64_t hour = 0;  // the local hour it starts at
    LogonCounts counts;
};

struct ChartBars {
    bool hourly = true;
    std::vector<ChartBar> bars;  // one a slot, the empty ones too
};

// The slots of the run's window (local hours; last: none when the run reads
// to the end of the log), cut to the days that have counts; none without counts.
ChartBars MakeChartBars(const HourlyCounts& counts, std::int64_t windowFirst,
                        std::optional<std::int64_t> windowLast);

// An <svg> with two bars a slot (class "logon", class "fail"), each with a
// <title> saying what it counts, under a scale and over labels of the time.
void AppendChartSvg(const ChartBars& chart, std::string& out);

}  // namespace kestrel
