// The fields read from a logon event, and the texts made of them.
#include "analysis/event_description.h"
#include "analysis/event_details.h"
#include "analysis/security_fields.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <type_traits>

#include "tests/native/security_events.h"

namespace kestrel::testing {
namespace {

// The fields read, in one line: kind|user|type|workstation|ip|port|logon ID|status|origin|offset;
// a field with no value is "none".
std::string Read(Event event) {
    EventDetails d;
    if (!ReadEventDetails(event.Get(), d)) return "not read";
    const auto text = [](const auto& value) {
        if (!value) return std::string("none");
        if constexpr (std::is_arithmetic_v<std::decay_t<decltype(*value)>>)
            return std::to_string(*value);
        else
            return std::string(*value);
    };
    return std::to_string(static_cast<int>(d.kind)) + "|" + std::string(d.user) + "|" + text(d.logonType) +
           "|" + text(d.workstation) + "|" + text(d.ip) + "|" + text(d.port) + "|" + text(d.logonId) + "|" +
           text(d.status) + "|" + std::string(d.origin) + "|" + std::to_string(d.utcOffset);
}

TEST(EventDetails, FieldsOfEachKindAndWhatCountsAsNone) {
    const std::string logon = std::to_string(static_cast<int>(EventKind::Logon)) + "|";
    const std::string logoff = std::to_string(static_cast<int>(EventKind::Logoff)) + "|";
    EXPECT_EQ(Read(Logon(5, "tanaka", "0x00000000003E7A")),
              logon + "tanaka|10|PC07|192.168.1.7|51234|15994|none|pc01.kestrel.local|32400");
    EXPECT_STREQ(LogonTypeName(10), "ﾘﾓｰﾄ対話型");
    EXPECT_EQ(LogonTypeName(12), nullptr);
    // "-", empty and absent are no value; so is a number that is not one, and hex without its 0x.
    EXPECT_EQ(Read(Event(4624, 6, {"", "", "", "", "", "u", "d", "3e7", "ten", "", "", ""})),
              logon + "u|none|none|none|none|none|none|pc01.kestrel.local|32400");
    EXPECT_EQ(Read(Logoff(4634, 9, "0x3e7", kMoment)),
              logoff + "tanaka|10|none|none|none|999|none|pc01.kestrel.local|32400");
    EXPECT_EQ(Read(Event(4688, 1, {})), "not read");
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

// A domain controller's checks: Kerberos codes for 4768, 4769 and 4771, the
// NTSTATUS codes of 4625 for 4776; a success is no failure.
TEST(EventDetails, DomainControllerFailuresByTheirCodes) {
    struct Case {
        std::uint32_t id;
        const char* status;
        const char* reason;  // empty: no failure
    };
    for (const Case& c : std::vector<Case>{
             {4771, "0x18", "パスワードが違います"},
             {4771, "0x0", "その他 (0x0)"},  // a 4771 is a failure whatever it says
             {4768, "0x6", "ユーザ名が存在しません"},
             {4768, "0x0", ""},
             {4769, "0x1b", "その他 (0x1b)"},
             {4776, "0xC000006A", "パスワードが違います"},
             {4776, "0x0", ""},
             {4776, "-", ""},
         }) {
        // Every field "-" but the status, each where its name puts it.
        const fields::Names names = fields::Of(c.id);
        std::vector<std::string> strings(names.size(), "-");
        strings[std::find(names.begin(), names.end(), "Status") - names.begin()] = c.status;
        Event event(c.id, 5, strings);
        EventDetails d;
        ASSERT_TRUE(ReadEventDetails(event.Get(), d));
        std::string reason;
        if (IsFailure(d)) AppendFailureReason(d, reason);
        EXPECT_EQ(reason, c.reason) << c.id << " " << c.status;
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
