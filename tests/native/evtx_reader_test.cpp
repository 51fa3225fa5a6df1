// The .evtx reader on logs built here: templates, substitutions, value texts,
// code page 932, nested binary XML, and damaged files.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "base/file_time.h"
#include "base/utf16_cp932.h"
#include "evtx/binxml.h"
#include "evtx/binxml_tokens.h"
#include "evtx/event.h"
#include "evtx/layout.h"
#include "evtx/values.h"
#include "tests/evtx/evtx_builder.h"
#include "tests/evtx/read_events.h"

namespace kestrel {
namespace {

using testing::EventTemplate;
using testing::EvtxChunk;
using testing::EvtxValue;
using testing::SystemValues;

constexpr std::uint64_t kTime = 131116874743460000ull;  // 2016-06-29 15:24:34.346 UTC
constexpr std::uint32_t kUnixTime = 1467213874;
constexpr std::uint64_t kAuditSuccess = 0x8020000000000000ull;
constexpr std::uint64_t kAuditFailure = 0x8010000000000000ull;

std::string ToHex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
    return text;
}

std::vector<std::string> Strings(const evtx::Event& event) {
    const std::vector<std::string> strings = testing::InsertionStrings(event);
    std::size_t bytes = 0;
    for (const std::string& text : strings) bytes += text.size() + 1;
    EXPECT_EQ(bytes, event.strings.size()) << "every string ends in one NUL";
    return strings;
}

// Reads every record that can be read, newest first.
std::vector<evtx::Event> ReadAll(const std::vector<unsigned char>& file, evtx::PassedOver* passed = nullptr) {
    const testing::ReadEventsResult read = testing::ReadEvents(file);
    EXPECT_TRUE(read.opened);
    if (passed != nullptr) *passed = read.passed;
    return read.events;
}

std::vector<evtx::Reason> ReasonsOf(const evtx::PassedOver& passed) {
    std::vector<evtx::Reason> reasons;
    for (const evtx::Fault& fault : passed.Kept()) reasons.push_back(fault.reason);
    return reasons;
}

std::vector<unsigned char> OneChunk(EvtxChunk& chunk) { return testing::EvtxFileOf({chunk.Finish()}); }

// A record of EventTemplate with the given Data values.
void AddEvent(EvtxChunk& chunk, std::uint64_t id, std::vector<EvtxValue> system,
              const std::vector<EvtxValue>& data, const std::string& key = "event",
              std::vector<std::u16string> names = {u"A", u"B", u"C", u"D"}, bool optional = false) {
    names.resize(data.size());
    chunk.Record(id, kTime + id * 10000000, [&](EvtxChunk& r) {
        r.Fragment();
        system.insert(system.end(), data.begin(), data.end());
        r.Instance(key, EventTemplate(names, optional), system);
        r.Eof();
    });
}

TEST(EvtxReader, TemplateDefinedOnceServesEveryRecordNewestFirst) {
    EvtxChunk chunk;
    const std::vector<unsigned char> system18 = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    for (std::uint64_t id = 10; id <= 12; ++id) {
        AddEvent(
            chunk, id, SystemValues(4624, kAuditSuccess, 0, kTime),
            {EvtxValue::Raw(evtx::kSid, system18), EvtxValue::Of<std::uint64_t>(evtx::kHexInt64, 0x3e7 + id),
             EvtxValue::Of<std::uint32_t>(evtx::kUInt32, static_cast<std::uint32_t>(id)),
             EvtxValue::Text(u"user" + std::u16string(1, static_cast<char16_t>(u'0' + id - 10)))},
            "logon", {u"SubjectUserSid", u"TargetLogonId", u"LogonType", u"TargetUserName"});
    }
    const auto events = ReadAll(OneChunk(chunk));
    ASSERT_EQ(events.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const evtx::Event& e = events[i];
        const std::uint64_t id = 12 - i;
        EXPECT_EQ(e.recordId, id);
        EXPECT_EQ(e.eventId, 4624u);
        EXPECT_EQ(e.eventType, 0x08);
        EXPECT_EQ(e.category, 12544);
        EXPECT_EQ(e.timeGenerated, kUnixTime);
        EXPECT_EQ(e.timeWritten, kUnixTime + id);
        EXPECT_EQ(e.source, "Microsoft-Windows-Security-Auditing");
        EXPECT_EQ(e.computer, "PC01");
        const std::vector<std::string> expected = {"S-1-5-18", "0x" + ToHex(0x3e7 + id), std::to_string(id),
                                                   "user" + std::to_string(id - 10)};
        EXPECT_EQ(Strings(e), expected);
    }
}

TEST(EvtxReader, SystemFieldsAsTheClassicRecordCarriesThem) {
    struct Case {
        std::uint64_t keywords;
        std::uint8_t level;
        std::uint16_t type;
    };
    const Case cases[] = {{kAuditSuccess, 0, 0x08},
                          {kAuditFailure, 2, 0x10},
                          {0, 1, 0x01},
                          {0, 2, 0x01},
                          {0, 3, 0x02},
                          {0, 4, 0x04},
                          {0, 0, 0x04},
                          {0, 5, 0x04}};
    EvtxChunk chunk;
    std::uint64_t id = 1;
    for (const Case& c : cases) AddEvent(chunk, id++, SystemValues(7000, c.keywords, c.level, kTime), {});
    // Qualifiers go to the high 16 bits; EventSourceName wins over Name.
    auto system = SystemValues(7036, 0, 4, kTime, u"Microsoft-Windows-Service Control Manager");
    system[1] = EvtxValue::Text(u"Service Control Manager");
    system[3] = EvtxValue::Of<std::uint16_t>(evtx::kUInt16, 0x4000);
    AddEvent(chunk, id, system, {});

    const auto events = ReadAll(OneChunk(chunk));
    ASSERT_EQ(events.size(), std::size(cases) + 1);
    EXPECT_EQ(events[0].eventId, 0x40001B7Cu);
    EXPECT_EQ(events[0].source, "Service Control Manager");
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const evtx::Event& e = events[std::size(cases) - i];
        EXPECT_EQ(e.eventType, cases[i].type)
            << "keywords " << cases[i].keywords << " level " << int(cases[i].level);
        EXPECT_EQ(e.eventId, 7000u);
        EXPECT_EQ(e.source, "Microsoft-Windows-Security-Auditing");
    }
}

