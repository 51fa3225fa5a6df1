#include "collector/report_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/event_details.h"

namespace kestrel {
namespace {

constexpr double kWidth = 960, kHeight = 270;
constexpr double kLeft = 56, kRight = 8, kTop = 30, kBottom = 44;
constexpr double kPlotWidth = kWidth - kLeft - kRight, kPlotHeight = kHeight - kTop - kBottom;
constexpr double kLabelSpacing = 64;  // the least room a time label needs

std::int64_t DayOf(std::int64_t hour) { return hour >= 0 ? hour / 24 : (hour - 23) / 24; }
std::int64_t DayStart(std::int64_t hour) { return DayOf(hour) * 24; }
std::int64_t DayEnd(std::int64_t hour) { return DayStart(hour) + 23; }

void AppendNumber(double value, std::string& out) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    out += text;
}

// "2024/03/14 09": the date and hour of a local hour.
std::string HourText(std::int64_t hour) {
    std::string text;
    AppendLocalTimeText(hour * 3600, 0, text);
    return text.substr(0, 13);
}

// A step of the scale, 1, 2 or 5 times a power of ten, that takes at most
// five to pass the highest bar.
std::uint64_t ScaleStep(std::uint64_t highest) {
    for (std::uint64_t power = 1;; power *= 10) {
        for (const std::uint64_t step : {power, power * 2, power * 5}) {
            if (step * 5 >= highest) return step;
        }
    }
}

// Every how many slots a label goes: for hours a divisor of a day, so that
// they fall on the same hours each day.
std::size_t LabelEvery(const ChartBars& chart, double slot) {
    const auto fits = [&](std::size_t every) { return static_cast<double>(every) * slot >= kLabelSpacing; };
    if (chart.hourly) {
        for (const std::size_t every : {1, 2, 3, 4, 6, 12}) {
            if (fits(every)) return every;
        }
        return 24;
    }
    std::size_t every = 1;
    while (!fits(every)) ++every;
    return every;
}

void AppendScale(std::uint64_t step, std::uint64_t top, std::string& out) {
    for (std::uint64_t value = 0; value <= top; value += step) {
        const double y =
            kTop + kPlotHeight - kPlotHeight * static_cast<double>(value) / static_cast<double>(top);
        out += "<line class=\"grid\" x1=\"" + std::to_string(static_cast<int>(kLeft)) + "\" x2=\"" +
               std::to_string(static_cast<int>(kWidth - kRight)) + "\" y1=\"";
        AppendNumber(y, out);
        out += "\" y2=\"";
        AppendNumber(y, out);
        out += "\"/><text class=\"scale\" x=\"" + std::to_string(static_cast<int>(kLeft - 6)) + "\" y=\"";
        AppendNumber(y + 4, out);
        out += "\">" + std::to_string(value) + "</text>\n";
    }
}

void AppendBar(const char* type, double x, double width, std::uint64_t value, std::uint64_t top,
               const std::string& title, std::string& out) {
    const double height = kPlotHeight * static_cast<double>(value) / static_cast<double>(top);
    out += "<rect class=\"";
    out += type;
    out += "\" x=\"";
    AppendNumber(x, out);
    out += "\" y=\"";
    AppendNumber(kTop + kPlotHeight - height, out);
    out += "\" width=\"";
    AppendNumber(width, out);
    out += "\" height=\"";
    AppendNumber(height, out);
    out += "\"><title>" + title + " " + std::to_string(value) + "</title></rect>";
}

void AppendLegend(std::string& out) {
    out +=
        "<rect class=\"logon key\" x=\"56\" y=\"8\" width=\"12\" height=\"12\"/>"
        "<text x=\"74\" y=\"19\">ログオン</text>"
        "<rect class=\"fail key\" x=\"150\" y=\"8\" width=\"12\" height=\"12\"/>"
        "<text x=\"168\" y=\"19\">ログオン失敗</text>\n";
}

// "03/14", or by hour "03/14 09時", under the slot at x.
void AppendTimeLabel(double x, const std::string& hourText, bool hourly, std::string& out) {
    out += "<text class=\"time\" x=\"";
    AppendNumber(x, out);
    out.append("\" y=\"").append(std::to_string(static_cast<int>(kHeight - kBottom + 16))).append("\">");
    out.append(hourText, 5, 5);
    if (hourly) out.append(" ").append(hourText, 11, 2).append("時");
    out += "</text>\n";
}

}  // namespace

ChartBars MakeChartBars(const HourlyCounts& counts, std::int64_t windowFirst,
                        std::optional<std::int64_t> windowLast) {
    ChartBars chart;
    if (counts.empty()) return chart;
    const std::int64_t firstCounted = counts.begin()->first, lastCounted = counts.rbegin()->first;
    // A long window shows the days that have something, and never hides a count.
    std::int64_t first = std::min(std::max(windowFirst, DayStart(firstCounted)), firstCounted);
    std::int64_t last =
        std::max(std::min(windowLast.value_or(DayEnd(lastCounted)), DayEnd(lastCounted)), lastCounted);
    chart.hourly = last - first + 1 <= kHourlyChartHours;
    if (!chart.hourly) {
        first = DayStart(first);
        last = DayStart(last);
    }
    const std::int64_t slot = chart.hourly ? 1 : 24;
    auto counted = counts.lower_bound(first);
    for (std::int64_t hour = first; hour <= last; hour += slot) {
        ChartBar& bar = chart.bars.emplace_back();
        bar.hour = hour;
        for (; counted != counts.end() && counted->first < hour + slot; ++counted) {
            bar.counts.logons += counted->second.logons;
            bar.counts.failures += counted->second.failures;
        }
    }
    return chart;
}

void AppendChartSvg(const ChartBars& chart, std::string& out) {
    std::uint64_t highest = 0;
    for (const ChartBar& bar : chart.bars)
        highest = std::max({highest, bar.counts.logons, bar.counts.failures});
    const std::uint64_t step = ScaleStep(std::max<std::uint64_t>(highest, 1));
    const std::uint64_t top = (std::max<std::uint64_t>(highest, 1) + step - 1) / step * step;
    const double slot = kPlotWidth / static_cast<double>(std::max<std::size_t>(chart.bars.size(), 1));
    const std::size_t labelEvery = LabelEvery(chart, slot);

    out += "<svg class=\"chart\" viewBox=\"0 0 " + std::to_string(static_cast<int>(kWidth)) + " " +
           std::to_string(static_cast<int>(kHeight)) + "\" role=\"img\" aria-label=\"" +
           (chart.hourly ? "1時間" : "1日") + "ごとのログオンとログオン失敗\">\n";
    AppendLegend(out);
    AppendScale(step, top, out);
    for (std::size_t i = 0; i < chart.bars.size(); ++i) {
        const ChartBar& bar = chart.bars[i];
        const std::string when = chart.hourly ? HourText(bar.hour) + "時" : HourText(bar.hour).substr(0, 10);
        const double x = kLeft + slot * static_cast<double>(i);
        AppendBar("logon", x + slot * 0.1, slot * 0.4, bar.counts.logons, top, when + " ログオン", out);
        AppendBar("fail", x + slot * 0.5, slot * 0.4, bar.counts.failures, top, when + " ログオン失敗", out);
        out += '\n';
        const auto every = static_cast<std::int64_t>(labelEvery);
        const std::int64_t place =
            chart.hourly ? (bar.hour % every + every) % every : static_cast<std::int64_t>(i) % every;
        if (place != 0) continue;
        AppendTimeLabel(x + 1, HourText(bar.hour), chart.hourly, out);
    }
    out += "</svg>\n";
}

}  // namespace kestrel
