#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "collector/collect_main.h"
#include "collector/output_text.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/output_checks.h"
#include "platform/native/native_messages.h"
#include "platform/native/native_services.h"
#include "tests/native/folder_site_test.h"
#include "tests/native/test_time_zone.h"
#include "tools/hostile_site.h"

namespace kestrel::testing {
namespace {

// Output as a reader of a pipe sees it: bytes arrive only when the writer
// flushes (or its large buffer fills, which these tests never reach).
class PipeBuffer final : public std::streambuf {
public:
    PipeBuffer() : buffer_(1 << 20) { setp(buffer_.data(), buffer_.data() + buffer_.size()); }
    std::string delivered;
    int flushes = 0;

protected:
    int sync() override {
        ++flushes;
        Deliver();
        return 0;
    }
    int_type overflow(int_type c) override {
        Deliver();
        if (!traits_type::eq_int_type(c, traits_type::eof())) delivered += traits_type::to_char_type(c);
        return traits_type::not_eof(c);
    }

private:
    void Deliver() {
        delivered.append(pbase(), pptr());
        setp(buffer_.data(), buffer_.data() + buffer_.size());
    }
    std::vector<char> buffer_;
};

// The fake event log, noting what had reached the output pipe as each log
// was opened.
class WatchedEventLog final : public EventLogService {
public:
    WatchedEventLog(FakeEventLog& log, const PipeBuffer& out) : log_(log), out_(out) {}
    std::vector<std::string> outAtOpen;

