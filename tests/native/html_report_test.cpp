// kestrel-collect --report where a browser cannot see it: the escaping and the
// chart's slots, the same page beside any output, a page that cannot be written.
// The page's numbers against --summary: tests/e2e/report_in_browser.py.
#include "collector/html_report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "base/civil_date.h"
#include "collector/html_text.h"
#include "collector/report_chart.h"
#include "collector/row_output.h"
#include "tests/fakes/output_checks.h"
#include "tests/native/folder_site_test.h"
#include "tests/native/security_events.h"
#include "tools/site_files.h"

namespace kestrel::testing {
namespace {

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

TEST(HtmlText, MarkupCharactersAndControlsAreShownNotActedOn) {
    for (const auto& [cp932, html] : std::vector<std::pair<std::string, std::string>>{
             {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
             {"\"><img src=x onerror=alert(1)>", "&quot;&gt;&lt;img src=x onerror=alert(1)&gt;"},
             {"a' onmouseover='x", "a&#39; onmouseover=&#39;x"},
             {"AT&T &amp;", "AT&amp;T &amp;amp;"},
             {"\x1b]52;c;aGk=\x07", "\\x1b]52;c;aGk=\\x07"},
             {"evil\r\nroot\x7f", "evil\\x0d\\x0aroot\\x7f"},
             {"表ソ", "表ソ"},       // their trail bytes are 0x5C
             {"\x81<", "\x81&lt;"},  // a lead byte without its trail
         }) {
        EXPECT_EQ(HtmlText(cp932), html);
    }
}

const std::int64_t kMarch14 = DaysFromCivil(2024, 3, 14) * 24;  // as a local hour

TEST(ReportChart, ByHourUpToThreeDaysAndByDayBeyond) {
    const std::int64_t day = kMarch14;
    const HourlyCounts two{{day + 9, {3, 1}}, {day + 23, {1, 0}}, {day + 29, {0, 7}}};
    const HourlyCounts three{{day + 9, {3, 1}}, {day + 50, {0, 7}}};
    const HourlyCounts four{{day + 9, {3, 1}}, {day + 29, {0, 7}}, {day + 80, {2, 0}}};
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
             {"two days", two, day, day + 47, true, 48, day},
             {"to the end of the logs: the last count's day", two, day, std::nullopt, true, 48, day},
             {"a long window: the days counted", two, day - 240, day + 240, true, 48, day},
             {"a count before the window", two, day + 24, day + 47, true, 39, day + 9},
             {"a count after the window", two, day, day + 23, true, 30, day},
             {"three days", three, day, day + 71, true, 72, day},
             {"four days", four, day, day + 95, false, 4, day},
             {"a long window from before the counts", four, day - 72, std::nullopt, false, 4, day},
         }) {
        const ChartBars chart = MakeChartBars(c.counts, c.first, c.last);
        EXPECT_EQ(chart.hourly, c.hourly) << c.what;
        ASSERT_EQ(chart.bars.size(), c.bars) << c.what;
        EXPECT_EQ(chart.bars.front().hour, c.firstBar) << c.what;
        std::uint64_t logons = 0, failures = 0;
        for (const ChartBar& bar : chart.bars) logons += bar.counts.logons, failures += bar.counts.failures;
        for (const auto& [hour, counts] : c.counts) logons -= counts.logons, failures -= counts.failures;
        EXPECT_TRUE(logons == 0 && failures == 0) << c.what << ": every count in a bar";
    }
    EXPECT_TRUE(MakeChartBars({}, day, day + 23).bars.empty());
}

TEST(ReportChart, TwoBarsASlotUnderAScaleThatPassesTheHighest) {
    // The highest of five days' bars, and the scale's top line.
    for (const auto& [highest, top] : std::vector<std::pair<std::uint64_t, std::string>>{
             {0, "1"}, {1, "1"}, {5, "5"}, {6, "6"}, {38, "40"}, {1234, "1500"}}) {
        ChartBars chart{false, {}};
        for (int i = 0; i < 5; ++i) chart.bars.push_back({kMarch14 + 24 * i, {i == 2 ? highest : 1, 0}});
        std::string svg;
        AppendChartSvg(chart, svg);
        EXPECT_EQ(Count(svg, "<rect class=\"logon\""), 5u);
        EXPECT_EQ(Count(svg, "<rect class=\"fail\""), 5u);
        EXPECT_EQ(Matches(svg, "<text class=\"scale\"[^>]*>([0-9]+)</text>").back(), top) << highest;
        EXPECT_EQ(Count(svg, "<title>2024/03/16 ログオン " + std::to_string(highest) + "</title>"), 1u);
    }
}

// A report fed as a reading job feeds it, each event a row written.
struct Feeding {
    explicit Feeding(std::size_t computers) : report(computers) {}
    void Add(Event event) { feed->Event(event.Get(), &row, out); }
    HtmlReport report;
    std::unique_ptr<EventOutput> feed = report.Feed(std::make_unique<JsonRowOutput>());
    TableRow row{};
    std::string out;
};

// Two computers, the first failed; on the second ten failures of one account
// and a logon of another. n: the computers, the failing user and domain, the
// source and workstation, the user logging on.
std::string TwoComputerPage(const std::vector<std::string>& n) {
    Feeding f(2);
    f.feed->BeginComputer(1, n[1]);
    for (int i = 0; i < 10; ++i)
        f.Add(Failed("0xc000006d", "0xc000006a", {"5", n[2], "6", n[3], "19", n[4], "13", n[5]}));
    f.Add(Logon(1, n[6], "0x3e7"));
    return f.report.Page({{n[0], n[1]}, {0}, kMoment - 3600, std::nullopt, EventSet::Logon(), {}, kMoment});
}

TEST(HtmlReport, NamesFromLogsPutNoMarkupIntoThePage) {
    TimeZone zone("Asia/Tokyo");
    const std::string page =
        TwoComputerPage({"<i>PC</i>", "SV<01>", "<script>alert(1)</script>", "x' onclick='y",
                         "\"><img src=x onerror=alert(1)>", "\x1b]52;c;aGk=\x07", "<b>&amp;</b>"});
    const std::string plain =
        TwoComputerPage({"PC", "SV01", "admin", "KESTREL", "203.0.113.9", "WS", "tanaka"});
    const char* tags = "</?([A-Za-z][A-Za-z0-9]*)";
    EXPECT_EQ(Matches(page, tags), Matches(plain, tags)) << "the elements of the page with plain names";
    EXPECT_EQ(Count(page, "<!"), 1u) << "the doctype alone";
    EXPECT_EQ(ControlBytes(page), 0u);
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
        Feeding f(computers);
        ReportRun run{{}, {}, kMoment, std::nullopt, EventSet::Logon(), {}, kMoment};
        for (std::size_t i = 0; i < computers; ++i) {
            f.feed->BeginComputer(i, run.computers.emplace_back("PC" + std::to_string(i)));
            f.Add(Logon(1, i % 2 == 0 ? "tanaka" : "suzuki", "0x3e7"));
        }
        const std::string page = f.report.Page(run);
        const std::string logons = page.substr(page.find("<section id=\"logons\">"));
        EXPECT_EQ(Count(logons, "<th>PC"), computers == 20 ? 20u : 0u);
        EXPECT_EQ(Count(logons, "<td>PC1 (1), PC3 (1), PC5 (1),"), computers == 20 ? 0u : 1u);
    }
}

