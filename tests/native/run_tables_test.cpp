#include "analysis/run_tables.h"

#include <gtest/gtest.h>

#include <sstream>

#include "collector/output_text.h"
#include "engine/collection_run.h"
#include "platform/offline/offline_event_log.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/output_checks.h"
#include "tests/native/folder_site_test.h"
#include "tools/site_files.h"

namespace kestrel::testing {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The window's sessions and summary are the collector's: the same site read
// by the same engine, the events kept as a run of the window keeps them.
class RunTablesTest : public FolderSiteTest {};

TEST_F(RunTablesTest, SessionsAndSummaryAreTheCollectorsOnTheSampleSite) {
    const std::time_t end = 1710471600;  // 2024-03-15 12:00 in Tokyo
    std::string error;
    ASSERT_TRUE(sample::WriteSiteFiles(sample::MakeSite(end, 1), site_, error)) << error;
    const std::vector<std::string> computers = {"localhost", "PC01", "SV01"};
    OfflineEventLog eventLog(errors_, site_, 1);
    CollectJob job;
    job.Filter_Securityok = job.Filter_Securityng = 1;
    job.FromTime = Local(2024, 3, 1);
    job.ToLogEnd = 1;
    std::string report;
    MemoryResultTable table;
    table.recordCalls = false;
    EventClassifier classifier(table);
    EventStore store;
    LogReader reader({eventLog, memory_, errors_, systemTime_, fatal_, registry_, modules_}, job, report,
                     [&](const LogEvent& event) {
                         const int row = table.ItemCount();
                         const bool added = classifier.InsertEventMessage(event) == 1;
                         if (added || RunTables::KeepsWithoutRow(event.eventId))
                             store.Add(event, added ? row : -1);
                     });
    FakeComputerList list;
    list.names = computers;
    FakeReportDialog dialog(report);
    CollectionRun run(reader, job, report, list, table, dialog);
    run.OnComputer([&](const std::string&) { store.BeginComputer(); });
    run.Run();
    RunTables tables;
    tables.Update(store);

    auto collect = [&](std::vector<std::string> options) {
        options.insert(options.end(), {"--log-dir", site_.string(), "--from", "2024-03-01", "--jobs", "1",
                                       "--events", "all"});
        options.insert(options.end(), computers.begin(), computers.end());
        std::string out, err;
        EXPECT_EQ(RunCollector(options, out, err), 0);
        return Lines(out);
    };

    // コンピュータ,ログオンID,ユーザ名,コンピュータ名,ログオンタイプ,ワークステーション名,
    // ソースネットワークアドレス,開始,終了,秒数,終了イベントID
    const std::vector<std::string> sessions = collect({"--sessions"});
    ASSERT_EQ(sessions.size(), tables.Sessions().size() + 1);
    ASSERT_GT(tables.Sessions().size(), 50u);
    for (std::size_t i = 0; i < tables.Sessions().size(); ++i) {
        const std::vector<std::string> want = CsvFields(sessions[i + 1]);
        const TableLine& line = tables.Sessions()[i];
        auto text = [&](std::size_t column) { return ToOutputText(line[column].text); };
        EXPECT_EQ(text(0) + "|" + text(1) + "|" + text(2) + "|" + text(5) + "|" + text(6),
                  want[0] + "|" + want[2] + "|" + want[3] + "|" + want[7] + "|" + want[8])
            << i;
        EXPECT_EQ(line[7].key ? std::to_string(*line[7].key) : "", want[9]) << i;
        EXPECT_EQ(line[3].key ? std::to_string(*line[3].key) : "", want[4]) << i;
        // 管理者, 切断, 再接続 and 最終切断: "はい" or "いいえ" in the collector's CSV.
        EXPECT_EQ((text(9).empty() ? ToOutputText("いいえ") : text(9)) + "|" + text(10) + "|" + text(11) +
                      "|" + text(12),
                  want[11] + "|" + want[12] + "|" + want[13] + "|" + want[14])
            << i;
    }

    // The accounts as JSON lines, then one warning line each.
    const std::vector<std::string> summary = collect({"--summary", "--format", "jsonl"});
    const std::vector<TableLine> accounts = tables.SummaryLines();
    ASSERT_GT(accounts.size(), 10u);
    for (std::size_t i = 0; i < accounts.size(); ++i) {
        const TableLine& a = accounts[i];
        const std::string counts =
            "\"logons\":" + a[3].text + ",\"failed_logons\":" + a[4].text + ",\"logoffs\":" + a[5].text;
        EXPECT_NE(summary[i].find(counts), std::string::npos) << summary[i];
        EXPECT_NE(summary[i].find("\"user\":\"" + ToOutputText(a[1].text) + "\""), std::string::npos) << i;
    }
    const std::vector<std::string> table_ = collect({"--summary"});
    std::vector<std::string> warnings;
    for (const std::string& line : table_) {
        if (line.rfind(ToOutputText("警告:"), 0) == 0)
            warnings.push_back(line.substr(ToOutputText("警告:").size()));
        if (line.rfind(ToOutputText("ロックアウト:"), 0) == 0) warnings.push_back(line);
    }
    std::vector<std::string> ours;
    for (const std::string& w : tables.Warnings({})) ours.push_back(ToOutputText(w));
    EXPECT_EQ(ours, warnings);
    EXPECT_GE(ours.size(), 2u) << "the site holds a case of guessing and one of spraying";
}

}  // namespace
}  // namespace kestrel::testing