    Handle Open(const char* uncServerName, const char* logName) override {
        outAtOpen.push_back(out_.delivered);
        return log_.Open(uncServerName, logName);
    }
    bool Read(Handle log, std::uint32_t flags, std::uint32_t recordOffset, void* buffer,
              std::uint32_t bufferSize, std::uint32_t& bytesRead, std::uint32_t& minBytesNeeded) override {
        return log_.Read(log, flags, recordOffset, buffer, bufferSize, bytesRead, minBytesNeeded);
    }
    void Close(Handle log) override { log_.Close(log); }

private:
    FakeEventLog& log_;
    const PipeBuffer& out_;
};

const std::string kHeader =
    ToOutputText("コンピュータ,時刻,ログオン,ログオフ,ユーザ名,コンピュータ名,イベントID,タイプ\r\n");

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class CollectorRunTest : public ::testing::Test {
protected:
    CollectorRunTest() {
        for (const char* pc : {"\\\\PC01", "\\\\SV,01"}) {
            RecordShape shape;
            shape.timeGenerated = static_cast<std::uint32_t>(Local(2013, 6, 1, 9, 5, 7));
            shape.strings = {"", "", "", "", "", "Smith, \"Bob\"", "DOM", "", "3"};
            platform_.eventLog.At(pc).records.push_back(BuildRecord(shape));
        }
    }
    int Run(const std::vector<std::string>& arguments) {
        return RunWith(arguments, platform_.eventLog, out_, err_);
    }
    // The fakes serve one thread: one job unless a test asks for more.
    int RunWith(std::vector<std::string> arguments, EventLogService& eventLog, std::ostream& out,
                std::ostream& err) {
        if (std::find(arguments.begin(), arguments.end(), "--jobs") == arguments.end()) {
            arguments.insert(arguments.begin(), {"--jobs", "1"});
        }
        CollectEnvironment environment{Local(2013, 6, 5, 15),
                                       "",
                                       &eventLog,
                                       platform_.memory,
                                       platform_.errors,
                                       platform_.systemTime,
                                       platform_.fatal,
                                       platform_.registry,
                                       platform_.modules};
        return RunCollector(arguments, environment, out, err);
    }

    TimeZone zone_{"Asia/Tokyo"};
    FakePlatform platform_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(CollectorRunTest, RowsAsCsvWithTheirComputerAndReportOnStandardError) {
    EXPECT_EQ(Run({"PC01", "SV,01"}), 0);
    // Linux writes UTF-8.
    EXPECT_EQ(out_.str(),
              ToOutputText(
                  "コンピュータ,時刻,ログオン,ログオフ,ユーザ名,コンピュータ名,イベントID,タイプ\r\n"
                  "PC01,\"2013/06/01 09:05:07  \",ログオン,,\"Smith, \"\"Bob\"\"\",DOM,4624,ネットワーク\r\n"
                  "\"SV,01\",\"2013/06/01 09:05:07  \",ログオン,,\"Smith, "
                  "\"\"Bob\"\"\",DOM,4624,ネットワーク\r\n"));
    EXPECT_NE(err_.str().find(ToOutputText("確認:(SV,01)ｾｷｭﾘﾃｨｲﾍﾞﾝﾄﾛｸﾞの取得を終了しました。")),
              std::string::npos);
}

TEST_F(CollectorRunTest, DefaultWindowStartsSevenDaysBackAtMidnight) {
    RecordShape old;
    old.timeGenerated = static_cast<std::uint32_t>(Local(2013, 5, 28, 23, 59, 59));
    old.strings = {"", "", "", "", "", "too old", "", "", "2"};
    platform_.eventLog.At("\\\\PC01").records.push_back(BuildRecord(old));
    EXPECT_EQ(Run({"PC01"}), 0);
    EXPECT_EQ(out_.str().find("too old"), std::string::npos);
    out_.str("");
    EXPECT_EQ(Run({"--from", "2013-05-28", "PC01"}), 0);
    EXPECT_NE(out_.str().find("too old"), std::string::npos);
    out_.str("");
    EXPECT_EQ(Run({"--from", "2013-05-01", "--to", "2013-05-31", "PC01"}), 0);
    EXPECT_EQ(out_.str().find("Bob"), std::string::npos);
}

TEST_F(CollectorRunTest, FailingComputerGivesExitCodeOneAndTheRunGoesOn) {
    EXPECT_EQ(Run({"GONE", "PC01"}), 1);
    EXPECT_NE(err_.str().find(ToOutputText("失敗:(GONE)ｾｷｭﾘﾃｨﾛｸﾞの取得に失敗しました。")), std::string::npos);
    EXPECT_NE(out_.str().find("PC01,"), std::string::npos);
}

TEST_F(CollectorRunTest, UsageErrorsGiveExitCodeTwo) {
    EXPECT_EQ(Run({}), 2);
    EXPECT_NE(err_.str().find(ToOutputText("kestrel-collect: no computer given")), std::string::npos);
    EXPECT_EQ(Run({"--list", "/nonexistent/list.lst"}), 2);
    EXPECT_EQ(Run({"--log-dir", "/nonexistent/folder", "PC01"}), 2);
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_NE(out_.str().find("usage: kestrel-collect"), std::string::npos);
}

TEST_F(CollectorRunTest, VersionIsTheBuildsAndNeedsNoComputer) {
    EXPECT_EQ(Run({"--version"}), 0);
    EXPECT_EQ(out_.str(), "kestrel-collect " KESTREL_VERSION "\n");
    EXPECT_EQ(err_.str(), "");
    // What the build hands on is a version, not an empty or unset variable.
    EXPECT_TRUE(std::regex_match(KESTREL_VERSION, std::regex("[0-9]+\\.[0-9]+\\.[0-9]+")));
}

TEST_F(CollectorRunTest, OtherLogsOnlyFromExportedFiles) {
    // The live service would open the Application log for a name it does not know.
    EXPECT_EQ(Run({"--log", "ForwardedEvents", "PC01"}), 2);
    EXPECT_NE(err_.str().find("only the Security log is read through the event-log service"),
              std::string::npos);
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(Run({"--log", "Security", "PC01"}), 0);
}

TEST_F(CollectorRunTest, ListFileNamesTheComputers) {
    const auto path = std::filesystem::temp_directory_path() / "kestrel_collector_test.lst";
    std::ofstream(path, std::ios::binary) << "PC01\r\n\r\nGONE\n";
    EXPECT_EQ(Run({"--list", path.string()}), 1);
    EXPECT_NE(err_.str().find(ToOutputText("確認:(PC01)ｾｷｭﾘﾃｨﾛｸﾞの取得を開始します。")), std::string::npos);
    EXPECT_NE(err_.str().find(ToOutputText("失敗:(GONE)")), std::string::npos);
    std::ofstream(path, std::ios::binary) << std::string(33, 'x') << "\n";
    EXPECT_EQ(Run({"--list", path.string()}), 2);
    std::filesystem::remove(path);
}

TEST_F(CollectorRunTest, EachComputersRowsReachThePipeBeforeTheNextLogOpens) {
    RecordShape more;
    more.timeGenerated = static_cast<std::uint32_t>(Local(2013, 6, 1, 8));
    more.strings = {"", "", "", "", "", "jones", "DOM", "", "2"};
    for (int i = 0; i < 40; ++i) platform_.eventLog.At("\\\\PC01").records.push_back(BuildRecord(more));
    PipeBuffer pipe;
    std::ostream out(&pipe);
    WatchedEventLog watched(platform_.eventLog, pipe);
    EXPECT_EQ(RunWith({"PC01", "SV,01"}, watched, out, err_), 0);

    ASSERT_EQ(watched.outAtOpen.size(), 2u);
    // The header is out before any log is read.
    EXPECT_EQ(watched.outAtOpen[0], kHeader);
    const std::string pc01Rows = watched.outAtOpen[1].substr(kHeader.size());
    EXPECT_EQ(Count(pc01Rows, "\r\n"), 41u);
    EXPECT_EQ(Count(pc01Rows, "PC01,"), 41u);
    EXPECT_EQ(Count(pc01Rows, "jones"), 40u);
    // Everything is out when the run returns, without flushing per row.
    EXPECT_EQ(pipe.delivered.substr(0, watched.outAtOpen[1].size()), watched.outAtOpen[1]);
    EXPECT_EQ(Count(pipe.delivered, "\"SV,01\","), 1u);
    EXPECT_EQ(Count(pipe.delivered, "\r\n"), 43u);
    EXPECT_LE(pipe.flushes, 4);
}

TEST_F(CollectorRunTest, RowsReadBeforeAFailureGoOutBeforeItsReport) {
    platform_.eventLog.At("\\\\PC01").failReadNumber = 2;
    platform_.eventLog.At("\\\\PC01").readError = 5;
    PipeBuffer pipe;  // both streams into one pipe, as with 2>&1
    std::ostream both(&pipe);
    EXPECT_EQ(RunWith({"PC01"}, platform_.eventLog, both, both), 1);
    const auto row = pipe.delivered.find("PC01,");
    ASSERT_NE(row, std::string::npos);
    EXPECT_LT(row, pipe.delivered.find(ToOutputText("失敗:(PC01)")));
}

TEST_F(CollectorRunTest, HeaderComesExactlyOnce) {
    platform_.eventLog.At("\\\\EMPTY");
    struct Case {
        std::vector<std::string> computers;
        std::size_t rows;
    };
    for (const Case& c : std::vector<Case>{
             {{"GONE"}, 0},
             {{"EMPTY"}, 0},
             {{"EMPTY", "GONE", "EMPTY"}, 0},
             {{"PC01", "GONE", "EMPTY", "SV,01"}, 2},
             {{"SV,01", "PC01", "SV,01"}, 3},
         }) {
        out_.str("");
        Run(c.computers);
        EXPECT_EQ(out_.str().substr(0, kHeader.size()), kHeader);
        EXPECT_EQ(Count(out_.str(), kHeader), 1u);
        EXPECT_EQ(Count(out_.str(), "\r\n"), c.rows + 1);
    }
}

// Exported logs of the shared folder as a site of computers, one without a log.
class ExportedSiteTest : public FolderSiteTest {
protected:
    ExportedSiteTest() {
        const std::filesystem::path shared = std::string(KESTREL_SHARED_DIR) + "/evtx";
        std::filesystem::remove_all(site_);
        const char* const logs[][2] = {{"PC-A", "security.evtx"},
                                       {"PC-B", "Security_with_size_t.evtx"},
                                       {"PC-D", "post-Security.evtx"},
                                       {"PC-E", "security_bad_string_cache.evtx"}};
        for (const auto& log : logs) {
            std::filesystem::create_directories(site_ / log[0]);
            std::filesystem::copy_file(shared / log[1], site_ / log[0] / "Security.evtx");
        }
    }

    int Run(std::vector<std::string> arguments, std::string& out, std::string& err) {
        for (const char* a :
             {"--log-dir", "", "--from", "2000-01-01", "PC-A", "PC-B", "PC-C", "PC-D", "PC-E", "PC-A"}) {
            arguments.push_back(a);
        }
        arguments[arguments.size() - 9] = site_.string();
        return RunCollector(arguments, out, err);
    }
};

TEST_F(ExportedSiteTest, ComputersReadAtOnceWriteWhatOneAtATimeWrites) {
    for (const std::vector<std::string>& options :
         std::vector<std::vector<std::string>>{{},
                                               {"--format", "jsonl"},
                                               {"--details"},
                                               {"--sessions"},
                                               {"--summary", "--format", "jsonl"},
                                               {"--events", "all", "--details"},
                                               {"--events", "all", "--sessions", "--format", "jsonl"},
                                               {"--events", "all", "--format", "ecs"}}) {
        std::string oneOut, oneErr;
        ASSERT_EQ(Run(
                      [&] {
                          auto a = options;
                          a.insert(a.end(), {"--jobs", "1"});
                          return a;
                      }(),
                      oneOut, oneErr),
                  1);
        for (const char* jobs : {"2", "5"}) {
            std::string out, err;
            auto arguments = options;
            arguments.insert(arguments.end(), {"--jobs", jobs, "--threads", "2"});
            EXPECT_EQ(Run(arguments, out, err), 1);
            EXPECT_EQ(out, oneOut) << jobs;
            EXPECT_EQ(err, oneErr) << jobs;
        }
        EXPECT_NE(oneErr.find(ToOutputText("失敗:(PC-C)")), std::string::npos);
        // No folder for PC-C: the cause says the path is missing.
        EXPECT_NE(oneErr.find(ToOutputText("原因 003:指定されたパスが見つかりません。")), std::string::npos);
    }
}

TEST_F(ExportedSiteTest, JsonLinesAreTheCsvRows) {
    for (const char* events : {"logon", "4648,4672,4776"}) {
        std::string csv, json, err;
        Run({"--jobs", "1", "--events", events}, csv, err);
        Run({"--jobs", "1", "--events", events, "--format", "jsonl"}, json, err);
        EXPECT_EQ(Count(csv, "\r\n") - 1, Count(json, "\n"));
        EXPECT_GT(Count(json, "\n"), 100u);
        EXPECT_EQ(Count(json, "{\"computer\":"), Count(json, "\"origin\":"));
        EXPECT_EQ(json.find('\r'), std::string::npos);
    }
    // Another event's row: no log-on kind, its own event ID.
    std::string csv, err;
    Run({"--jobs", "1", "--events", "4672"}, csv, err);
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);
    std::size_t rows = 0;
    for (; std::getline(lines, line); ++rows) {
        const std::vector<std::string> f = CsvFields(line.substr(0, line.size() - 1));
        ASSERT_EQ(f.size(), 8u) << line;
        EXPECT_EQ(f[2] + f[3] + "|" + f[6] + "|" + f[7], "|4672|") << line;
    }
    EXPECT_GT(rows, 100u);
}

TEST_F(FolderSiteTest, AHostileLogRunsNothingHidesNothingAndSaysWhatItPassedOver) {
    const std::time_t end = Local(2013, 6, 5, 15);
    std::string error;
    ASSERT_TRUE(kestrel::sample::WriteHostileSite(end, site_, error)) << error;
    std::string backdated;
    const kestrel::sample::ComputerLog log = kestrel::sample::MakeHostileLog(end);
    for (const kestrel::sample::SecurityEvent& e : log.events) {
        if (e.id == 4625 && e.data[5] == u"backdated") backdated = std::to_string(e.recordId);
    }
    const std::string backwardsLine = ToOutputText(
        "情報 060:[\\\\HOSTILE][security][Microsoft-Windows-Security-Auditing]:ﾚｺｰﾄﾞ番号 " + backdated + " ");
    const std::string damageLine =
        ToOutputText("ｴﾗｰ 062:[\\\\HOSTILE][security]:ﾛｸﾞの破損した部分を読み飛ばしました。(ｵﾌｾｯﾄ 0x");
    std::map<std::string, std::string> outputs;
    for (const std::string options :
         {"", "--details", "--sessions", "--summary", "--format jsonl", "--summary --format jsonl", "--raw",
          "--format ecs", "--format timesketch"}) {
        SCOPED_TRACE(options);
        std::vector<std::string> arguments{"--log-dir", site_.string(), "--from", "2013-06-01", "HOSTILE"};
        std::istringstream words(options);
        arguments.insert(arguments.end(), std::istream_iterator<std::string>(words), {});
        std::string& out = outputs[options];
        std::string err;
        EXPECT_EQ(RunCollector(arguments, out, err), 1) << "a damaged record was passed over";
        EXPECT_NE(err.find(backwardsLine), std::string::npos) << err;
        EXPECT_NE(err.find(damageLine), std::string::npos);
        EXPECT_EQ(ControlBytes(err), 0u);
        if (options == "--raw") continue;
        EXPECT_EQ(ControlBytes(out), 0u);
        if (options.find("--format") == std::string::npos && options != "--summary") {
            EXPECT_EQ(FormulaFields(out), 0u);
        }
    }

    std::string doubleByte;
    for (int i = 0; i < 600; ++i) doubleByte += "あ";
    std::vector<std::string> fields = CsvFields(outputs[""]);
    EXPECT_EQ(std::count(fields.begin(), fields.end(), "guest"), 14) << "rows behind the backdated record";
    for (const std::string& want :
         {std::string("'=HYPERLINK(\"http://x\",\"y\")"), std::string("'+1+1"), std::string("'-2+3"),
          std::string("'@SUM(1)"), std::string("\\x09=1+1"), std::string("\\x0d=1+1"), std::string("-"),
          std::string("\\x1b]52;c;aGk=\\x07"), std::string("evil\\x0droot"), std::string("del\\x7f"),
          std::string("'=cmd|' /C calc'!A0"), std::string(10000, 'A'), ToOutputText(doubleByte)}) {
        EXPECT_NE(std::find(fields.begin(), fields.end(), want), fields.end()) << want.substr(0, 40);
    }
    fields = CsvFields(outputs["--raw"]);
    EXPECT_NE(std::find(fields.begin(), fields.end(), "+1+1"), fields.end());
    EXPECT_NE(std::find(fields.begin(), fields.end(), "\x1b]52;c;aGk=\x07"), fields.end());
    EXPECT_EQ(std::count(fields.begin(), fields.end(), "broken-record"), 0);

    // The table cuts what JSON keeps whole.
    std::istringstream table(outputs["--summary"]);
    for (std::string line; std::getline(table, line);) EXPECT_LT(line.size(), 1000u) << line.substr(0, 80);
    EXPECT_NE(outputs["--summary"].find(std::string(37, 'A') + "..."), std::string::npos);
    EXPECT_NE(outputs["--summary --format jsonl"].find(std::string(10000, 'A')), std::string::npos);
}

}  // namespace
}  // namespace kestrel::testing
