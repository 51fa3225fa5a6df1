// The collector's lines for analysts: the fields read from an event as JSON
// and CSV, sessions as the collector writes them, and what --format ecs and
// timesketch make of a value.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/json_object.h"
#include "collector/ecs_output.h"
#include "collector/json_text.h"
#include "collector/output_text.h"
#include "collector/row_capture.h"
#include "collector/row_output.h"
#include "collector/session_output.h"
#include "collector/timesketch_output.h"
#include "engine/classification.h"
#include "tests/native/security_events.h"

namespace kestrel::testing {
namespace {

void Same(std::string_view text, std::string& out) { out += text; }

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

// Commas come between keys only, an inner object's keys count on their own,
// and numbers of either sign are written whole.
TEST(JsonObject, CommasNestingAndValues) {
    std::string out;
    JsonObject json(out, AppendJsonString);
    JsonObject inner = json.String("a", "x\"").Object("in");
    inner.End();
    json.Strings("none", std::vector<std::string>{}).Strings("two", std::vector<std::string>{"p", "q"});
    JsonObject counts = json.Object("n");
    counts.Number("min", INT64_MIN).Number("max", UINT64_MAX);
    counts.End();
    json.Bool("t", true).Bool("f", false).Null("z").StringOrNull("o", std::nullopt).Raw("r", "[1]");
    json.End();
    EXPECT_EQ(out, R"({"a":"x\"","in":{},"none":[],"two":["p","q"],)"
                   R"("n":{"min":-9223372036854775808,"max":18446744073709551615},)"
                   R"("t":true,"f":false,"z":null,"o":null,"r":[1]})");
}

TEST(RowOutput, JsonLineHasEveryKeyInOrder) {
    JsonRowOutput output;
    output.BeginComputer(0, "PC01");
    const TableRow row{};
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

TEST(TimesketchMessage, SaysWhatHappenedToWhomFromWhere) {
    struct Case {
        Event event;
        const char* message;
    };
    // The events keep their strings where they were made: no copies.
    Case cases[] = {
        {Failed("0xc000006d", "0xc000006a"),
         "ログオン失敗 admin@PC01 from 203.0.113.9 (パスワードが違います)"},
        {Logon(5, "tanaka", "0x3e7a", "10"), "ログオン KESTREL\\tanaka@PC01 from 192.168.1.7 (ﾘﾓｰﾄ対話型)"},
        {Logoff(4634, 9, "0x3e7a", kMoment), "ログオフ KESTREL\\tanaka@PC01 (ﾘﾓｰﾄ対話型)"}};
    for (Case& c : cases) {
        EventDetails details;
        ASSERT_TRUE(ReadEventDetails(c.event.Get(), details));
        std::string message;
        TimesketchRowOutput::AppendMessage(details, "PC01", message);
        EXPECT_EQ(message, c.message);
    }
}

TEST(EcsAddress, OnlyWhatAnIpFieldTakes) {
    for (const char* ip : {"127.0.0.1", "0.0.0.0", "255.255.255.255", "::1", "::", "fe80::1",
                           "::ffff:192.168.10.21", "1:2:3:4:5:6:7:8", "1::8", "2001:db8::1:0:0:1"}) {
        EXPECT_TRUE(IsIpAddress(ip)) << ip;
    }
    for (const char* text : {"", "-", "LOCAL", "256.1.1.1", "1.2.3", "1.2.3.4.5", "01.2.3.4", "1.2.3.4:80",
                             "fe80::1%12", ":::", "1:2:3:4:5:6:7:8:9", "1::2::3", "12345::1", "1:2:3:4:5:6:7",
                             "::ffff:1.2.3", "1.2.3.4::", "g::1", "1:", ":1"}) {
        EXPECT_FALSE(IsIpAddress(text)) << text;
    }
}

}  // namespace
}  // namespace kestrel::testing