TEST(EvtxReader, NullValuesAndArrays) {
    EvtxChunk chunk;
    const auto system = SystemValues(4688, kAuditSuccess, 0, kTime);
    // A plain substitution that is null still gives its (empty) string.
    AddEvent(chunk, 1, system, {EvtxValue::Text(u"a"), EvtxValue::Null(), EvtxValue::Text(u"c")});
    // An optional one that is null leaves its element out.
    AddEvent(chunk, 2, system, {EvtxValue::Text(u"a"), EvtxValue::Null(), EvtxValue::Text(u"c")}, "optional",
             {}, true);
    // An array repeats its element: one string per item.
    const std::vector<unsigned char> texts = {'x', 0, 0, 0, 'y', 0, 'z', 0, 0, 0};
    const std::vector<unsigned char> numbers = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0};
    AddEvent(chunk, 3, system,
             {EvtxValue::Raw(evtx::kString | evtx::kArrayFlag, texts),
              EvtxValue::Raw(evtx::kUInt32 | evtx::kArrayFlag, numbers), EvtxValue::Text(u"end")},
             "arrays");

    const auto events = ReadAll(OneChunk(chunk));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(Strings(events[2]), (std::vector<std::string>{"a", "", "c"}));
    EXPECT_EQ(Strings(events[1]), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(Strings(events[0]), (std::vector<std::string>{"x", "yz", "1", "2", "3", "end"}));
}

std::string TextOf(std::uint8_t type, std::vector<unsigned char> bytes) {
    std::string text;
    evtx::AppendScalarText(type, bytes.data(), static_cast<std::uint32_t>(bytes.size()), text);
    return text;
}

