// Computers read at once come out as if read one after another.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "collector/ordered_output.h"

namespace kestrel::testing {
namespace {

TEST(OrderedOutput, LaterComputersWaitForTheirTurn) {
    std::ostringstream out, err;
    OrderedOutput ordered(out, err, 3, "begin\r\n");
    std::string text = "c2 rows\n";
    ordered.Write(2, text);
    EXPECT_EQ(text, "");  // taken
    ordered.Finish(2, "c2 report\r\n", true);
    text = "c1 rows\n";
    ordered.Write(1, text);
    ordered.Finish(1, "c1 report\r\n", false);
    EXPECT_EQ(out.str(), "");  // the first computer is still being read
    text = "c0 rows\n";
    ordered.Write(0, text);
    EXPECT_EQ(out.str(), "c0 rows\n");  // the first writes straight through
    ordered.Finish(0, "c0 report\r\n", false);
    // The failed computer's report goes out with everything before it.
    EXPECT_EQ(out.str(), "c0 rows\nc1 rows\nc2 rows\n");
    EXPECT_EQ(err.str(), "begin\r\nc0 report\r\nc1 report\r\nc2 report\r\n");
    EXPECT_EQ(ordered.Failures(), 1);
    ordered.End();
    EXPECT_EQ(err.str(), "begin\r\nc0 report\r\nc1 report\r\nc2 report\r\n");
}

TEST(OrderedOutput, ReportWaitsForAFailureOrTheEnd) {
    std::ostringstream out, err;
    OrderedOutput ordered(out, err, 2, "begin\r\n");
    ordered.Finish(0, "c0\r\n", false);
    EXPECT_EQ(err.str(), "");
    ordered.Finish(1, "c1\r\n", false);
    ordered.End();
    EXPECT_EQ(err.str(), "begin\r\nc0\r\nc1\r\n");
    EXPECT_EQ(ordered.Failures(), 0);
}

// A computer that has kept more than the limit waits until the computers
// before it are done, and nothing is lost or reordered.
TEST(OrderedOutput, ManyWritersKeepListOrderWithinTheLimit) {
    constexpr std::size_t kComputers = 12;
    constexpr int kPieces = 200;
    std::ostringstream out, err;
    OrderedOutput ordered(out, err, kComputers, "", 64);
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t c; (c = next.fetch_add(1)) < kComputers;) {
            for (int piece = 0; piece < kPieces; ++piece) {
                std::string text = std::to_string(c) + ":" + std::to_string(piece) + "\n";
                ordered.Write(c, text);
            }
            ordered.Finish(c, "", c % 5 == 4);
        }
    };
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i) workers.emplace_back(work);
    for (std::thread& w : workers) w.join();
    ordered.End();
    std::string expected;
    for (std::size_t c = 0; c < kComputers; ++c) {
        for (int piece = 0; piece < kPieces; ++piece)
            expected += std::to_string(c) + ":" + std::to_string(piece) + "\n";
    }
    EXPECT_EQ(out.str(), expected);
    EXPECT_EQ(ordered.Failures(), 2);
}

}  // namespace
}  // namespace kestrel::testing
