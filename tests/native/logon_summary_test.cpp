#include "analysis/logon_summary.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <tuple>
#include <sstream>

#include "analysis/busiest_window.h"
#include "analysis/summary_warnings.h"
#include "collector/summary_output.h"

namespace kestrel {
namespace {

constexpr std::int64_t kNine = 1710374400;  // 2024/03/14 09:00:00 in Tokyo
constexpr std::int32_t kTokyo = 9 * 3600;

EventDetails Row(EventKind kind, std::int64_t utc, std::string_view user,
                 std::optional<std::string_view> ip = {}, std::string_view domain = "KESTREL") {
    EventDetails row;
    row.kind = kind;
    row.utc = utc;
    row.utcOffset = kTokyo;
    row.user = user;
    row.domain = domain;
    row.ip = ip;
    return row;
}

void Fail(LogonSummary& s, std::string_view computer, std::int64_t utc, std::string_view user,
          std::optional<std::string_view> ip = {}, std::string_view domain = "KESTREL") {
    s.Add(computer, Row(EventKind::FailedLogon, utc, user, ip, domain));
}

void Unchanged(std::string_view cp932, std::string& out) { out += cp932; }

std::string Table(const LogonSummary& s, const SummaryThresholds& t = {},
                  CountedEvents events = CountedEvents::Unnamed) {
    std::ostringstream out;
    WriteSummaryTable(s, out, Unchanged, t, events);
    return out.str();
}

// The JSON lines of one kind, each without its "\n".
std::vector<std::string> Json(const LogonSummary& s, std::string_view kind, const SummaryThresholds& t = {},
                              CountedEvents events = CountedEvents::Unnamed) {
    std::ostringstream out;
    WriteSummaryJsonLines(s, out, t, events);
    std::istringstream in(out.str());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (line.find("\"summary\":\"" + std::string(kind) + "\"") != std::string::npos)
            lines.push_back(line);
    }
    return lines;
}

// "address failures users|" for each source of failures.
std::string Sources(const LogonSummary& s) {
    std::string text;
    for (const SourceFailures& source : s.FailureSources()) {
        text.append(source.address) +=
            " " + std::to_string(source.failedLogons) + " " + std::to_string(source.users) + "|";
    }
    return text;
}

std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// The window finder scored by distinct users, as spraying scores it: the
// failures of one second stay together, the window's length is exclusive,
// and every failure that entered the count has left it at the end.
TEST(BusiestWindow, DistinctUsersAndTheCountLeftAsFound) {
    struct Case {
        std::vector<std::int64_t> seconds;
        std::vector<int> users;
        std::int64_t window;
        BusiestWindow found;
    };
    for (const Case& c : std::vector<Case>{
             {{0, 1, 1, 5, 6}, {1, 2, 3, 1, 1}, 2, {0, 2, 3}},
             {{0, 0, 0, 10}, {1, 2, 3, 4}, 1, {0, 2, 3}},
             {{0, 10}, {1, 2}, 5, {0, 0, 1}},
             {{0, 600}, {1, 2}, 600, {0, 0, 1}},
             {{0, 600}, {1, 2}, 601, {0, 1, 2}},
             {{}, {}, 600, {0, 0, 0}},
         }) {
        std::map<int, int> inWindow;
        std::size_t users = 0;
        const BusiestWindow w = FindBusiestWindow(
            c.seconds.size(), c.window, [&](std::size_t i) { return c.seconds[i]; },
            [&](std::size_t i) { users += inWindow[c.users[i]]++ == 0 ? 1 : 0; },
            [&](std::size_t i) { users -= --inWindow[c.users[i]] == 0 ? 1 : 0; },
            [&](std::size_t, std::size_t) { return users; });
        EXPECT_EQ(std::tie(w.first, w.last, w.score), std::tie(c.found.first, c.found.last, c.found.score))
            << c.seconds.size() << " failures, window " << c.window;
        EXPECT_EQ(users, 0u);
    }
}

TEST(LogonSummaryGuessing, TenFailuresOfOneAccountOnOneComputer) {
    LogonSummary s;
    for (int i = 0; i < 9; ++i) Fail(s, "PC01", kNine + i * 30, "nine");
    for (int i = 0; i < 10; ++i) Fail(s, "PC01", kNine + i * 30, "ten");
    // Ten of one account, but five on each computer.
    for (int i = 0; i < 10; ++i) Fail(s, i % 2 ? "PC01" : "PC02", kNine + i * 30, "split");
    const auto flags = Json(s, "password_guessing");
    ASSERT_EQ(flags.size(), 1u);
    EXPECT_NE(flags[0].find("\"user\":\"ten\""), std::string::npos);
}

TEST(LogonSummaryGuessing, WindowHoldsTimesLessThanItsLengthApart) {
    LogonSummary s;
    for (int i = 0; i < 9; ++i) {
        Fail(s, "PC01", kNine + i * 60, "inside");
        Fail(s, "PC01", kNine + i * 60, "edge");
    }
    Fail(s, "PC01", kNine + 599, "inside");
    Fail(s, "PC01", kNine + 600, "edge");
    for (int i = 0; i < 10; ++i) Fail(s, "PC01", kNine + i * 73, "eleven_minutes");
    EXPECT_EQ(Json(s, "password_guessing"),
              std::vector<std::string>{
                  "{\"summary\":\"password_guessing\",\"computer\":\"PC01\",\"user\":\"inside\","
                  "\"domain\":\"KESTREL\",\"failed_logons\":10,"
                  "\"start\":\"2024-03-14T09:00:00+09:00\",\"end\":\"2024-03-14T09:09:59+09:00\"}"});
    SummaryThresholds fiveMinutes;
    fiveMinutes.windowSeconds = 300;
    EXPECT_TRUE(Json(s, "password_guessing", fiveMinutes).empty());
}

TEST(LogonSummaryGuessing, BusiestWindowOfUnorderedFailures) {
    std::vector<std::int64_t> times;
    for (int i = 0; i < 5; ++i) times.push_back(kNine - 7200 + i * 300);  // spread out before
    for (int i = 0; i < 11; ++i) times.push_back(kNine + i * 40);
    times.push_back(kNine + 492);  // 09:08:12
    for (int i = 0; i < 8; ++i)
        times.push_back(kNine + 600 + i * 100);  // 12 again with 09:00:40 on: too late
    std::shuffle(times.begin(), times.end(), std::mt19937(7));
    LogonSummary s;
    for (std::int64_t t : times) Fail(s, "PC01", t, "suzuki");
    const std::string table = Table(s);
    EXPECT_NE(table.find("\r\n警告:パスワード推測の疑い (PC01) KESTREL\\suzuki: 10分間にログオン失敗 12回 "
                         "2024/03/14 09:00:00 - 2024/03/14 09:08:12\r\n"),
              std::string::npos)
        << table;
    // The window's sentence for the flag read back is the table's.
    EXPECT_NE(table.find("\r\n警告:" + WarningText(s.Guessing({}).at(0), 600) + "\r\n"), std::string::npos);
}

TEST(LogonSummarySpraying, CountsDistinctUsersInTheBusiestWindow) {
    LogonSummary s;
    // Four users failing over and over: many failures, few users.
    for (int i = 0; i < 40; ++i) Fail(s, "SV01", kNine + i, "user" + std::to_string(i % 4), "10.0.0.5");
    // admin on two computers is one user; PC01's own admin is another.
    Fail(s, "SV01", kNine + 10, "admin", "10.0.0.9");
    Fail(s, "SV01", kNine + 20, "guest", "10.0.0.9");
    Fail(s, "SV01", kNine + 30, "suzuki", "10.0.0.9");
    Fail(s, "PC01", kNine + 40, "admin", "10.0.0.9");
    Fail(s, "PC01", kNine + 50, "administrator", "10.0.0.9");
    Fail(s, "PC01", kNine + 5, "admin", "10.0.0.9", "PC01");
    Fail(s, "PC01", kNine + 5 - 600, "tanaka", "10.0.0.9");  // a window too early
    const auto flags = Json(s, "password_spraying");
    EXPECT_EQ(flags,
              std::vector<std::string>{
                  "{\"summary\":\"password_spraying\",\"ip\":\"10.0.0.9\",\"users\":5,\"user_names\":["
                  "\"KESTREL\\\\admin\",\"PC01\\\\admin\",\"KESTREL\\\\administrator\",\"KESTREL\\\\guest\","
                  "\"KESTREL\\\\suzuki\"],\"computers\":[\"SV01\",\"PC01\"],"
                  "\"start\":\"2024-03-14T09:00:05+09:00\",\"end\":\"2024-03-14T09:00:50+09:00\"}"});
    SummaryThresholds six;
    six.sprayUsers = 6;
    EXPECT_TRUE(Json(s, "password_spraying", six).empty());
}

TEST(LogonSummarySpraying, WindowBoundaryAndTableLine) {
    LogonSummary s;
    const char* users[] = {"a", "b", "c", "d"};
    for (int i = 0; i < 4; ++i) {
        Fail(s, "PC01", kNine + 100 + i, users[i], "192.168.1.50");
        Fail(s, "PC01", kNine + 100 + i, users[i], "192.168.1.60");
    }
    Fail(s, "PC01", kNine + 100 + 599, "e", "192.168.1.50");
    Fail(s, "PC01", kNine + 100 + 600, "e", "192.168.1.60");
    const std::string table = Table(s);
    EXPECT_NE(table.find("\r\n警告:パスワードスプレーの疑い 192.168.1.50: 10分間に 5ユーザのログオン失敗 "
                         "(KESTREL\\a, KESTREL\\b, KESTREL\\c, KESTREL\\d, KESTREL\\e) (PC01) "
                         "2024/03/14 09:01:40 - 2024/03/14 09:11:39\r\n"),
              std::string::npos)
        << table;
    EXPECT_NE(table.find("\r\n警告:" + WarningText(s.Spraying({}).at(0), 600) + "\r\n"), std::string::npos);
    EXPECT_EQ(table.find("192.168.1.60:"), std::string::npos);
}

TEST(LogonSummaryAccounts, CountsTimesAndAddressesInJson) {
    LogonSummary s;
    s.Add("SV01", Row(EventKind::Logon, kNine + 100, "suzuki", "10.0.0.1"));
    s.Add("PC01", Row(EventKind::Logon, kNine, "user\"1", {}, "PC\\01"));
    s.Add("SV01", Row(EventKind::FailedLogon, kNine + 50, "suzuki", "10.0.0.2"));
    EventDetails summer = Row(EventKind::Logoff, kNine + 300, "suzuki");
    summer.utcOffset = 10 * 3600;
    s.Add("SV01", summer);
    s.Add("SV01", Row(EventKind::Logon, kNine + 10, "suzuki", "10.0.0.1"));
    s.Add("SV01", Row(EventKind::FailedLogon, kNine + 200, "鈴木"));
    EXPECT_EQ(
        Json(s, "account"),
        (std::vector<std::string>{
            "{\"summary\":\"account\",\"computer\":\"SV01\",\"user\":\"suzuki\",\"domain\":\"KESTREL\","
            "\"logons\":2,\"failed_logons\":1,\"logoffs\":1,\"first\":\"2024-03-14T09:00:10+09:00\","
            "\"last\":\"2024-03-14T10:05:00+10:00\",\"ips\":[\"10.0.0.1\",\"10.0.0.2\"]}",
            Utf8(u8"{\"summary\":\"account\",\"computer\":\"SV01\",\"user\":\"鈴木\",\"domain\":\"KESTREL\","
                 u8"\"logons\":0,\"failed_logons\":1,\"logoffs\":0,\"first\":\"2024-03-14T09:03:20+09:00\","
                 u8"\"last\":\"2024-03-14T09:03:20+09:00\",\"ips\":[]}"),
            "{\"summary\":\"account\",\"computer\":\"PC01\",\"user\":\"user\\\"1\",\"domain\":\"PC\\\\01\","
            "\"logons\":1,\"failed_logons\":0,\"logoffs\":0,\"first\":\"2024-03-14T09:00:00+09:00\","
            "\"last\":\"2024-03-14T09:00:00+09:00\",\"ips\":[]}"}));
}

TEST(LogonSummaryTable, ColumnsAlignOnFullAndHalfWidthBytes) {
    EXPECT_EQ(
        Table(LogonSummary()),
        "コンピュータ  ユーザ名  コンピュータ名  ログオン  ログオン失敗  ログオフ  最初  最後  接続元\r\n");
    LogonSummary s;
    s.Add("PC01", Row(EventKind::Logon, kNine + 3600, "鈴木", "192.168.1.10"));
    s.Add("PC01", Row(EventKind::Logoff, kNine + 7200, "ｽｽﾞｷ", {}, "ｹｽﾄﾚﾙ"));
    for (int i = 11; i >= 0; --i)
        Fail(s, "PC01", kNine + i * 30, "administrator", i % 2 ? "192.168.1.51" : "192.168.1.50", "PC01");
    EXPECT_EQ(Table(s),
              "コンピュータ  ユーザ名       コンピュータ名  ログオン  ログオン失敗  ログオフ  最初           "
              "      最後                 接続元\r\n"
              "PC01          administrator  PC01                   0            12         0  2024/03/14 "
              "09:00:00  2024/03/14 09:05:30  192.168.1.51, 192.168.1.50\r\n"
              "PC01          鈴木           KESTREL                1             0         0  2024/03/14 "
              "10:00:00  2024/03/14 10:00:00  192.168.1.10\r\n"
              "PC01          ｽｽﾞｷ           ｹｽﾄﾚﾙ                  0             0         1  2024/03/14 "
              "11:00:00  2024/03/14 11:00:00\r\n"
              "警告:パスワード推測の疑い (PC01) PC01\\administrator: 10分間にログオン失敗 12回 2024/03/14 "
              "09:00:00 - 2024/03/14 09:05:30\r\n");
}

TEST(LogonSummaryAppend, EqualsOneSummaryFedInListOrder) {
    const char* list[] = {"PC01", "SV01", "PC01", "PC02"};  // PC01 read twice
    const char* users[] = {"admin", "suzuki", "tanaka", "ｽｽﾞｷ"};
    const char* ips[] = {"10.0.0.1", "10.0.0.2", "10.0.0.3"};
    std::mt19937 random(3);
    LogonSummary whole;
    std::vector<LogonSummary> parts(4);
    for (std::size_t c = 0; c < 4; ++c) {
        for (int i = 0; i < 200; ++i) {
            constexpr EventKind kinds[] = {EventKind::Logon,          EventKind::FailedLogon,
                                           EventKind::Logoff,         EventKind::PreAuthFailed,
                                           EventKind::NtlmValidation, EventKind::Lockout};
            const auto kind = kinds[random() % std::size(kinds)];
            const std::optional<std::string_view> ip =
                random() % 4 == 0 ? std::nullopt : std::optional<std::string_view>(ips[random() % 3]);
            EventDetails row = Row(kind, kNine + random() % 900, users[random() % 4], ip,
                                   random() % 2 ? "KESTREL" : list[c]);
            row.workstation = ip;
            row.status = 0xc000006a;
            whole.Add(list[c], row);
            parts[c].Add(list[c], row);
        }
    }
    LogonSummary merged;
    for (LogonSummary& part : parts) merged.Append(std::move(part));
    EXPECT_EQ(Table(merged), Table(whole));
    EXPECT_EQ(Sources(merged), Sources(whole));
    ASSERT_FALSE(Json(whole, "password_guessing").empty());
    ASSERT_FALSE(Json(whole, "password_spraying").empty());
    ASSERT_FALSE(Json(whole, "lockout").empty());
    for (const char* kind : {"account", "password_guessing", "password_spraying", "lockout"}) {
        EXPECT_EQ(Json(merged, kind, {}, CountedEvents::Named), Json(whole, kind, {}, CountedEvents::Named))
            << kind;
    }
}

// A domain controller sees the domain's failures as failed Kerberos
// pre-authentications (4771) and NTLM checks (4776); they count as failed
// logons do, and each warning then says which events it counted.
TEST(LogonSummaryDomainController, KerberosAndNtlmFailuresCountAndLockoutsAreListed) {
    LogonSummary s;
    EventDetails row;
    const std::string users[] = {"user0", "user1", "user2", "user3", "user4", "user5"};
    for (int i = 0; i < 6; ++i) {
        // An IPv4 address the controller wrote as IPv6 meets the member server's failures from it.
        s.Add("DC01", Row(EventKind::PreAuthFailed, kNine + i, users[i], "::ffff:203.0.113.77", ""));
    }
    Fail(s, "SV01", kNine + 10, "admin", "203.0.113.77");
    for (int i = 0; i < 11; ++i) {
        row = Row(EventKind::NtlmValidation, kNine + 60 + i * 10, "suzuki", {}, "");
        row.workstation = "ATTACKER01";
        row.status = i == 10 ? 0x0 : 0xc000006a;  // the last succeeded: no failure
        s.Add("DC01", row);
    }
    row = Row(EventKind::Lockout, kNine + 400, "suzuki");
    row.workstation = "PC03";
    s.Add("DC01", row);
    s.Add("DC01", Row(EventKind::KerberosTicket, kNine, "tanaka"));  // counts for nothing

    const std::string named = Table(s, {}, CountedEvents::Named);
    for (const std::string line : {
             "警告:パスワード推測の疑い (DC01) suzuki: 10分間にログオン失敗 10回 (ｲﾍﾞﾝﾄ 4776: 10回) "
             "2024/03/14 09:01:00 - 2024/03/14 09:02:30",
             "警告:パスワードスプレーの疑い 203.0.113.77: 10分間に 7ユーザのログオン失敗 (KESTREL\\admin, "
             "user0, "
             "user1, user2, user3, user4, user5) (DC01, SV01) (ｲﾍﾞﾝﾄ 4625: 1回, 4771: 6回) "
             "2024/03/14 09:00:00 - 2024/03/14 09:00:10",
             "ロックアウト:KESTREL\\suzuki (DC01) 2024/03/14 09:06:40 呼び出し元 PC03",
         }) {
        EXPECT_NE(named.find("\r\n" + line + "\r\n"), std::string::npos) << line << "\n" << named;
    }
    EXPECT_EQ(Table(s).find("ｲﾍﾞﾝﾄ"), std::string::npos) << "named only where other events were read";
    EXPECT_EQ(s.Accounts().size(), 8u) << "six users, admin and suzuki; no lockout or ticket";
    // Where the failures came from, as the spraying warning counts them.
    EXPECT_EQ(Sources(s), "203.0.113.77 7 7|ATTACKER01 10 1|");
    EXPECT_NE(Json(s, "password_spraying", {}, CountedEvents::Named)
                  .at(0)
                  .find("\"events\":{\"4625\":1,\"4771\":6}"),
              std::string::npos);
    EXPECT_EQ(Json(s, "lockout"),
              std::vector<std::string>{
                  "{\"summary\":\"lockout\",\"computer\":\"DC01\",\"user\":\"suzuki\",\"domain\":"
                  "\"KESTREL\",\"time\":\"2024-03-14T09:06:40+09:00\",\"caller_computer\":\"PC03\"}"});
}

}  // namespace
}  // namespace kestrel
