// kestrel-collect --report: the page's numbers are the summary's of the same
// run, its chart has a pair of bars an hour or a day, and no name from a log
// becomes markup in it (the sample site's hostile log: tests/e2e/report_in_browser.py).
#include "collector/html_report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>

#include "collector/html_text.h"
#include "collector/output_text.h"
#include "collector/report_chart.h"
#include "evtx/civil_date.h"
#include "tests/fakes/output_checks.h"
#include "tests/native/folder_site_test.h"
#include "tests/native/security_events.h"
#include "tools/site_files.h"

namespace kestrel::testing {
namespace {

std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

std::size_t Count(std::string_view text, std::string_view part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// Each match's first group, in order.
std::vector<std::string> Matches(const std::string& text, const std::string& pattern) {
    std::vector<std::string> found;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it)
        found.push_back((*it)[1]);
    return found;
}

std::uint64_t Sum(const std::vector<std::string>& numbers) {
    std::uint64_t sum = 0;
    for (const std::string& n : numbers) sum += std::stoull(n);
    return sum;
}

// The page's elements are the report's own, whatever the names said.
void ExpectOnlyOwnMarkup(const std::string& page) {
    static const std::set<std::string> kOwn = {"html", "head",    "meta",  "title", "style", "body", "h1",
                                               "h2",   "section", "table", "tr",    "th",    "td",   "p",
                                               "ul",   "li",      "span",  "svg",   "rect",  "text", "line"};
    for (const std::string& tag : Matches(page, "</?([A-Za-z][A-Za-z0-9]*)"))
        EXPECT_EQ(kOwn.count(tag), 1u) << tag;
    EXPECT_EQ(Count(page, "<!"), 1u) << "the doctype alone";
    EXPECT_EQ(ControlBytes(page), 0u);
}

std::string Section(const std::string& page, const std::string& id) {
    const std::size_t start = page.find("<section id=\"" + id + "\">");
    return start == std::string::npos ? "" : page.substr(start, page.find("</section>", start) - start);
}

TEST(HtmlText, MarkupCharactersAndControlsAreShownNotActedOn) {
    struct Case {
        std::string cp932, html;
    };
    for (const Case& c : std::vector<Case>{
             {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
             {"\"><img src=x onerror=alert(1)>", "&quot;&gt;&lt;img src=x onerror=alert(1)&gt;"},
             {"a' onmouseover='x", "a&#39; onmouseover=&#39;x"},
             {"AT&T &amp;", "AT&amp;T &amp;amp;"},
             {"\x1b]52;c;aGk=\x07", "\\x1b]52;c;aGk=\\x07"},
             {"evil\r\nroot\x7f", "evil\\x0d\\x0aroot\\x7f"},
             {"表ソ", "表ソ"},       // their trail bytes are 0x5C
             {"\x81<", "\x81&lt;"},  // a lead byte without its trail
         }) {
        EXPECT_EQ(HtmlText(c.cp932), c.html) << c.html;
    }
}

const std::int64_t kMarch14 = DaysFromCivil(2024, 3, 14) * 24;  // as a local hour

TEST(ReportChart, ByHourUpToThreeDaysAndByDayBeyond) {
    const std::int64_t day = kMarch14;
    const HourlyCounts twoDays{{day + 9, {3, 1}}, {day + 23, {1, 0}}, {day + 29, {0, 7}}};
    const HourlyCounts threeDays{{day + 9, {3, 1}}, {day + 50, {0, 7}}};
    const HourlyCounts fourDays{{day + 9, {3, 1}}, {day + 29, {0, 7}}, {day + 80, {2, 0}}};
    struct Case {
        const char* what;
        const HourlyCounts& counts;
        std::int64_t first;
        std::optional<std::int64_t> last;
        bool hourly;
        std::size_t bars;
        std::int64_t firstBar;
    };
    for (const Case& c : std::vector<Case>{
             {"two days", twoDays, day, day + 47, true, 48, day},
             {"to the end of the logs: the last count's day", twoDays, day, std::nullopt, true, 48, day},
             {"a long window: the days counted", twoDays, day - 240, day + 240, true, 48, day},
             {"a count before the window", twoDays, day + 24, day + 47, true, 39, day + 9},
             {"a count after the window", twoDays, day, day + 23, true, 30, day},
             {"three days", threeDays, day, day + 71, true, 72, day},
             {"four days", fourDays, day, day + 95, false, 4, day},
             {"a long window from before the counts", fourDays, day - 72, std::nullopt, false, 4, day},
         }) {
        const ChartBars chart = MakeChartBars(c.counts, c.first, c.last);
        EXPECT_EQ(chart.hourly, c.hourly) << c.what;
        ASSERT_EQ(chart.bars.size(), c.bars) << c.what;
        EXPECT_EQ(chart.bars.front().hour, c.firstBar) << c.what;
        std::uint64_t logons = 0, failures = 0;
        for (const ChartBar& bar : chart.bars) logons += bar.counts.logons, failures += bar.counts.failures;
        for (const auto& [hour, counts] : c.counts) logons -= counts.logons, failures -= counts.failures;
        EXPECT_EQ(logons, 0u) << c.what;
        EXPECT_EQ(failures, 0u) << c.what;
    }
    EXPECT_TRUE(MakeChartBars({}, day, day + 23).bars.empty());
}

TEST(ReportChart, TwoBarsASlotUnderAScaleThatPassesTheHighest) {
    struct Case {
        std::uint64_t highest;
        std::string top;  // the scale's highest line
    };
    for (const Case& c :
         std::vector<Case>{{0, "1"}, {1, "1"}, {5, "5"}, {6, "6"}, {38, "40"}, {1234, "1500"}}) {
        ChartBars chart;
        chart.hourly = false;
        for (int i = 0; i < 5; ++i) chart.bars.push_back({kMarch14 + 24 * i, {i == 2 ? c.highest : 1, 0}});
        std::string svg;
        AppendChartSvg(chart, svg);
        EXPECT_EQ(Count(svg, "<rect class=\"logon\""), 5u);
        EXPECT_EQ(Count(svg, "<rect class=\"fail\""), 5u);
        EXPECT_EQ(Matches(svg, "<text class=\"scale\"[^>]*>([0-9]+)</text>").back(), c.top) << c.highest;
        EXPECT_NE(svg.find("<title>2024/03/16 ログオン " + std::to_string(c.highest) + "</title>"),
                  std::string::npos);
    }
}

class NoOutput final : public EventOutput {
public:
    void BeginComputer(std::size_t, const std::string&) override {}
    void Event(const LogEvent&, const std::array<std::string, 8>*, std::string&) override {}
};

TEST(HtmlReport, NamesFromLogsPutNoMarkupIntoThePage) {
    TimeZone zone("Asia/Tokyo");
    HtmlReport report(2);
    const std::unique_ptr<EventOutput> feed = report.Feed(std::make_unique<NoOutput>());
    const std::array<std::string, 8> row{};
    std::string out;
    feed->BeginComputer(1, "SV<01>");
    for (int i = 0; i < 10; ++i) {
        Event failed = Failed("0xc000006d", "0xc000006a",
                              {"5", "<script>alert(1)</script>", "6", "x' onclick='y", "19",
                               "\"><img src=x onerror=alert(1)>", "13", "\x1b]52;c;aGk=\x07"});
        feed->Event(failed.Get(), &row, out);
    }
    Event logon = Logon(1, "<b>&amp;</b>", "0x3e7");
    feed->Event(logon.Get(), &row, out);
    ReportRun run{{"<i>PC</i>", "SV<01>"}, {0}, kMoment - 3600, std::nullopt, EventSet::Logon(), {}, kMoment};
    const std::string page = report.Page(run);

    ExpectOnlyOwnMarkup(page);
    for (const char* shown : {
             "x&#39; onclick=&#39;y\\&lt;script&gt;alert(1)&lt;/script&gt;",  // a warning, the top accounts
             "&quot;&gt;&lt;img src=x onerror=alert(1)&gt;",                  // the sources
             "KESTREL\\&lt;b&gt;&amp;amp;&lt;/b&gt;",                         // the logons
             "<th>SV&lt;01&gt;</th>",
             "&lt;i&gt;PC&lt;/i&gt;",  // failed
         }) {
        EXPECT_NE(page.find(shown), std::string::npos) << shown;
    }
    EXPECT_EQ(Count(page, "<li class=\"warn\">"), 1u) << "ten failures of one account: guessing";
}

// Past twenty computers a grid would be too wide: each account names its own.
TEST(HtmlReport, ManyComputersListEachAccountsOwnInsteadOfAGrid) {
    for (const std::size_t computers : {20u, 21u}) {
        HtmlReport report(computers);
        const std::unique_ptr<EventOutput> feed = report.Feed(std::make_unique<NoOutput>());
        const std::array<std::string, 8> row{};
        std::string out;
        ReportRun run{{}, {}, kMoment, std::nullopt, EventSet::Logon(), {}, kMoment};
        for (std::size_t i = 0; i < computers; ++i) {
            feed->BeginComputer(i, run.computers.emplace_back("PC" + std::to_string(i)));
            feed->Event(Logon(1, i % 2 == 0 ? "tanaka" : "suzuki", "0x3e7").Get(), &row, out);
        }
        const std::string logons = Section(report.Page(run), "logons");
        EXPECT_EQ(Count(logons, "<th>PC"), computers == 20 ? 20u : 0u);
        EXPECT_EQ(Count(logons, "<td>PC1 (1), PC3 (1), PC5 (1),"), computers == 20 ? 0u : 1u);
    }
}

// The page a run wrote.
std::string ReadPage(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ReportSiteTest : public FolderSiteTest {
protected:
    void WriteSite() {
        std::string error;
        ASSERT_TRUE(sample::WriteSiteFiles(sample::MakeSite(1710471600, 1), site_, error)) << error;
    }
    // The run's exit code; its output in out.
    int Collect(std::vector<std::string> options, std::string& out) {
        options.insert(options.begin(), {"--log-dir", site_.string()});
        std::string err;
        return RunCollector(options, out, err);
    }
};

// A run's --summary --format jsonl: failed logons by "DOMAIN\\user", and
// logons, failures and logoffs in all.
struct JsonTotals {
    std::map<std::string, std::uint64_t> failures;
    std::array<std::uint64_t, 3> all{};
};

JsonTotals TotalsOf(const std::string& json) {
    JsonTotals t;
    const std::regex account(
        "\"user\":\"([^\"]*)\",\"domain\":\"([^\"]*)\",\"logons\":([0-9]+),"
        "\"failed_logons\":([0-9]+),\"logoffs\":([0-9]+)");
    for (auto it = std::sregex_iterator(json.begin(), json.end(), account); it != std::sregex_iterator();
         ++it) {
        const std::string name = ((*it)[2].length() > 0 ? (*it)[2].str() + "\\" : "") + (*it)[1].str();
        t.failures[name] += std::stoull((*it)[4]);
        for (std::size_t i = 0; i < 3; ++i) t.all[i] += std::stoull((*it)[3 + i]);
    }
    return t;
}

std::string RunLine(const std::string& page, const char8_t* heading) {
    const std::vector<std::string> found =
        Matches(page, "<tr><th>" + Utf8(heading) + "</th><td>([^<]*)</td>");
    return found.empty() ? "" : found.front();
}

TEST_F(ReportSiteTest, NumbersAreTheSummarysOfTheSameRunBesideAnyOutput) {
    WriteSite();
    const std::vector<std::string> site = {
        "--list", (site_ / "site.lst").string(), "--from", "2024-03-01", "--events", "all"};
    auto collect = [&](std::vector<std::string> options, const std::string& page, std::string& out) {
        options.insert(options.end(), site.begin(), site.end());
        options.insert(options.end(), {"--report", (site_ / page).string()});
        EXPECT_EQ(Collect(options, out), 1) << "PC02 has no log";
        return ReadPage(site_ / page);
    };
    std::string table, json, rows;
    const std::string page = collect({"--summary", "--jobs", "1"}, "table.html", table);
    EXPECT_EQ(collect({"--summary", "--format", "jsonl", "--jobs", "3"}, "json.html", json), page);
    EXPECT_EQ(collect({"--format", "jsonl"}, "rows.html", rows), page);
    ExpectOnlyOwnMarkup(page);

    const JsonTotals totals = TotalsOf(json);
    ASSERT_GT(totals.all[1], 50u);
    EXPECT_EQ(RunLine(page, u8"ログオン"), std::to_string(totals.all[0]));
    EXPECT_EQ(RunLine(page, u8"ログオン失敗"), std::to_string(totals.all[1]));
    EXPECT_EQ(RunLine(page, u8"ログオフ"), std::to_string(totals.all[2]));
    EXPECT_EQ(RunLine(page, u8"行数"), std::to_string(Count(rows, "\n")));
    EXPECT_EQ(RunLine(page, u8"ｺﾝﾋﾟｭｰﾀ"), Utf8(u8"5 台 (読み取り 4 台, 失敗 1 台)"));
    EXPECT_EQ(RunLine(page, u8"失敗したｺﾝﾋﾟｭｰﾀ"), "PC02");
    EXPECT_EQ(RunLine(page, u8"期間"), Utf8(u8"2024/03/01 - ﾛｸﾞの最後まで"));

    // Every warning and lockout line of the summary, word for word.
    std::size_t warnings = 0;
    for (const std::string& line : Matches(table, Utf8(u8"\r\n((?:警告|ロックアウト):[^\r]*)"))) {
        ++warnings;
        EXPECT_NE(page.find(">" + line + "</li>"), std::string::npos) << line;
    }
    EXPECT_EQ(warnings, 5u);
    EXPECT_EQ(Count(Section(page, "warnings"), "<li "), warnings);

    // The accounts with the most failures: ten, most first, each with the summary's count.
    const std::string top = Section(page, "top-accounts");
    const std::vector<std::string> names = Matches(top, "<tr><td>([^<]*)</td>");
    const std::vector<std::string> counts = Matches(top, "<td class=\"n\">([0-9]+)</td>");
    std::vector<std::uint64_t> most;
    for (const auto& [name, failures] : totals.failures) most.push_back(failures);
    std::sort(most.rbegin(), most.rend());
    ASSERT_EQ(names.size(), 10u);
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(counts.at(i), std::to_string(totals.failures.at(names[i]))) << names[i];
        EXPECT_EQ(counts.at(i), std::to_string(most[i])) << names[i];
    }

    // Fifteen days, 1 March to the end of the logs on the 15th: a pair of bars each.
    const std::string chart = Section(page, "chart");
    EXPECT_NE(chart.find(Utf8(u8"(1日ごと)")), std::string::npos);
    EXPECT_EQ(Count(chart, "<rect class=\"logon\""), 15u);
    EXPECT_EQ(Count(chart, "<rect class=\"fail\""), 15u);
    EXPECT_EQ(Sum(Matches(chart, Utf8(u8" ログオン ([0-9]+)</title>"))), totals.all[0]);
    EXPECT_EQ(Sum(Matches(chart, Utf8(u8" ログオン失敗 ([0-9]+)</title>"))), totals.all[1]);
}

TEST_F(ReportSiteTest, AReportThatCannotBeWrittenSaysSoAndTheRunFails) {
    WriteSite();
    struct Case {
        std::string computer;
        std::filesystem::path report;
        int code;
        bool written;
    };
    for (const Case& c : std::vector<Case>{{"SV01", site_ / "r.html", 0, true},
                                           {"SV01", site_ / "missing" / "r.html", 1, false},
                                           {"SV01", site_ / "SV01", 1, false},  // a folder
                                           {"PC02", site_ / "missing" / "r.html", 1, false},
                                           {"PC02", site_ / "r2.html", 1, true}}) {
        std::string out, err;
        const int code = RunCollector(
            {"--log-dir", site_.string(), "--from", "2024-03-14", "--report", c.report.string(), c.computer},
            out, err);
        EXPECT_EQ(code, c.code) << c.report;
        EXPECT_EQ(err.find("kestrel-collect: cannot write the report " + c.report.string() + ": ") !=
                      std::string::npos,
                  !c.written)
            << err;
        EXPECT_EQ(std::filesystem::is_regular_file(c.report), c.written) << c.report;
    }
    for (const auto& entry : std::filesystem::directory_iterator(site_))
        EXPECT_EQ(entry.path().string().find(".new"), std::string::npos) << entry.path() << " was left";
}

}  // namespace
}  // namespace kestrel::testing
