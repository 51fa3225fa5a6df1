// A run's table calls gathered on the worker and made again on the list's
// thread: the list must see what it would have seen from the calls made one
// by one, and the worker must get the same answers meanwhile.
#include "engine/table_call_batch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/classification.h"
#include "tests/fakes/fake_services.h"

namespace kestrel::testing {
namespace {

// Every call, the questions included, as text.
class CallLog final : public ResultTablePort {
public:
    int ItemCount() override {
        calls.push_back("count");
        return rows;
    }
    void InsertItem(int index, int image) override {
        calls.push_back("insert " + std::to_string(index) + " " + std::to_string(image));
        ++rows;
    }
    void SetItemText(int row, int column, const char* text) override {
        calls.push_back("text " + std::to_string(row) + " " + std::to_string(column) + " " + text);
    }
    void RedrawItems(int first, int last) override {
        calls.push_back("redraw " + std::to_string(first) + " " + std::to_string(last));
    }
    void DeleteAllItems() override {
        calls.push_back("clear");
        rows = 0;
    }

    int rows = 0;
    std::vector<std::string> calls;
};

struct Event {
    std::uint32_t id;
    std::uint16_t type;
    std::vector<const char*> strings;
};

int Classify(ResultTablePort& table, const Event& e) {
    EventLogRecord record{};
    record.EventType = e.type;
    record.EventID = e.id;
    InsertionTable entries{};
    for (std::size_t i = 0; i < e.strings.size(); ++i) entries[i] = e.strings[i];
    std::string message = "message";
    const LogEvent event{record, "\\\\pc", "src", message.data(), "security", "2013/06/01 09:05:07  ",
                         e.id,   entries};
    EventClassifier classifier(table);
    return classifier.InsertEventMessage(event);
}

const std::vector<Event> kEvents = {
    {4624, 8, {"", "", "", "", "", "alice", "DOM", "", "2"}},
    {4624, 8, {"", "", "", "", "", "SYSTEM", "NT AUTHORITY", "", "5"}},  // dropped: no call at all
    {4634, 8, {"", "bob", "DOM"}},
    {4625, 16, {"", "", "", "", "", "carol", nullptr, "", "", "", "3"}},
};

TEST(TableCallBatchTest, ReplayedRowsMakeTheCallsTheWorkerMade) {
    CallLog direct;
    direct.rows = 2;  // rows of an earlier run
    for (const Event& e : kEvents) Classify(direct, e);

    CallLog list;
    list.rows = 2;
    TableCallBatch batch(list.rows);
    std::vector<int> results;
    for (const Event& e : kEvents) {
        results.push_back(Classify(batch, e));
        if (!batch.Empty()) batch.ReplayOn(list);
        EXPECT_EQ(batch.Count(), list.rows);
    }
    EXPECT_EQ(results, (std::vector<int>{1, 0, 1, 1}));
    EXPECT_EQ(list.calls, direct.calls);
    EXPECT_EQ(list.rows, 5);
    // The worker was answered from the batch: the rows land after the old ones.
    EXPECT_EQ(list.calls.front(), "count");
    EXPECT_EQ(list.calls[1], "insert 2 3");
    EXPECT_EQ(list.calls.back(), "redraw 0 5");
}

TEST(TableCallBatchTest, ClearingCountsFromNothingAndForgottenCallsAreNotMade) {
    MemoryResultTable list;
    TableCallBatch batch(7);
    batch.DeleteAllItems();
    EXPECT_EQ(batch.Count(), 0);
    Classify(batch, kEvents[0]);
    EXPECT_EQ(batch.Count(), 1);
    batch.ReplayOn(list);
    EXPECT_TRUE(batch.Empty());
    ASSERT_EQ(list.rows.size(), 1u);
    EXPECT_EQ(list.rows[0].texts[4], "alice");
    EXPECT_EQ(list.rows[0].texts[7], "ローカル");

    // A list that was gone: the calls are dropped, the count stays what the run made.
    Classify(batch, kEvents[3]);
    batch.Clear();
    EXPECT_TRUE(batch.Empty());
    EXPECT_EQ(batch.Count(), 2);
    batch.ReplayOn(list);
    EXPECT_EQ(list.rows.size(), 1u);
}

TEST(TableCallBatchTest, TextsAreCopiedWhenTheCallIsMade) {
    // The worker's texts live in buffers it reuses for the next event.
    std::string user = "alice";
    TableCallBatch batch(0);
    batch.InsertItem(0, 3);
    batch.SetItemText(0, 4, user.c_str());
    batch.SetItemText(0, 5, nullptr);
    user.assign("zzzzz");
    MemoryResultTable list;
    batch.ReplayOn(list);
    ASSERT_EQ(list.rows.size(), 1u);
    EXPECT_EQ(list.rows[0].texts[4], "alice");
    EXPECT_EQ(list.rows[0].texts[5], "");
}

}  // namespace
}  // namespace kestrel::testing