template <typename T>
std::vector<unsigned char> BytesOf(T value) {
    std::vector<unsigned char> bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

std::vector<unsigned char> SysTimeBytes(const std::uint16_t (&fields)[8]) {
    std::vector<unsigned char> bytes(sizeof fields);
    std::memcpy(bytes.data(), fields, sizeof fields);
    return bytes;
}

TEST(EvtxValues, RenderedAsWindowsWritesThemInXml) {
    using namespace evtx;
    struct Case {
        std::uint8_t type;
        std::vector<unsigned char> bytes;
        std::string text;
    };
    const Case cases[] = {
        {kInt8, BytesOf<std::int8_t>(-5), "-5"},
        {kUInt8, BytesOf<std::uint8_t>(200), "200"},
        {kInt16, BytesOf<std::int16_t>(-300), "-300"},
        {kInt32, BytesOf<std::int32_t>(-70000), "-70000"},
        {kInt64, BytesOf<std::int64_t>(-1), "-1"},
        {kUInt64, BytesOf<std::uint64_t>(18446744073709551615ull), "18446744073709551615"},
        {kReal64, BytesOf<double>(1.5), "1.5"},
        {kBool, BytesOf<std::uint32_t>(1), "true"},
        {kBool, BytesOf<std::uint32_t>(0), "false"},
        {kBinary, {0x00, 0xAB, 0x7f}, "00AB7F"},
        {kGuid,
         {0x25, 0x96, 0x84, 0x54, 0x78, 0x54, 0x94, 0x49, 0xA5, 0xBA, 0x3E, 0x3B, 0x03, 0x28, 0xC3, 0x0D},
         "{54849625-5478-4994-A5BA-3E3B0328C30D}"},
        {kSizeT, BytesOf<std::uint64_t>(4), "0x4"},
        {kSizeT, BytesOf<std::uint32_t>(0x1f4), "0x1f4"},
        {kFileTime, BytesOf<std::uint64_t>(131116874743460000ull), "2016-06-29T15:24:34.346000000Z"},
        {kSysTime, SysTimeBytes({2017, 7, 3, 12, 17, 16, 5, 499}), "2017-07-12T17:16:05.499000000Z"},
        {kSid,
         {1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0xF4, 1, 0, 0},
         "S-1-5-21-1-2-3-500"},
        {kSid, {1, 0, 1, 0, 0, 0, 0, 0}, "S-1-0x10000000000"},
        {kHexInt32, BytesOf<std::uint32_t>(0xc000006a), "0xc000006a"},
        {kHexInt64, BytesOf<std::uint64_t>(0x3e7), "0x3e7"},
        {kHexInt64, BytesOf<std::uint64_t>(0), "0x0"},
        {kAnsiString, {'a', 'b', 0, 'c'}, "ab"},
        // Too short for its type, or a SID that claims more than it holds: nothing.
        {kUInt32, {1, 2}, ""},
        {kGuid, {1, 2, 3}, ""},
        {kSid, {1, 3, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextOf(c.type, c.bytes), c.text) << "type 0x" << ToHex(c.type);
    }
}

TEST(EvtxValues, NumbersAndTimesInText) {
    EXPECT_EQ(evtx::ParseInteger("4624"), 4624u);
    EXPECT_EQ(evtx::ParseInteger("0x8020000000000000"), 0x8020000000000000ull);
    EXPECT_FALSE(evtx::ParseInteger("12a"));
    EXPECT_FALSE(evtx::ParseInteger(""));
    EXPECT_EQ(evtx::ParseIsoTime("2016-06-29T15:24:34.346000000Z"), kTime);
    EXPECT_EQ(evtx::ParseIsoTime("2016-06-29T15:24:34.346Z"), kTime);
    EXPECT_FALSE(evtx::ParseIsoTime("2016-13-29T15:24:34Z"));
    EXPECT_EQ(FileTimeToUnixSeconds(kTime), kUnixTime);
    EXPECT_EQ(FileTimeToUnixSeconds(0), 0u);  // before 1970: the earliest time there is
    EXPECT_EQ(FileTimeToUnixSeconds(~0ull), 0xFFFFFFFFu);
}

std::string Cp932(std::u16string text) { return Utf16ToCp932(text); }

TEST(Utf16ToCp932, EveryCharacterWithoutItsOwnCodeBecomesOneQuestionMark) {
    struct Case {
        std::u16string text;
        std::string cp932;
    };
    const Case cases[] = {
        {u"Logon 4624", "Logon 4624"},
        {u"確認ｴﾗｰ", "確認ｴﾗｰ"},   // literals are CP932 at run time
        {u"\u20ac", "?"},          // euro sign: not in 932
        {u"\u301c", "?"},          // wave dash: only a best-fit look-alike
        {u"\u00a5", "?"},          // yen sign: best fit would give 0x5C
        {u"a\U0001F600b", "a?b"},  // a surrogate pair is one character
        {u"a\xD800"
         u"b",
         "a?b"},                  // a lone surrogate
        {u"\uff5e", "\x81\x60"},  // fullwidth tilde has the code
        // Characters with two codes get the one Windows gives.
        {u"\u2252", "\x81\xE0"},  // row 2, not NEC row 13
        {u"\u2160", "\x87\x54"},  // NEC row 13, not IBM
        {u"\u2170", "\xFA\x40"},  // IBM, not NEC-selected IBM
        {u"\u9ad9", "\xFB\xFC"},
        {u"\uffe2", "\x81\xCA"},
        {u"\ue000", "\xF0\x40"},               // user-defined area
        {std::u16string(u"ab\0cd", 5), "ab"},  // a NUL ends the text
    };
    for (const Case& c : cases) EXPECT_EQ(Cp932(c.text), c.cp932) << c.cp932;
    EXPECT_EQ(Utf8ToCp932("\xE7\xA2\xBA\xE8\xAA\x8D\xFF"), "確認?");
}

TEST(EvtxReader, TextsThatCodePage932CannotHold) {
    EvtxChunk chunk;
    AddEvent(chunk, 1, SystemValues(4624, kAuditSuccess, 0, kTime),
             {EvtxValue::Text(u"山田\u20ac"), EvtxValue::Text(u"\U0001F600x"), EvtxValue::Text(u"ﾃｽﾄ")});
    const auto events = ReadAll(OneChunk(chunk));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(Strings(events[0]), (std::vector<std::string>{"山田?", "?x", "ﾃｽﾄ"}));
}

// <LogFileCleared xmlns=".." version="value 0"><SubjectUserName>value 1
// </SubjectUserName><Empty/><Group><SubjectLogonId>value 2</SubjectLogonId>
// </Group></LogFileCleared>
void LogFileCleared(EvtxChunk& b) {
    b.Fragment();
    b.Open(u"LogFileCleared", true);
    b.Attribute(u"xmlns", true);
    b.Text(u"http://manifests.microsoft.com/win/2004/08/windows/eventlog");
    b.Attribute(u"version");
    b.Subst(0, evtx::kString);
    b.CloseStart();
    b.Open(u"SubjectUserName", false);
    b.CloseStart();
    b.Subst(1, evtx::kString);
    b.End();
    b.Open(u"Empty", false);
    b.CloseEmpty();
    b.Open(u"Group", false);
    b.CloseStart();
    b.Open(u"SubjectLogonId", false);
    b.CloseStart();
    b.Subst(2, evtx::kHexInt64);
    b.End();
    b.End();
    b.End();
    b.Eof();
}

// <Event><System><EventID/></System><UserData>value 1</UserData></Event>,
// value 1 being binary XML with a template of its own.
void AddUserDataEvent(EvtxChunk& chunk, std::uint64_t id) {
    using namespace evtx;
    chunk.Record(id, kTime, [&](EvtxChunk& r) {
        r.Fragment();
        r.InstanceHeader("outer", [](EvtxChunk& b) {
            b.Fragment();
            b.Open(u"Event", false);
            b.CloseStart();
            b.Open(u"System", false);
            b.CloseStart();
            b.Element(u"EventID", 0, kUInt16);
            b.End();
            b.Open(u"UserData", false);
            b.CloseStart();
            b.Subst(1, kBinXml);
            b.End();
            b.End();
            b.Eof();
        });
        // The second value is a nested fragment.
        r.InstanceValuesInPlace({{kUInt16, [](EvtxChunk& v) { v.U16(1102); }},
                                 {kBinXml, [](EvtxChunk& v) {
                                      v.Fragment();
                                      v.Instance("inner", LogFileCleared,
                                                 {EvtxValue::Text(u"2"), EvtxValue::Text(u"admin"),
                                                  EvtxValue::Of<std::uint64_t>(kHexInt64, 0x3e7)});
                                      v.Eof();
                                  }}});
        r.Eof();
    });
}

TEST(EvtxReader, UserDataFromNestedBinaryXml) {
    EvtxChunk chunk;
    AddUserDataEvent(chunk, 1);
    AddUserDataEvent(chunk, 2);  // both templates now referred to by offset
    const auto events = ReadAll(OneChunk(chunk));
    ASSERT_EQ(events.size(), 2u);
    for (const evtx::Event& e : events) {
        EXPECT_EQ(e.eventId, 1102u);
        // Attribute values and leaf texts in order; no namespace, and an
        // element without text gives nothing.
        EXPECT_EQ(Strings(e), (std::vector<std::string>{"2", "admin", "0x3e7"}));
    }
}

TEST(EvtxReader, DamagedRecordsAreSkippedAndTheRestServed) {
    EvtxChunk chunk;
    const auto system = SystemValues(4624, kAuditSuccess, 0, kTime);
    AddEvent(chunk, 1, system, {EvtxValue::Text(u"first")});
    // A template offset beyond the chunk.
    chunk.Record(2, kTime, [](EvtxChunk& r) {
        r.Fragment();
        r.Token(evtx::TokenCode::TemplateInstance);
        r.U8(evtx::kInstanceVersion);
        r.U32(0);            // template identifier
        r.U32(0xFFFFFF00u);  // definition
        r.InstanceValues({});
        r.Eof();
    });
    // A name offset beyond the chunk.
    chunk.Record(3, kTime, [](EvtxChunk& r) {
        r.Fragment();
        r.Token(evtx::TokenCode::OpenElement);
        r.U16(evtx::kNoDependency);
        r.U32(0);            // data size
        r.U32(0x7FFFFFF0u);  // name
        r.CloseEmpty();
        r.Eof();
    });
    // A template that uses itself.
    chunk.Record(4, kTime, [](EvtxChunk& r) {
        r.Fragment();
        std::function<void(EvtxChunk&)> body = [&body](EvtxChunk& b) {
            b.Fragment();
            b.Instance("self", body, {});
            b.Eof();
        };
        r.Instance("self", body, {});
        r.Eof();
    });
    AddEvent(chunk, 5, system, {EvtxValue::Text(u"second")});
    // A record whose size runs past the chunk's end.
    const std::uint32_t cut = chunk.Pos();
    AddEvent(chunk, 6, system, {EvtxValue::Text(u"cut")});
    std::vector<unsigned char> bytes = chunk.Finish();
    testing::SetU32(bytes, cut + evtx::layout::kRecordSize.offset, 0x20000);

    evtx::PassedOver passed;
    const auto events = ReadAll(testing::EvtxFileOf({bytes}), &passed);
    // Found by the chunk's scan first, then met while reading newest first.
    using evtx::Reason;
    EXPECT_EQ(ReasonsOf(passed), (std::vector<Reason>{Reason::RecordDamaged, Reason::TooDeep, Reason::BadName,
                                                      Reason::BadTemplate}));
    ASSERT_EQ(passed.Count(), 4u);
    EXPECT_EQ(passed.Kept()[0].offset, 4096u + cut) << "where the cut record stands in the file";
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(Strings(events[0]), std::vector<std::string>{"second"});
    EXPECT_EQ(Strings(events[1]), std::vector<std::string>{"first"});
}

// The tokens a stream gave, one mark each: "<" open, "@" attribute, ">" start
// done, "/>" empty done, "/" end, "tN" text of N units, "&#xN;" a character,
// "$N" substitution N, "#" a template instance.
std::string Marks(const std::vector<evtx::Token>& tokens) {
    static const char* const kMarks[] = {"<", "@", ">", "/>", "/", "t", "&#x", "$", "#"};  // by Op
    std::string marks;
    for (const evtx::Token& token : tokens) {
        marks += kMarks[static_cast<int>(token.op)];
        if (token.op == evtx::Op::Text) marks += std::to_string(token.TextUnits());
        if (token.op == evtx::Op::Char) marks += ToHex(token.Character()) + ";";
        if (token.op == evtx::Op::Subst) marks += std::to_string(token.ValueIndex());
    }
    return marks;
}

// The stream `write` puts in a chunk, parsed as far as `length` bytes (all
// of it when 0): its tokens as Marks, or its fault with the offset counted
// from the stream's start.
struct Parsed {
    std::string marks;
    evtx::Reason reason;
    std::uint64_t faultAt;
};
Parsed ParseStream(const std::function<void(EvtxChunk&)>& write, std::uint32_t length = 0) {
    EvtxChunk chunk;
    const std::uint32_t start = chunk.Pos();
    write(chunk);
    const std::uint32_t end = length == 0 ? chunk.Pos() : start + length;
    const std::vector<unsigned char>& bytes = chunk.Bytes();
    evtx::TokenParser parser(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 0);
    std::vector<evtx::Token> tokens;
    const bool read = parser.Parse(start, end, true, tokens);
    EXPECT_EQ(read, !parser.LastFault());
    return {read ? Marks(tokens) : "", parser.LastFault().reason,
            read ? 0 : parser.LastFault().offset - start};
}

TEST(EvtxTokenParser, EachTokenGivesWhatItStandsFor) {
    using evtx::TokenCode;
    struct Case {
        const char* what;
        std::function<void(EvtxChunk&)> write;
        std::string marks;
    };
    const Case cases[] = {
        {"entities and character references",
         [](EvtxChunk& c) {
             c.Open(u"a", false);
             c.CloseStart();
             for (const char16_t* entity : {u"lt", u"amp", u"nbsp", u"apos"}) {
                 c.Token(TokenCode::EntityRef);
                 c.NameRef(entity);
             }
             c.Token(TokenCode::CharRef);
             c.U16(0x263a);
             c.End();
         },
         "<>&#x3c;&#x26;&#x27;&#x263a;/"},
        {"processing instructions stepped over, CDATA as text",
         [](EvtxChunk& c) {
             c.Token(TokenCode::PiTarget);
             c.NameRef(u"xml-stylesheet");
             c.Token(TokenCode::PiData);
             c.U16(3);
             c.Utf16(u"abc");
             c.Open(u"a", true);
             c.Attribute(u"b");
             c.Subst(4, evtx::kString, true);
             c.CloseStart();
             c.Token(TokenCode::CData);
             c.U16(2);
             c.Utf16(u"hi");
             c.End();
         },
         "<@$4>t2/"},
    };
    for (const Case& c : cases) {
        const Parsed parsed = ParseStream(c.write);
        EXPECT_EQ(parsed.reason, evtx::Reason::None) << c.what;
        EXPECT_EQ(parsed.marks, c.marks) << c.what;
    }
}

TEST(EvtxTokenParser, AFaultLiesWhereItsTokenWentWrong) {
    using evtx::Reason;
    using evtx::TokenCode;
    struct Case {
        const char* what;
        std::function<void(EvtxChunk&)> write;
        std::uint32_t length;  // of the stream; 0: all that was written
        Reason reason;
        std::uint32_t faultAt;  // from the stream's start
    };
    const Case cases[] = {
        {"a value of a type other than text",
         [](EvtxChunk& c) {
             c.Token(TokenCode::Value);
             c.U8(evtx::kUInt32);
             c.U32(5);
         },
         0, Reason::BadToken, 0},
        {"a token with no meaning",
         [](EvtxChunk& c) {
             c.Fragment();
             c.U8(0x10);
         },
         0, Reason::BadToken, 4},
        {"a text longer than its stream",
         [](EvtxChunk& c) {
             c.Token(TokenCode::Value);
             c.U8(evtx::kString);
             c.U16(100);
             c.Utf16(u"ab");
         },
         0, Reason::Truncated, 4},
        {"an open element cut inside its header", [](EvtxChunk& c) { c.Open(u"a", false); }, 5,
         Reason::Truncated, 0},
        {"a substitution cut before its type", [](EvtxChunk& c) { c.Subst(1, evtx::kString); }, 3,
         Reason::Truncated, 3},
        {"a character reference cut inside its unit",
         [](EvtxChunk& c) {
             c.Token(TokenCode::CharRef);
             c.U16(0x41);
         },
         2, Reason::Truncated, 1},
        {"a template instance cut before its definition offset",
         [](EvtxChunk& c) {
             c.Token(TokenCode::TemplateInstance);
             c.U8(evtx::kInstanceVersion);
             c.U32(0);
             c.U32(0x1000);
         },
         8, Reason::Truncated, 6},
    };
    for (const Case& c : cases) {
        const Parsed parsed = ParseStream(c.write, c.length);
        EXPECT_EQ(parsed.reason, c.reason) << c.what;
        EXPECT_EQ(parsed.faultAt, c.faultAt) << c.what;
    }
}

// Each level repeats its one value, binary XML holding the next level, 64
// times: 64^5 walks without a limit on the work a record may ask for.
void FanOut(EvtxChunk& c, int levels) {
    c.Fragment();
    c.InstanceHeader("fan", [](EvtxChunk& b) {
        b.Fragment();
        b.Open(u"Event", false);
        b.CloseStart();
        for (int i = 0; i < 64; ++i) b.Subst(0, evtx::kBinXml);
        b.End();
        b.Eof();
    });
    c.InstanceValuesInPlace({{evtx::kBinXml, [levels](EvtxChunk& v) {
                                  if (levels > 0) FanOut(v, levels - 1);
                              }}});
    c.Eof();
}

TEST(EvtxReader, ARecordThatMultipliesItsWorkIsGivenUp) {
    EvtxChunk chunk;
    chunk.Record(1, kTime, [](EvtxChunk& r) { FanOut(r, 4); });
    AddEvent(chunk, 2, SystemValues(4624, kAuditSuccess, 0, kTime), {EvtxValue::Text(u"fine")});
    evtx::PassedOver passed;
    const auto events = ReadAll(OneChunk(chunk), &passed);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].recordId, 2u);
    EXPECT_EQ(ReasonsOf(passed), std::vector<evtx::Reason>{evtx::Reason::TooMuchWork});
}

