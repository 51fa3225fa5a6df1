// kestrel-collect over a site that answers through the network: computers
// that never answer, or stop answering part-way, fail with a timeout and hold
// up no other; message modules are loaded only when asked, once a computer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "collector/collect_main.h"
#include "collector/output_text.h"
#include "platform/native/native_services.h"
#include "platform/win32_errors.h"
#include "tests/fakes/output_checks.h"
#include "tests/fakes/simulated_site.h"
#include "tests/native/test_time_zone.h"

namespace kestrel::testing {
namespace {

class SiteRunTest : public ::testing::Test {
protected:
    struct Run {
        int code;
        std::string out, err;
    };
    Run Collect(const SiteShape& shape, std::vector<std::string> options, bool terminal = false,
                bool keepModules = true) {
        // Calls that never answer keep the service: it lives as long as the test.
        auto& log = logs_.emplace_back(std::make_unique<SimulatedEventLog>(shape, errors_));
        SimulatedModules modules(shape, memory_, errors_);
        CollectEnvironment environment{shape.end,   "",     log.get(), memory_, errors_,
                                       systemTime_, fatal_, registry_, modules};
        environment.errIsTerminal = terminal;
        environment.keepModulesLoaded = keepModules;
        options.insert(options.end(), {"--from", "2024-03-14"});
        for (std::size_t i = 0; i < shape.computers; ++i) options.push_back(SiteComputer(i));
        std::ostringstream out, err;
        Run run{RunCollector(options, environment, out, err), out.str(), err.str()};
        loads_ = modules.loads.load();
        return run;
    }

    TimeZone zone_{"Asia/Tokyo"};
    HeapMemory memory_;
    NativeErrors errors_;
    NativeSystemTime systemTime_{errors_};
    NativeFatalStop fatal_;
    SimulatedRegistry registry_;
    std::vector<std::unique_ptr<SimulatedEventLog>> logs_;
    std::uint64_t loads_ = 0;
};

TEST_F(SiteRunTest, ComputersThatDoNotAnswerFailWithATimeoutAndHoldUpNoOther) {
    SiteShape shape;
    shape.computers = 8;
    shape.deadEvery = 3;         // PC0003, PC0006: the open never answers
    shape.unreachableEvery = 5;  // PC0005
    shape.stuckEvery = 7;        // PC0007: its rows come, the read after them does not
    const auto failed =
        std::filesystem::temp_directory_path() / ("kestrel_failed_" + std::to_string(::getpid()));
    const Run many =
        Collect(shape, {"--timeout", "1", "--jobs", "8", "--failed-list", failed.string()}, true);
    const Run one = Collect(shape, {"--timeout", "1", "--jobs", "1"});

    EXPECT_EQ(many.code, 1);
    EXPECT_EQ(many.out, one.out) << "computers in list order, whatever the jobs";
    for (const char* computer : {"PC0001", "PC0002", "PC0004", "PC0007", "PC0008"}) {
        EXPECT_NE(many.out.find(std::string("\r\n") + computer + ","), std::string::npos) << computer;
    }
    // PC0003's open and PC0007's read time out; PC0005 cannot be reached.
    const std::string timeout = errors_.SystemText(kErrorTimeout);
    for (const std::string& lines :
         {"ｴﾗｰ 002:[\\\\PC0003][security]:ｲﾍﾞﾝﾄのｵｰﾌﾟﾝに失敗しました。\r\n原因 003:" + timeout,
          "原因 016:" + timeout, "原因 003:" + errors_.SystemText(kRpcServerUnavailable)}) {
        EXPECT_NE(many.err.find(ToOutputText(lines)), std::string::npos) << lines;
    }

    // The progress line went and came back around the report: without it the
    // report is as it is with one job and no terminal.
    EXPECT_NE(many.err.find("kestrel-collect: "), std::string::npos);
    EXPECT_EQ(std::regex_replace(many.err, std::regex("\r[^\r\n]*\r"), ""), one.err);
    EXPECT_EQ(one.err.find('\r' + std::string("kestrel-collect")), std::string::npos);

    std::ifstream list(failed, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(list), {}),
              "PC0003\r\nPC0005\r\nPC0006\r\nPC0007\r\n");
    std::filesystem::remove(failed);
}

TEST_F(SiteRunTest, MessagesOnlyWhenAskedAndEachModuleOnceAComputer) {
    SiteShape shape;
    shape.computers = 3;
    const Run plain = Collect(shape, {"--details"});
    EXPECT_EQ(loads_, 0u);
    const Run messages = Collect(shape, {"--details", "--messages"});
    EXPECT_EQ(loads_, 3u * 2) << "the message and the parameter module of each computer";
    Collect(shape, {"--details", "--messages"}, false, false);
    EXPECT_EQ(loads_, 3u * 2 * shape.events) << "both, for every event, without keeping them";

    // The same rows, a message more; but a name that is a parameter reference
    // ("%%1833") is put in by the message step, and only with it.
    std::istringstream a(plain.out), b(messages.out);
    std::size_t differing = 0;
    for (std::string x, y; std::getline(a, x) && std::getline(b, y);) {
        std::vector<std::string> left = CsvFields(x.substr(0, x.size() - 1)),
                                 right = CsvFields(y.substr(0, y.size() - 1));
        ASSERT_EQ(right.size(), left.size() + 1);
        right.pop_back();
        if (left != right) {
            ++differing;
            EXPECT_EQ(left[4] + "|" + right[4], ToOutputText("%%1833|はい"));
        }
    }
    EXPECT_EQ(differing, 3u);
    EXPECT_NE(messages.out.find(ToOutputText("ｱｶｳﾝﾄ user0 がﾛｸﾞｵﾝしました。(ﾀｲﾌﾟ 3)")), std::string::npos);
}

}  // namespace
}  // namespace kestrel::testing