class ReportSiteTest : public FolderSiteTest {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(sample::WriteSiteFiles(sample::MakeSite(1710471600, 1), site_, error)) << error;
    }
    // The run's exit code over the site, its errors in err.
    int Collect(std::vector<std::string> options, std::string& err) {
        std::string out;
        options.insert(options.begin(), {"--log-dir", site_.string()});
        return RunCollector(options, out, err);
    }
};

TEST_F(ReportSiteTest, ThePageIsTheSameBesideAnyOutputAndJobCount) {
    std::string first, err;
    int run = 0;
    for (std::vector<std::string> options :
         std::vector<std::vector<std::string>>{{"--summary", "--jobs", "1"},
                                               {"--summary", "--format", "jsonl", "--jobs", "3"},
                                               {"--format", "jsonl"}}) {
        const std::filesystem::path report = site_ / (std::to_string(++run) + ".html");
        options.insert(options.end(), {"--list", (site_ / "site.lst").string(), "--from", "2024-03-01",
                                       "--events", "all", "--report", report.string()});
        EXPECT_EQ(Collect(options, err), 1) << "PC02 has no log";
        std::ifstream in(report, std::ios::binary);
        const std::string page(std::istreambuf_iterator<char>(in), {});
        ASSERT_NE(page.find("</html>"), std::string::npos) << run;
        if (first.empty()) first = page;
        EXPECT_EQ(page, first) << run;
    }
}

TEST_F(ReportSiteTest, AReportThatCannotBeWrittenSaysSoAndTheRunFails) {
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
        std::string err;
        EXPECT_EQ(Collect({"--from", "2024-03-14", "--report", c.report.string(), c.computer}, err), c.code);
        EXPECT_EQ(Count(err, "kestrel-collect: cannot write the report " + c.report.string() + ": "),
                  c.written ? 0u : 1u)
            << err;
        EXPECT_EQ(std::filesystem::is_regular_file(c.report), c.written) << c.report;
    }
    for (const auto& entry : std::filesystem::directory_iterator(site_))
        EXPECT_EQ(entry.path().string().find(".new"), std::string::npos) << entry.path() << " was left";
}

}  // namespace
}  // namespace kestrel::testing
