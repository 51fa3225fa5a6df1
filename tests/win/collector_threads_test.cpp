// The collector's jobs under Windows threads: a job's thread ends after
// writing its computer's rows, and the next one starts. Run under Wine's heap
// checks, which warn when a thread's end touches memory already freed.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "collector/csv_line.h"
#include "collector/output_text.h"

namespace kestrel {
namespace {

TEST(CollectorOnThreads, ThreadsThatWroteCsvFieldsEndCleanly) {
    // Long enough to live outside the string, quoted and not.
    const std::string plain(80, 'x');
    const std::string quoted = "\"" + plain + ",\"";
    for (int round = 0; round < 50; ++round) {
        std::vector<std::thread> jobs;
        std::vector<std::string> lines(4);
        for (std::string& line : lines) {
            jobs.emplace_back([&] {
                for (int row = 0; row < 100; ++row) {
                    AppendCsvLine({plain, quoted}, AppendOutputText, line);
                }
            });
        }
        for (std::thread& job : jobs) job.join();
        for (const std::string& line : lines) {
            ASSERT_EQ(line.size(), 100 * (plain.size() + 1 + quoted.size() + 4 + 2));
        }
    }
}

}  // namespace
}  // namespace kestrel