TEST(EvtxReader, ChunksWithABadHeaderAreSearchedForRecords) {
    EvtxChunk good, bad, last;
    const auto system = SystemValues(4634, kAuditSuccess, 0, kTime);
    AddEvent(good, 1, system, {EvtxValue::Text(u"a")});
    AddEvent(bad, 2, system, {EvtxValue::Text(u"b")});
    AddEvent(last, 3, system, {EvtxValue::Text(u"c")});
    std::vector<unsigned char> damaged = bad.Finish();
    testing::ZeroBytes(damaged, 0, sizeof evtx::layout::kChunkSignature);
    std::vector<unsigned char> checksum = last.Finish();
    testing::IncrementByte(checksum, evtx::layout::kChunkHeaderChecksum.offset, 1);
    std::vector<unsigned char> file = testing::EvtxFileOf({good.Finish(), damaged, checksum});
    testing::ShrinkSize(file, evtx::layout::kChunkSize - 3000);  // the last chunk cut short

    evtx::PassedOver passed;
    const auto events = ReadAll(file, &passed);
    EXPECT_EQ(ReasonsOf(passed), (std::vector<evtx::Reason>{evtx::Reason::ChunkHeaderDamaged,
                                                            evtx::Reason::ChunkHeaderDamaged}));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].recordId, 3u);
    EXPECT_EQ(events[1].recordId, 2u);
    EXPECT_EQ(events[2].recordId, 1u);
}

TEST(EvtxReader, BytesThatAreNoEventLogDoNotOpen) {
    const std::string text =
        "Just some text, not a log at all; long enough to pass a size check ..."
        "................................................................";
    const std::vector<unsigned char> notALog(text.begin(), text.end());
    const testing::ReadEventsResult read = testing::ReadEvents(notALog);
    EXPECT_FALSE(read.opened);
    EXPECT_EQ(read.why.reason, evtx::Reason::NotAnEventLog);
    EXPECT_FALSE(testing::ReadEvents(std::vector<unsigned char>{}).opened);
    const testing::ReadEventsResult empty = testing::ReadEvents(testing::EvtxFileOf({}));
    EXPECT_TRUE(empty.opened);  // an empty log
    EXPECT_TRUE(empty.events.empty());
}

}  // namespace
}  // namespace kestrel
