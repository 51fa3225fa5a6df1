#include "engine/classification.h"

#include <gtest/gtest.h>

#include "tests/fakes/fake_services.h"

namespace kestrel::testing {
namespace {

struct Event {
    std::uint32_t id;
    std::uint16_t type;
    std::vector<const char*> strings;
};

class ClassificationTest : public ::testing::Test {
protected:
    int Insert(const Event& e) {
        record_ = EventLogRecord{};
        record_.EventType = e.type;
        record_.EventID = e.id;
        table_entries_.fill(nullptr);
        for (std::size_t i = 0; i < e.strings.size(); ++i) table_entries_[i] = e.strings[i];
        std::string message = "message";
        const LogEvent event{record_,        "\\\\pc",      "src",
                             message.data(), "security",    "2013/06/01 09:05:07  ",
                             e.id,           table_entries_};
        return classifier_.InsertEventMessage(event);
    }
    static std::vector<const char*> Logon(const char* user, const char* type, std::size_t typeIndex = 8) {
        std::vector<const char*> s(typeIndex + 1, "x");
        s[5] = user;
        s[6] = "DOMAIN";
        s[typeIndex] = type;
        return s;
    }

    EventLogRecord record_{};
    InsertionTable table_entries_{};
    MemoryResultTable table_;
    EventClassifier classifier_{table_};
};

TEST_F(ClassificationTest, LogonRowInTheOrderTheListIsChanged) {
    table_.rows.resize(2);
    EXPECT_EQ(Insert({4624, 8, Logon("alice", "2")}), 1);
    EXPECT_EQ(table_.calls,
              (std::vector<std::string>{"insert 2 3", "text 2 5 DOMAIN", "text 2 4 alice",
                                        "text 2 2 ログオン", "text 2 7 ローカル",
                                        "text 2 1 2013/06/01 09:05:07  ", "text 2 6 4624", "redraw 0 3"}));
    EXPECT_EQ(table_.rows[2].texts[3], "");
}

TEST_F(ClassificationTest, FailedLogonAndLogoffRows) {
    EXPECT_EQ(Insert({4625, 16, Logon("bob", "3", 10)}), 1);
    EXPECT_EQ(Insert({4634, 8, {"S-1-5-21", "carol", "CORP"}}), 1);
    const Row& failed = table_.rows[0];
    EXPECT_EQ(failed.image, 4);
    EXPECT_EQ(failed.texts[2], "ログオン失敗");
    EXPECT_EQ(failed.texts[3], "");
    EXPECT_EQ(failed.texts[7], "ネットワーク");
    EXPECT_EQ(failed.texts[6], "4625");
    const Row& logoff = table_.rows[1];
    EXPECT_EQ(logoff.image, 3);
    EXPECT_EQ(logoff.texts[2], "");
    EXPECT_EQ(logoff.texts[3], "ログオフ");
    EXPECT_EQ(logoff.texts[4], "carol");
    EXPECT_EQ(logoff.texts[5], "CORP");
    EXPECT_EQ(logoff.texts[7], "");
    // A logoff sets no type column at all.
    for (const auto& call : table_.calls) EXPECT_NE(call.rfind("text 1 7", 0), 0u) << call;
}

TEST_F(ClassificationTest, ServiceAccountsLeftOutOfLogonsOnlyAndCaseSensitively) {
    for (const char* account : {"SYSTEM", "LOCAL SERVICE", "NETWORK SERVICE"}) {
        EXPECT_EQ(Insert({4624, 8, Logon(account, "5")}), 0) << account;
        EXPECT_EQ(Insert({4625, 16, Logon(account, "5", 10)}), 1) << account;
        EXPECT_EQ(Insert({4634, 8, {"", account, ""}}), 1) << account;
    }
    EXPECT_EQ(Insert({4624, 8, Logon("system", "5")}), 1);
    EXPECT_EQ(table_.rows.size(), 7u);
}

TEST_F(ClassificationTest, LogonTypeTextIsAnExactMatch) {
    for (auto [type, text] : {std::pair<const char*, const char*>{"2", "ローカル"},
                              {"3", "ネットワーク"},
                              {"10", ""},
                              {"02", ""},
                              {"", ""}}) {
        table_.rows.clear();
        Insert({4624, 8, Logon("u", type)});
        ASSERT_EQ(table_.rows.size(), 1u);
        EXPECT_EQ(table_.rows[0].texts[7], text) << type;
    }
}

TEST_F(ClassificationTest, OtherEventsAndQualifiedIdsAreDropped) {
    for (std::uint32_t id : {4672u, 4648u, 0u, 4624u | 0x00010000u, 0x40001210u}) {
        EXPECT_EQ(Insert({id, 8, Logon("u", "2")}), 0) << id;
    }
    EXPECT_TRUE(table_.calls.empty());
}

TEST_F(ClassificationTest, MissingStringsReadAsEmpty) {
    EXPECT_EQ(Insert({4634, 8, {}}), 1);
    EXPECT_EQ(Insert({4624, 0, {"only one"}}), 1);
    EXPECT_EQ(table_.rows[0].texts[4], "");
    EXPECT_EQ(table_.rows[1].texts[7], "");
    EXPECT_EQ(table_.rows[1].image, 0);
}

}  // namespace
}  // namespace kestrel::testing
