// The collector's lines for analysts: the fields read from an event, their
// JSON and CSV, and sessions paired from logons and logoffs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collector/event_details.h"
#include "collector/json_text.h"
#include "collector/output_text.h"
#include "collector/row_capture.h"
#include "collector/row_output.h"
#include "collector/session_output.h"
#include "engine/classification.h"

namespace kestrel::testing {
namespace {

void Same(std::string_view text, std::string& out) { out += text; }

// 2024-03-15 00:21:42 UTC, which Tokyo calls 09:21:42.
constexpr std::uint32_t kMoment = 1710462102;

// One event as the reader hands it on.
class Event {
public:
    Event(std::uint32_t id, std::uint32_t recordId, std::vector<std::string> strings,
          std::uint32_t utc = kMoment, std::string timeText = "")
        : texts_(std::move(strings)), timeText_(std::move(timeText)) {
        // Tokyo's time text unless a test gives another zone's.
        if (timeText_.empty()) {
            AppendLocalTimeText(utc, 9 * 3600, timeText_);
            timeText_ += "  ";
        }
        record_.EventID = id;
        record_.RecordNumber = recordId;
        record_.TimeGenerated = utc;
        record_.EventType = id == 4625 ? kEventTypeAuditFailure : kEventTypeAuditSuccess;
        table_.fill(nullptr);
        for (std::size_t i = 0; i < texts_.size(); ++i) table_[i] = texts_[i].c_str();
    }
    LogEvent Get() {
        return LogEvent{record_,           "\\\\PC01",      "src",  message_.data(), "security",
                        timeText_.c_str(), record_.EventID, table_, origin.c_str()};
    }
    std::string origin = "pc01.kestrel.local";

private:
    EventLogRecord record_{};
    std::vector<std::string> texts_;
    std::string timeText_;
    std::string message_ = "message";
    InsertionTable table_{};
};

// Strings of a 4624 in their published order: user 5, domain 6, logon ID 7,
// type 8, workstation 11, address 18, port 19.
Event Logon(std::uint32_t recordId, std::string user, std::string logonId, std::string type = "10",
            std::uint32_t utc = kMoment) {
    std::vector<std::string> s(21, "-");
    s[5] = std::move(user), s[6] = "KESTREL", s[7] = std::move(logonId), s[8] = std::move(type);
    s[11] = "PC07", s[18] = "192.168.1.7", s[19] = "51234";
    return Event(4624, recordId, s, utc);
}

// 4634 (user 1, domain 2, logon ID 3, type 4) or 4647 (no type).
Event Logoff(std::uint32_t id, std::uint32_t recordId, std::string logonId, std::uint32_t utc) {
    std::vector<std::string> s = {"S-1-5-21-1", "tanaka", "KESTREL", std::move(logonId)};
    if (id == 4634) s.push_back("10");
    return Event(id, recordId, s, utc);
}

// 4625: user 5, domain 6, status 7, sub-status 9, type 10, workstation 13,
// address 19, port 20.
Event Failed(std::string status, std::string subStatus, std::vector<std::string> more = {}) {
    std::vector<std::string> s(21, "-");
    s[5] = "admin", s[6] = "", s[7] = std::move(status), s[9] = std::move(subStatus), s[10] = "3";
    s[13] = "ATTACKER", s[19] = "203.0.113.9", s[20] = "0";
    for (std::size_t i = 0; i + 1 < more.size(); i += 2) s[std::stoul(more[i])] = more[i + 1];
    return Event(4625, 77, s);
}

TEST(EventDetails, FieldsOfEachKindAndWhatCountsAsNone) {
    EventDetails d;
    Event logon = Logon(5, "tanaka", "0x00000000003E7A");
    ASSERT_TRUE(ReadEventDetails(logon.Get(), d));
    EXPECT_EQ(d.kind, EventKind::Logon);
    EXPECT_EQ(d.user, "tanaka");
    EXPECT_EQ(d.logonType, 10u);
    EXPECT_EQ(d.workstation, "PC07");
    EXPECT_EQ(d.ip, "192.168.1.7");
    EXPECT_EQ(d.port, 51234u);
    EXPECT_EQ(d.logonId, 0x3E7Au);
    EXPECT_FALSE(d.status);
    EXPECT_EQ(d.origin, "pc01.kestrel.local");
    EXPECT_EQ(d.utcOffset, 9 * 3600);

    // "-", empty and absent are no value; so is a number that is not one.
    Event bare = Event(4624, 6, {"", "", "", "", "", "u", "d", "3e7", "ten", "", "", ""});
    ASSERT_TRUE(ReadEventDetails(bare.Get(), d));
    EXPECT_FALSE(d.logonId);  // hex needs its 0x
    EXPECT_FALSE(d.logonType);
    EXPECT_FALSE(d.workstation);
    EXPECT_FALSE(d.ip);
    EXPECT_FALSE(d.port);

    Event logoff = Logoff(4634, 9, "0x3e7", kMoment);
    ASSERT_TRUE(ReadEventDetails(logoff.Get(), d));
    EXPECT_EQ(d.kind, EventKind::Logoff);
    EXPECT_EQ(d.user, "tanaka");
    EXPECT_EQ(d.logonType, 10u);
    EXPECT_EQ(d.logonId, 0x3e7u);
    EXPECT_FALSE(d.ip);

    Event other = Event(4672, 1, {});
    EXPECT_FALSE(ReadEventDetails(other.Get(), d));
}

TEST(EventDetails, NumbersAtTheirLimits) {
    EXPECT_EQ(ParseDecimal("4294967295"), 4294967295u);
    EXPECT_FALSE(ParseDecimal("4294967296"));
    EXPECT_FALSE(ParseDecimal("-1"));
    EXPECT_FALSE(ParseDecimal(" 3"));
    EXPECT_EQ(ParseHex("0xFFFFFFFFFFFFFFFF"), 0xFFFFFFFFFFFFFFFFu);
    EXPECT_EQ(ParseHex("0x000000000000000000001"), 1u);
    EXPECT_FALSE(ParseHex("0x1FFFFFFFFFFFFFFFF"));
    EXPECT_FALSE(ParseHex("0x"));
    EXPECT_FALSE(ParseHex("0x12g"));
    std::string hex;
    AppendHex(0, hex);
    hex += ' ';
    AppendHex(0xC000006D, hex);
    EXPECT_EQ(hex, "0x0 0xc000006d");
}

TEST(EventDetails, FailureReasonPrefersTheSubStatus) {
    struct Case {
        const char* status;
        const char* subStatus;
        const char* reason;
    };
    for (const Case& c : std::vector<Case>{
             {"0xC000006D", "0xC000006A", "パスワードが違います"},
             {"0xc000006d", "0xc0000064", "ユーザ名が存在しません"},
             {"0xc000006e", "0x0", "アカウントの制限によりログオンできません"},  // sub-status unknown
             {"0xc000006e", "0xc0000072", "アカウントが無効です"},
             {"0xc0000234", "-", "アカウントがロックされています"},
             {"0xC00000DC", "0x0", "その他 (0xc00000dc)"},
             {"-", "0x0", "その他"},
         }) {
        Event failed = Failed(c.status, c.subStatus);
        EventDetails d;
        ASSERT_TRUE(ReadEventDetails(failed.Get(), d));
        std::string reason;
        AppendFailureReason(d, reason);
        EXPECT_EQ(reason, c.reason) << c.status << " " << c.subStatus;
    }
}

TEST(EventDetails, IsoTimeCarriesTheOffsetOfItsMoment) {
    std::string text;
    AppendIsoTime(kMoment, 9 * 3600, text);
    text += ' ';
    AppendIsoTime(kMoment, -(3 * 3600 + 30 * 60), text);  // Newfoundland
    text += ' ';
    AppendIsoTime(951782400, 0, text);  // 2000-02-29, a leap day
    text += ' ';
    AppendLocalTimeText(kMoment, 9 * 3600, text);
    EXPECT_EQ(
        text,
        "2024-03-15T09:21:42+09:00 2024-03-14T20:51:42-03:30 2000-02-29T00:00:00+00:00 2024/03/15 09:21:42");

    // The offset is what lies between the reader's local time text and UTC.
    Event summer = Event(4634, 1, {"", "u", "d", "0x1"}, 1720000000, "2024/07/03 11:46:40  ");
    EventDetails d;
    ASSERT_TRUE(ReadEventDetails(summer.Get(), d));
    EXPECT_EQ(d.utcOffset, 2 * 3600);
}

TEST(JsonText, Cp932BecomesEscapedUtf8) {
    std::string json;
    AppendJsonString("a\"b\\c\r\n\x01", json);
    EXPECT_EQ(json, "\"a\\\"b\\\\c\\u000d\\u000a\\u0001\"");
    // Each kind of character, against the system's converter.
    for (const char* text : {"ﾛｸﾞｵﾝ", "ログオン失敗", "コンピュータ名", "①ⅰ髙﨑", "＼～∥－￢"}) {
        std::string utf8;
        AppendCp932AsUtf8(text, utf8);
        EXPECT_EQ(utf8, ToOutputText(text)) << ToOutputText(text);
    }
    // A lead byte with nothing or no trail after it is one "?"; the next byte stands.
    std::string broken;
    AppendCp932AsUtf8(std::string("\x81", 1), broken);
    AppendCp932AsUtf8(std::string("\x81\x20", 2), broken);
    EXPECT_EQ(broken, "?? ");
}

TEST(RowOutput, JsonLineHasEveryKeyInOrder) {
    JsonRowOutput output;
    output.BeginComputer(0, "PC01");
    const std::array<std::string, 8> row{};
    std::string out;
    Event failed = Failed("0xc000006d", "0xc000006a", {"5", "ﾀﾅｶ"});
    output.Event(failed.Get(), &row, out);
    EXPECT_EQ(out, ToOutputText(
                       "{\"computer\":\"PC01\",\"time\":\"2024-03-15T09:21:42+09:00\",\"record_id\":77,"
                       "\"event_id\":4625,"
                       "\"kind\":\"failed_logon\",\"user\":\"ﾀﾅｶ\",\"domain\":\"\",\"logon_type\":3,"
                       "\"workstation\":\"ATTACKER\","
                       "\"ip\":\"203.0.113.9\",\"port\":0,\"logon_id\":null,\"status\":\"0xc000006d\",\"sub_"
                       "status\":\"0xc000006a\","
                       "\"failure_reason\":\"パスワードが違います\",\"origin\":\"pc01.kestrel.local\"}\n"));

    // Events the table dropped give no line.
    out.clear();
    output.Event(failed.Get(), nullptr, out);
    EXPECT_EQ(out, "");
}

TEST(RowOutput, CsvDetailsFollowTheTableColumns) {
    RowCapture capture;
    EventClassifier classifier(capture);
    std::string out;
    CsvRowOutput::AppendHeader(Same, true, out);
    CsvRowOutput output(Same, true);
    output.BeginComputer(0, "SV,01");
    for (Event event : {Logon(5, "tanaka", "0x3e7a", "2"), Failed("0xc000006d", "0xc0000064"),
                        Logoff(4634, 9, "0x3e7a", kMoment)}) {
        const LogEvent e = event.Get();
        ASSERT_EQ(classifier.InsertEventMessage(e), 1);
        output.Event(e, &capture.Texts(), out);
    }
    EXPECT_EQ(
        out,
        "コンピュータ,時刻,ログオン,ログオフ,ユーザ名,コンピュータ名,イベントID,タイプ,ログオンタイプ,"
        "ワークステーション名,ソースネットワークアドレス,ソースポート,ログオンID,状態,サブ状態,失敗の理由,"
        "記録したコンピュータ\r\n"
        "\"SV,01\",\"2024/03/15 09:21:42  \",ログオン,,tanaka,KESTREL,4624,ローカル,2,PC07,192.168.1.7,51234,"
        "0x3e7a,,,,pc01.kestrel.local\r\n"
        "\"SV,01\",\"2024/03/15 09:21:42  "
        "\",ログオン失敗,,admin,,4625,ネットワーク,3,ATTACKER,203.0.113.9,0,,"
        "0xc000006d,0xc0000064,ユーザ名が存在しません,pc01.kestrel.local\r\n"
        "\"SV,01\",\"2024/03/15 09:21:42  \",,ログオフ,tanaka,KESTREL,4634,,10,,,,0x3e7a,,,,"
        "pc01.kestrel.local\r\n");
}

// Sessions of events handed on newest first, as the reader does.
std::string Sessions(std::vector<Event> newestFirst, bool json = true) {
    RowCapture capture;
    EventClassifier classifier(capture);
    SessionOutput output(json, Same);
    output.BeginComputer(0, "PC01");
    std::string out;
    for (Event& event : newestFirst) {
        const LogEvent e = event.Get();
        const bool kept = classifier.InsertEventMessage(e) == 1;
        output.Event(e, kept ? &capture.Texts() : nullptr, out);
    }
    return out;
}

TEST(SessionOutput, EachLogonEndsAtItsFirstLaterLogoff) {
    const std::string out = Sessions({
        Logoff(4634, 20, "0x100", kMoment + 3605),
        Logoff(4647, 19, "0x100", kMoment + 3600),  // the user logged off; the system's 4634 follows
        Logon(18, "sato", "0x200"),                 // never logged off
        Logoff(4634, 17, "0x999", kMoment),         // no logon in the window: not listed
        Logon(10, "tanaka", "0x100"),
    });
    EXPECT_EQ(out,
              "{\"computer\":\"PC01\",\"logon_id\":\"0x200\",\"user\":\"sato\",\"domain\":\"KESTREL\","
              "\"logon_type\":10,"
              "\"workstation\":\"PC07\",\"ip\":\"192.168.1.7\",\"start\":\"2024-03-15T09:21:42+09:00\","
              "\"end\":null,"
              "\"seconds\":null,\"end_event\":null}\n"
              "{\"computer\":\"PC01\",\"logon_id\":\"0x100\",\"user\":\"tanaka\",\"domain\":\"KESTREL\","
              "\"logon_type\":10,"
              "\"workstation\":\"PC07\",\"ip\":\"192.168.1.7\",\"start\":\"2024-03-15T09:21:42+09:00\","
              "\"end\":\"2024-03-15T10:21:42+09:00\",\"seconds\":3600,\"end_event\":4647}\n");
}

TEST(SessionOutput, ALogonIdUsedAgainEndsNothingOfTheOlderLogon) {
    const std::string out = Sessions(
        {
            Logoff(4634, 30, "0x100", kMoment + 100),
            Logon(29, "suzuki", "0x100", "2", kMoment + 50),  // after a restart, the same ID
            Logon(10, "tanaka", "0x100", "2", kMoment),
            Logoff(4634, 9, "0x100", kMoment),  // older than the logon: not its end
        },
        false);
    EXPECT_EQ(
        out,
        "PC01,0x100,suzuki,KESTREL,2,PC07,192.168.1.7,2024/03/15 09:22:32,2024/03/15 09:23:22,50,4634\r\n"
        "PC01,0x100,tanaka,KESTREL,2,PC07,192.168.1.7,2024/03/15 09:21:42,,,\r\n");
}

TEST(SessionOutput, ServiceLogonsOpenNoSessionButTakeTheirId) {
    const std::string out = Sessions({
        Logoff(4634, 30, "0x3e7", kMoment + 100), Logon(20, "SYSTEM", "0x3e7"),
        Logon(10, "system", "0x3e7"),  // kept: the table compares case-sensitively
    });
    EXPECT_EQ(out.find("SYSTEM"), std::string::npos);
    EXPECT_NE(out.find("\"user\":\"system\""), std::string::npos);
    EXPECT_NE(out.find("\"end\":null"), std::string::npos);
}

}  // namespace
}  // namespace kestrel::testing
