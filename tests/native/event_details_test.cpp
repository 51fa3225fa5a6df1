// The fields read from a logon event, and the texts made of them.
#include "analysis/event_description.h"
#include "analysis/event_details.h"

#include <gtest/gtest.h>

#include "tests/native/security_events.h"

namespace kestrel::testing {
namespace {

TEST(EventDetails, FieldsOfEachKindAndWhatCountsAsNone) {
    EventDetails d;
    Event logon = Logon(5, "tanaka", "0x00000000003E7A");
    ASSERT_TRUE(ReadEventDetails(logon.Get(), d));
    EXPECT_EQ(d.kind, EventKind::Logon);
    EXPECT_EQ(d.user, "tanaka");
    EXPECT_EQ(d.logonType, 10u);
    EXPECT_STREQ(LogonTypeName(*d.logonType), "ﾘﾓｰﾄ対話型");
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
    EXPECT_EQ(LogonTypeName(12), nullptr);
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

// The details dialog's texts: a failed logon and a logon of a type with a name.
TEST(EventDescription, FieldsAsTheDetailsShowThem) {
    EventDescription d;
    Event failed = Failed("0xc000006d", "0xc0000064");
    ASSERT_TRUE(DescribeEvent(failed.Get(), d));
    EXPECT_EQ(d.time, "2024/03/15 09:21:42 (UTC+09:00)");
    EXPECT_EQ(
        d.kind + "|" + d.user + "|" + d.logonType + "|" + d.workstation + "|" + d.address + "|" + d.port,
        "ログオン失敗|admin|3 (ﾈｯﾄﾜｰｸ)|ATTACKER|203.0.113.9|0");
    EXPECT_EQ(d.status + "|" + d.subStatus + "|" + d.failureReason + "|" + d.logonId,
              "0xc000006d|0xc0000064|ユーザ名が存在しません|");
    EXPECT_EQ(d.recordNumber + "|" + d.eventId + "|" + d.origin, "77|4625|pc01.kestrel.local");

    Event logon = Logon(5, "tanaka", "0x3e7", "12");
    ASSERT_TRUE(DescribeEvent(logon.Get(), d));
    EXPECT_EQ(d.kind + "|" + d.logonType + "|" + d.logonId + "|" + d.failureReason, "ログオン|12|0x3e7|");
    EXPECT_FALSE(DescribeEvent(Event(4688, 1, {}).Get(), d));
}

}  // namespace
}  // namespace kestrel::testing
