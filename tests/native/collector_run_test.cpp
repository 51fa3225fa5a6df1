#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "collector/collect_main.h"
#include "collector/output_text.h"
#include "tests/fakes/fake_platform.h"
#include "tests/native/test_time_zone.h"

namespace kestrel::testing {
namespace {

class CollectorRunTest : public ::testing::Test {
protected:
    CollectorRunTest() {
        for (const char* pc : {"\\\\PC01", "\\\\SV,01"}) {
            RecordSpec shape;
            shape.timeGenerated = static_cast<std::uint32_t>(Local(2013, 6, 1, 9, 5, 7));
            shape.strings = {"", "", "", "", "", "Smith, \"Bob\"", "DOM", "", "3"};
            platform_.eventLog.At(pc).records.push_back(BuildRecord(shape));
        }
    }
    int Run(const std::vector<std::string>& arguments) {
        CollectEnvironment environment{Local(2013, 6, 5, 15), "", &platform_.eventLog,
                                       platform_.memory, platform_.errors, platform_.systemTime,
                                       platform_.fatal, platform_.registry, platform_.modules};
        return RunCollector(arguments, environment, out_, err_);
    }

    TimeZone zone_{"Asia/Tokyo"};
    FakePlatform platform_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(CollectorRunTest, RowsAsCsvWithTheirComputerAndReportOnStandardError) {
    EXPECT_EQ(Run({"PC01", "SV,01"}), 0);
    // Linux writes UTF-8.
    EXPECT_EQ(out_.str(), ToOutputText(
              "コンピュータ,時刻,ログオン,ログオフ,ユーザ名,コンピュータ名,イベントID,タイプ\r\n"
              "PC01,\"2013/06/01 09:05:07  \",ログオン,,\"Smith, \"\"Bob\"\"\",DOM,4624,ネットワーク\r\n"
              "\"SV,01\",\"2013/06/01 09:05:07  \",ログオン,,\"Smith, \"\"Bob\"\"\",DOM,4624,ネットワーク\r\n"));
    EXPECT_NE(err_.str().find(ToOutputText("確認:(SV,01)ｾｷｭﾘﾃｨｲﾍﾞﾝﾄﾛｸﾞの取得を終了しました。")), std::string::npos);
}

TEST_F(CollectorRunTest, DefaultWindowStartsSevenDaysBackAtMidnight) {
    RecordSpec old;
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

}  // namespace
}  // namespace kestrel::testing
