#include "engine/collection_run.h"

#include <gtest/gtest.h>

#include "tests/fakes/fake_platform.h"
#include "tests/fakes/run_report_texts.h"
#include "tests/native/test_time_zone.h"

namespace kestrel::testing {
namespace {

class CollectionRunTest : public ::testing::Test {
protected:
    CollectionRunTest() {
        job_.FromLogStart = 1;
        job_.ToLogEnd = 1;
        job_.Filter_Securityok = 1;
        job_.Filter_Securityng = 1;
    }

    void AddLogon(const std::string& computer, const std::string& user) {
        RecordShape shape;
        shape.timeGenerated = static_cast<std::uint32_t>(Local(2013, 6, 1, 12));
        shape.strings = {"", "", "", "", "", user, "DOM", "", "3"};
        platform_.eventLog.At("\\\\" + computer).records.push_back(BuildRecord(shape));
    }
    int Run() {
        CollectionRun run(reader_, job_, report_, computers_, table_, dialog_);
        return run.Run();
    }

    TimeZone zone_{"Asia/Tokyo"};
    FakePlatform platform_;
    CollectJob job_;
    std::string report_;
    MemoryResultTable table_;
    EventClassifier classifier_{table_};
    LogReader reader_{platform_.Services(), job_, report_, classifier_};
    FakeComputerList computers_;
    FakeReportDialog dialog_{report_};
};

TEST_F(CollectionRunTest, ThreeComputersGiveSevenLinesInOrder) {
    computers_.names = {"localhost", "PC01", "SV01"};
    for (const auto& name : computers_.names) AddLogon(name, "user@" + name);
    table_.rows.push_back(Row{});  // left over from an earlier run

    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(report_,
              "確認:ｲﾍﾞﾝﾄﾛｸﾞの取得を開始します。\r\n"
              "確認:(localhost)ｾｷｭﾘﾃｨﾛｸﾞの取得を開始します。\r\n"
              "確認:(localhost)ｾｷｭﾘﾃｨｲﾍﾞﾝﾄﾛｸﾞの取得を終了しました。\r\n"
              "確認:(PC01)ｾｷｭﾘﾃｨﾛｸﾞの取得を開始します。\r\n"
              "確認:(PC01)ｾｷｭﾘﾃｨｲﾍﾞﾝﾄﾛｸﾞの取得を終了しました。\r\n"
              "確認:(SV01)ｾｷｭﾘﾃｨﾛｸﾞの取得を開始します。\r\n"
              "確認:(SV01)ｾｷｭﾘﾃｨｲﾍﾞﾝﾄﾛｸﾞの取得を終了しました。\r\n");
    ASSERT_EQ(table_.rows.size(), 3u);
    EXPECT_EQ(table_.rows[2].texts[4], "user@SV01");
    EXPECT_EQ(table_.calls.front(), "clear");
    EXPECT_TRUE(dialog_.shown.empty());
    EXPECT_EQ(platform_.eventLog.calls[0], "open \\\\localhost|security");
}

TEST_F(CollectionRunTest, FailedComputerShowsTheReportAndTheRunGoesOn) {
    computers_.names = {"localhost", "PC02", "SV01"};
    AddLogon("localhost", "a");
    AddLogon("SV01", "c");  // PC02 has no log: it cannot be opened

    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(dialog_.shown, std::vector<std::string>{kReportUpToFailure});
    EXPECT_EQ(report_, kReportUpToFailure + kReportAfterFailure);
    EXPECT_EQ(table_.rows.size(), 2u);
}

TEST_F(CollectionRunTest, EmptyListWritesTheBeginLineAlone) {
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(report_, "確認:ｲﾍﾞﾝﾄﾛｸﾞの取得を開始します。\r\n");
}

TEST_F(CollectionRunTest, TypeMaskComesFromTheAuditFlags) {
    computers_.names = {"pc"};
    for (auto [type, user] : {std::pair<std::uint16_t, const char*>{8, "ok"}, {16, "ng"}}) {
        RecordShape shape;
        shape.timeGenerated = static_cast<std::uint32_t>(Local(2013, 6, 1));
        shape.eventId = type == 8 ? 4624 : 4625;
        shape.eventType = type;
        shape.strings = {"", "", "", "", "", user, "", "", "", "", ""};
        platform_.eventLog.At("\\\\pc").records.push_back(BuildRecord(shape));
    }
    job_.Filter_Securityok = 0;
    Run();
    ASSERT_EQ(table_.rows.size(), 1u);
    EXPECT_EQ(table_.rows[0].texts[4], "ng");
    EXPECT_EQ(TypeMaskOf(job_), 0x10u);
}

TEST_F(CollectionRunTest, StopEndsTheRunBeforeTheNextComputer) {
    computers_.names = {"a", "b"};
    std::atomic<bool> stop{true};
    CollectionRun run(reader_, job_, report_, computers_, table_, dialog_, &stop);
    EXPECT_EQ(run.Run(), 1);
    EXPECT_EQ(report_, "確認:ｲﾍﾞﾝﾄﾛｸﾞの取得を開始します。\r\n確認:ｲﾍﾞﾝﾄﾛｸﾞの取得を中止しました。\r\n");
    EXPECT_TRUE(run.Stopped());
    EXPECT_TRUE(platform_.eventLog.calls.empty());
}

TEST(AppSettings, StartValues) {
    AppSettings settings;
    settings.RunReport = "old";
    SetStartValues(settings, 1000000, 1000001);
    EXPECT_EQ(settings.Filter_Security, 1);
    EXPECT_EQ(settings.Filter_System + settings.Filter_Application + settings.Filter_Information +
                  settings.Filter_Warning + settings.Filter_Error,
              0);
    EXPECT_EQ(settings.Filter_Securityok, 1);
    EXPECT_EQ(settings.Filter_Securityng, 1);
    EXPECT_EQ(settings.FromLogStart, 0);
    EXPECT_EQ(settings.ToLogEnd, 1);
    EXPECT_EQ(settings.MaxComputer, 200);
    EXPECT_EQ(settings.DontShowMessageToolTip, 0);
    EXPECT_EQ(settings.FromTime, 1000000 - 604800);
    EXPECT_EQ(settings.ToTime, 1000001);
    EXPECT_EQ(settings.RunReport, "");
    EXPECT_EQ(TypeMaskOf(settings), 0x18u);
}

}  // namespace
}  // namespace kestrel::testing
