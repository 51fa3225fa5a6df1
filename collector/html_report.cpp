#include "collector/html_report.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <ranges>
#include <utility>

#include "analysis/summary_warnings.h"
#include "base/civil_date.h"
#include "base/comma_list.h"
#include "collector/html_text.h"
#include "collector/json_text.h"
#include "platform/local_time.h"

namespace kestrel {

class HtmlReport::Feeder final : public EventOutput {
public:
    Feeder(std::vector<Part>& parts, std::unique_ptr<EventOutput> next)
        : parts_(parts), next_(std::move(next)) {}

    void BeginComputer(std::size_t index, const std::string& computer) override {
        next_->BeginComputer(index, computer);
        part_ = &parts_[index];
        computer_ = computer;
    }

    // Only the rows the run writes count, as they do for --summary.
    void Event(const LogEvent& event, const TableRow* row, const EventDetails* details,
               std::string& out) override {
        // Read here, the details go on to the next output with the event.
        const EventDetails* d = row != nullptr ? DetailsOf(event, details, details_) : details;
        next_->Event(event, row, d, out);
        if (row == nullptr) return;
        ++part_->rows;
        if (d == nullptr) return;
        part_->summary.Add(computer_, *d);
        const bool failure = CountsAsFailure(*d);
        if (!failure && d->kind != EventKind::Logon) return;
        const std::int64_t local = d->utc + d->utcOffset;
        LogonCounts& hour = part_->hours[local >= 0 ? local / 3600 : (local - 3599) / 3600];
        ++(failure ? hour.failures : hour.logons);
    }

private:
    std::vector<Part>& parts_;
    std::unique_ptr<EventOutput> next_;
    Part* part_ = nullptr;
    std::string computer_;
    EventDetails details_;
};

std::unique_ptr<EventOutput> HtmlReport::Feed(std::unique_ptr<EventOutput> next) {
    return std::make_unique<Feeder>(parts_, std::move(next));
}

namespace {

// The most lines of a table that ranks, and of the failed computers named.
constexpr std::size_t kTopLines = 10;
constexpr std::size_t kFailedNamed = 100;
// Beyond this many computers the logons are listed by account, not as a grid.
constexpr std::size_t kGridComputers = 20;

const char kStyle[] =
    "body{font-family:\"Noto Sans CJK JP\",\"IPAGothic\",\"Yu Gothic\",\"Meiryo\",sans-serif;"
    "margin:24px;color:#222;background:#fff;max-width:1040px}\n"
    "h1{font-size:22px;border-bottom:2px solid #3b6fb6;padding-bottom:4px}\n"
    "h2{font-size:17px;margin-top:28px;border-left:4px solid #3b6fb6;padding-left:8px}\n"
    "table{border-collapse:collapse;font-size:13px}\n"
    "th,td{border:1px solid #ccc;padding:3px 8px;text-align:left;vertical-align:top;overflow-wrap:anywhere}\n"
    "th{background:#eef2f8}\n"
    "td.n{text-align:right;font-variant-numeric:tabular-nums}\n"
    "td.z{color:#bbb}\n"
    ".bar{display:inline-block;height:10px;background:#d1453b}\n"
    "ul.warnings li{margin:4px 0;overflow-wrap:anywhere}\n"
    "li.warn{color:#a02018}\n"
    "p.note{font-size:12px;color:#555}\n"
    "svg.chart{width:100%;height:auto;max-width:960px}\n"
    "svg .logon{fill:#3b6fb6} svg .fail{fill:#d1453b} svg .grid{stroke:#ddd}\n"
    "svg text{font-size:11px;fill:#444} svg .scale{text-anchor:end}\n";

// "2024/03/15", with " 12:00:00" when asked, of a moment in local time.
std::string LocalText(std::time_t t, bool withTime) {
    const std::optional<std::tm> local = ToLocalTime(t);
    if (!local) return "?";
    char text[40];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d", local->tm_year + 1900, local->tm_mon + 1,
                  local->tm_mday);
    std::string out = text;
    if (withTime) {
        std::snprintf(text, sizeof text, " %02d:%02d:%02d", local->tm_hour, local->tm_min, local->tm_sec);
        out += text;
    }
    return out;
}

// The local hour of a moment, as HourlyCounts counts them.
std::int64_t LocalHour(std::time_t t) {
    const std::optional<std::tm> local = ToLocalTime(t);
    if (!local) return 0;
    return DaysFromCivil(local->tm_year + 1900, static_cast<unsigned>(local->tm_mon + 1),
                         static_cast<unsigned>(local->tm_mday)) *
               24 +
           local->tm_hour;
}

std::string PeriodText(const ReportRun& run) {
    return LocalText(run.from, false) + " - " + (run.to ? LocalText(*run.to, false) : "ﾛｸﾞの最後まで");
}

std::string EventsText(const EventSet& events) {
    return JoinWithCommas(
        kReadableEvents | std::views::filter([&](std::uint16_t id) { return events.Has(id); }),
        [](std::uint16_t id) { return std::to_string(id); });
}

void AppendRunLine(const char* heading, const std::string& html, std::string& out) {
    out += "<tr><th>";
    out += heading;
    out += "</th><td>" + html + "</td></tr>\n";
}

std::string FailedNames(const ReportRun& run) {
    std::string html = JoinWithCommas(run.failed | std::views::take(kFailedNamed),
                                      [&](std::size_t index) { return HtmlText(run.computers[index]); });
    if (run.failed.size() > kFailedNamed)
        html += " ほか " + std::to_string(run.failed.size() - kFailedNamed) + " 台";
    return html;
}

void AppendRun(const ReportRun& run, const std::vector<AccountTotals>& accounts, std::uint64_t rows,
               std::string& out) {
    std::uint64_t logons = 0, failures = 0, logoffs = 0;
    for (const AccountTotals& a : accounts)
        logons += a.logons, failures += a.failedLogons, logoffs += a.logoffs;
    const std::size_t computers = run.computers.size();
    out += "<section id=\"run\">\n<h2>実行の内容</h2>\n<table class=\"run\">\n";
    AppendRunLine("作成日時", LocalText(run.made, true), out);
    AppendRunLine("ｺﾝﾋﾟｭｰﾀ",
                  std::to_string(computers) + " 台 (読み取り " +
                      std::to_string(computers - run.failed.size()) + " 台, 失敗 " +
                      std::to_string(run.failed.size()) + " 台)",
                  out);
    if (!run.failed.empty()) AppendRunLine("失敗したｺﾝﾋﾟｭｰﾀ", FailedNames(run), out);
    AppendRunLine("期間", PeriodText(run), out);
    AppendRunLine("ｲﾍﾞﾝﾄ", EventsText(run.events), out);
    AppendRunLine("行数", std::to_string(rows), out);
    AppendRunLine("ログオン", std::to_string(logons), out);
    AppendRunLine("ログオン失敗", std::to_string(failures), out);
    AppendRunLine("ログオフ", std::to_string(logoffs), out);
    out += "</table>\n</section>\n";
}

void AppendWarnings(const ReportRun& run, const LogonSummary& summary, std::string& out) {
    const SummaryThresholds& t = run.thresholds;
    const CountedEvents counted =
        run.events.Has(4771) || run.events.Has(4776) ? CountedEvents::Named : CountedEvents::Unnamed;
    std::string items;
    for (const GuessingFlag& flag : summary.Guessing(t))
        items += "<li class=\"warn\">" +
                 HtmlText("警告:" + WarningText(flag, t.windowSeconds, nullptr, counted)) + "</li>\n";
    for (const SprayingFlag& flag : summary.Spraying(t))
        items += "<li class=\"warn\">" +
                 HtmlText("警告:" + WarningText(flag, t.windowSeconds, nullptr, counted)) + "</li>\n";
    for (const LockoutEntry& lockout : summary.Lockouts())
        items += "<li class=\"lockout\">" + HtmlText("ロックアウト:" + LockoutText(lockout)) + "</li>\n";
    out += "<section id=\"warnings\">\n<h2>警告</h2>\n";
    out += items.empty() ? "<p>警告はありません。</p>\n" : "<ul class=\"warnings\">\n" + items + "</ul>\n";
    out += "<p class=\"note\">パスワード推測: 1台のｺﾝﾋﾟｭｰﾀで1つのアカウントが" +
           std::to_string(t.windowSeconds / 60) + "分間に" + std::to_string(t.guessFailures) +
           "回以上ログオン失敗。パスワードスプレー: 1つの接続元から" + std::to_string(t.windowSeconds / 60) +
           "分間に" + std::to_string(t.sprayUsers) + "ユーザ以上のログオン失敗。</p>\n</section>\n";
}

void AppendChart(const ReportRun& run, const HourlyCounts& hours, std::string& out) {
    const std::optional<std::int64_t> last =
        run.to ? std::optional<std::int64_t>(LocalHour(*run.to) + 23) : std::nullopt;
    const ChartBars chart = MakeChartBars(hours, LocalHour(run.from), last);
    out += "<section id=\"chart\">\n<h2>ログオンとログオン失敗 (";
    out += chart.hourly ? "1時間ごと" : "1日ごと";
    out += ")</h2>\n";
    if (chart.bars.empty()) {
        out += "<p>ログオンもログオン失敗もありません。</p>\n";
    } else {
        AppendChartSvg(chart, out);
    }
    out += "</section>\n";
}

// A count and a bar as long as its share of the largest.
void AppendCountCells(std::uint64_t count, std::uint64_t largest, std::string& out) {
    out += "<td class=\"n\">" + std::to_string(count) + "</td><td><span class=\"bar\" style=\"width:" +
           std::to_string(largest == 0 ? 0 : 1 + count * 199 / largest) + "px\"></span></td>";
}

struct AccountFailures {
    SummaryUser user;
    std::uint64_t failures = 0;
    std::vector<std::string_view> computers;
};

// The accounts with failed logons, most first; each with where they failed.
std::vector<AccountFailures> MostFailedAccounts(const std::vector<AccountTotals>& accounts) {
    std::map<std::pair<std::string_view, std::string_view>, AccountFailures> byUser;
    for (const AccountTotals& a : accounts) {
        if (a.failedLogons == 0) continue;
        AccountFailures& entry = byUser[{a.user.name, a.user.domain}];
        entry.user = a.user;
        entry.failures += a.failedLogons;
        entry.computers.push_back(a.computer);
    }
    std::vector<AccountFailures> found;
    for (auto& entry : byUser) found.push_back(std::move(entry.second));
    std::stable_sort(found.begin(), found.end(), [](const AccountFailures& a, const AccountFailures& b) {
        return a.failures > b.failures;
    });
    if (found.size() > kTopLines) found.resize(kTopLines);
    return found;
}

void AppendTopAccounts(const std::vector<AccountTotals>& accounts, std::string& out) {
    const std::vector<AccountFailures> top = MostFailedAccounts(accounts);
    out += "<section id=\"top-accounts\">\n<h2>ログオン失敗の多いアカウント (上位" +
           std::to_string(kTopLines) + ")</h2>\n";
    if (top.empty()) {
        out += "<p>ログオン失敗はありません。</p>\n</section>\n";
        return;
    }
    out += "<table>\n<tr><th>アカウント</th><th>ログオン失敗</th><th></th><th>コンピュータ</th></tr>\n";
    for (const AccountFailures& a : top) {
        out += "<tr><td>" + HtmlText(QualifiedName(a.user)) + "</td>";
        AppendCountCells(a.failures, top.front().failures, out);
        out += "<td>";
        out += JoinWithCommas(a.computers, HtmlText);
        out += "</td></tr>\n";
    }
    out += "</table>\n</section>\n";
}

void AppendTopSources(std::vector<SourceFailures> sources, std::string& out) {
    std::stable_sort(sources.begin(), sources.end(), [](const SourceFailures& a, const SourceFailures& b) {
        return a.failedLogons > b.failedLogons;
    });
    if (sources.size() > kTopLines) sources.resize(kTopLines);
    out += "<section id=\"top-sources\">\n<h2>ログオン失敗の多い接続元 (上位" + std::to_string(kTopLines) +
           ")</h2>\n";
    if (sources.empty()) {
        out += "<p>接続元の分かるログオン失敗はありません。</p>\n</section>\n";
        return;
    }
    out += "<table>\n<tr><th>接続元</th><th>ログオン失敗</th><th></th><th>ユーザ数</th></tr>\n";
    for (const SourceFailures& s : sources) {
        out += "<tr><td>" + HtmlText(s.address) + "</td>";
        AppendCountCells(s.failedLogons, sources.front().failedLogons, out);
        out += "<td class=\"n\">" + std::to_string(s.users) + "</td></tr>\n";
    }
    out += "</table>\n</section>\n";
}

// Logons by account, then by computer in list order.
struct LogonGrid {
    std::vector<std::string_view> computers;  // those with logons, in list order
    std::map<std::pair<std::string_view, std::string_view>, std::vector<std::uint64_t>> accounts;
};

LogonGrid GridOf(const std::vector<AccountTotals>& accounts) {
    LogonGrid grid;
    for (const AccountTotals& a : accounts) {
        if (a.logons == 0) continue;
        if (grid.computers.empty() || grid.computers.back() != a.computer)
            grid.computers.push_back(a.computer);
    }
    for (const AccountTotals& a : accounts) {
        if (a.logons == 0) continue;
        std::vector<std::uint64_t>& cells = grid.accounts[{a.user.name, a.user.domain}];
        cells.resize(grid.computers.size());
        const auto column = std::find(grid.computers.begin(), grid.computers.end(), a.computer);
        cells[static_cast<std::size_t>(column - grid.computers.begin())] += a.logons;
    }
    return grid;
}

void AppendGridRows(const LogonGrid& grid, std::string& out) {
    out += "<table class=\"grid\">\n<tr><th>アカウント</th>";
    for (const std::string_view computer : grid.computers) out += "<th>" + HtmlText(computer) + "</th>";
    out += "<th>計</th></tr>\n";
    for (const auto& [user, cells] : grid.accounts) {
        out += "<tr><td>" + HtmlText(QualifiedName({user.first, user.second})) + "</td>";
        std::uint64_t total = 0;
        for (const std::uint64_t count : cells) {
            total += count;
            out += count == 0 ? "<td class=\"n z\">0</td>"
                              : "<td class=\"n\">" + std::to_string(count) + "</td>";
        }
        out += "<td class=\"n\">" + std::to_string(total) + "</td></tr>\n";
    }
    out += "</table>\n";
}

// Many computers: a line an account naming only those it logged on to.
void AppendListRows(const LogonGrid& grid, std::string& out) {
    out += "<table class=\"list\">\n<tr><th>アカウント</th><th>コンピュータ (ログオン)</th></tr>\n";
    for (const auto& [user, cells] : grid.accounts) {
        out += "<tr><td>" + HtmlText(QualifiedName({user.first, user.second})) + "</td><td>";
        out += JoinWithCommas(std::views::iota(std::size_t{0}, cells.size()) |
                                  std::views::filter([&](std::size_t c) { return cells[c] != 0; }),
                              [&](std::size_t c) {
                                  return HtmlText(grid.computers[c]) + " (" + std::to_string(cells[c]) + ")";
                              });
        out += "</td></tr>\n";
    }
    out += "</table>\n";
}

void AppendAccountComputers(const std::vector<AccountTotals>& accounts, std::string& out) {
    const LogonGrid grid = GridOf(accounts);
    out += "<section id=\"logons\">\n<h2>アカウントとログオン先のコンピュータ (ログオンの回数)</h2>\n";
    if (grid.accounts.empty()) {
        out += "<p>ログオンはありません。</p>\n";
    } else if (grid.computers.size() <= kGridComputers) {
        AppendGridRows(grid, out);
    } else {
        AppendListRows(grid, out);
    }
    out += "</section>\n";
}

void AppendHead(const ReportRun& run, std::string& out) {
    const std::string period = PeriodText(run);
    out +=
        "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
        // Nothing but the page's own style, even were a name to slip through as markup.
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src "
        "'unsafe-inline'\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>ログオンのレポート " +
        period + "</title>\n<style>\n" + kStyle + "</style>\n</head>\n<body>\n<h1>ログオンのレポート</h1>\n";
}

}  // namespace

std::string HtmlReport::Page(const ReportRun& run) {
    LogonSummary summary;
    HourlyCounts hours;
    std::uint64_t rows = 0;
    for (Part& part : parts_) {
        summary.Append(std::move(part.summary));
        for (const auto& [hour, counts] : part.hours) {
            hours[hour].logons += counts.logons;
            hours[hour].failures += counts.failures;
        }
        rows += part.rows;
    }
    const std::vector<AccountTotals> accounts = summary.Accounts();
    std::string page;  // CP932 until the end
    AppendHead(run, page);
    AppendRun(run, accounts, rows, page);
    AppendWarnings(run, summary, page);
    AppendChart(run, hours, page);
    AppendTopAccounts(accounts, page);
    AppendTopSources(summary.FailureSources(), page);
    AppendAccountComputers(accounts, page);
    page += "</body>\n</html>\n";
    std::string utf8;
    AppendCp932AsUtf8(page, utf8);
    return utf8;
}

}  // namespace kestrel
