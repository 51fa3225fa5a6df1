// The parts of the sample-site tool that the readers in check_sample_site.py
// cannot see go wrong: encodings, refusals and the local time text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "evtx/crc32.h"
#include "evtx/layout.h"
#include "tools/evtx_writer.h"
#include "tools/sample_site.h"
#include "tools/security_log.h"

namespace kestrel {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace layout = evtx::layout;
namespace writer = evtx::writer;

TEST(EvtxWriter, Encodings) {
    const std::string check = "123456789";
    const auto* checkBytes = reinterpret_cast<const std::uint8_t*>(check.data());
    EXPECT_EQ(evtx::Crc32(checkBytes, check.size()), 0xcbf43926u);
    EXPECT_EQ(evtx::Crc32(checkBytes + 5, 4, evtx::Crc32(checkBytes, 5)), 0xcbf43926u);  // in two parts

    const writer::Guid provider = writer::ParseGuid("{54849625-5478-4994-A5BA-3E3B0328C30D}");
    EXPECT_EQ(Bytes(provider.begin(), provider.end()),
              (Bytes{0x25, 0x96, 0x84, 0x54, 0x78, 0x54, 0x94, 0x49, 0xa5, 0xba, 0x3e, 0x3b, 0x03, 0x28, 0xc3, 0x0d}));
    EXPECT_EQ(writer::GuidText(provider), "{54849625-5478-4994-A5BA-3E3B0328C30D}");

    EXPECT_EQ(writer::SidValue("S-1-5-18").bytes, (Bytes{1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0}));
    EXPECT_EQ(writer::SidValue("S-1-5-21-1-4294967295-500").bytes,
              (Bytes{1, 4, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 1, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0xf4, 1, 0, 0}));
    for (const char* bad : {"", "S-1", "S-1-5", "S-1-5-x", "X-1-5-18", "S-1-5-18-", "S-1--5", "S-1-5-4294967296"}) {
        EXPECT_TRUE(writer::SidValue(bad).bytes.empty()) << bad;
    }
}

writer::Instance SmallEvent(std::size_t textUnits) {
    static const auto tmpl = std::make_shared<writer::Template>(
        writer::Element{u"Event", 0xffff, {}, {writer::Substitution{0, writer::ValueType::String, false}}});
    return writer::Instance{tmpl, {writer::StringValue(std::u16string(textUnits, u'x'))}};
}

TEST(EvtxWriter, ChunksAndRefusals) {
    writer::FileBuilder file;
    EXPECT_FALSE(file.Add(0, 1, SmallEvent(1)));        // identifiers start at 1
    EXPECT_FALSE(file.Add(1, 1, SmallEvent(40000)));    // a value has a 16-bit size
    for (std::uint64_t id = 10; id < 400; ++id) ASSERT_TRUE(file.Add(id, 1, SmallEvent(200))) << id;
    EXPECT_FALSE(file.Add(399, 1, SmallEvent(1)));      // identifiers only grow
    const Bytes bytes = file.Bytes();
    ASSERT_EQ((bytes.size() - layout::kFileHeaderBlock) % layout::kChunkSize, 0u);
    const std::size_t chunks = (bytes.size() - layout::kFileHeaderBlock) / layout::kChunkSize;
    EXPECT_EQ(chunks, 3u);  // 390 records of about 440 bytes
    EXPECT_EQ(bytes[42], chunks);
    EXPECT_EQ(evtx::FieldOf(bytes.data(), layout::kFileChecksum), evtx::Crc32(bytes.data(), 120));
    for (std::size_t c = 0; c + 1 < chunks; ++c) {
        const std::uint8_t* chunk = bytes.data() + layout::kFileHeaderBlock + c * layout::kChunkSize;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(chunk), 8), std::string("ElfChnk\0", 8));
        std::uint32_t freeSpace = 0;
        std::memcpy(&freeSpace, chunk + 48, 4);
        ASSERT_LE(freeSpace, layout::kChunkSize);
        EXPECT_GT(freeSpace, layout::kChunkSize - 460) << "chunk " << c << " closed with room for another record";
        EXPECT_EQ(evtx::FieldOf(chunk, layout::kChunkRecordsChecksum),
                  evtx::Crc32(chunk + layout::kChunkHeaderSize, freeSpace - layout::kChunkHeaderSize));
        EXPECT_EQ(evtx::FieldOf(chunk, layout::kChunkHeaderChecksum),
                  evtx::Crc32(chunk + 128, 384, evtx::Crc32(chunk, 120)));
    }
}

TEST(SecurityLog, FieldsByNameAndTypedText) {
    sample::SecurityEvent logon = sample::NewEvent(4624);
    ASSERT_EQ(logon.data.size(), 27u);
    EXPECT_EQ(logon.data[5], u"-");
    EXPECT_TRUE(sample::SetField(logon, u"TargetUserName", u"山田太郎"));
    EXPECT_EQ(logon.data[5], u"山田太郎");
    EXPECT_FALSE(sample::SetField(logon, u"NoSuchField", u"x"));
    EXPECT_TRUE(sample::NewEvent(4999).data.empty());
    EXPECT_EQ(sample::Utf8(u"ｹﾞｽﾄ本社"), "\xef\xbd\xb9\xef\xbe\x9e\xef\xbd\xbd\xef\xbe\x84\xe6\x9c\xac\xe7\xa4\xbe");

    logon.recordId = 1;
    EXPECT_FALSE(sample::WriteSecurityLog(u"PC", {logon}).empty());
    // A text that does not fit the field's type is refused, not written as something else.
    for (const auto& [field, text] : std::vector<std::pair<std::u16string, std::u16string>>{
             {u"LogonType", u"x"}, {u"LogonType", u"4294967296"}, {u"TargetLogonId", u"3e7"},
             {u"TargetUserSid", u"S-1"}, {u"LogonGuid", u"{0}"}}) {
        sample::SecurityEvent bad = logon;
        ASSERT_TRUE(sample::SetField(bad, field, text));
        EXPECT_TRUE(sample::WriteSecurityLog(u"PC", {bad}).empty()) << sample::Utf8(field);
    }
}

TEST(SampleSite, TimeTextIsLocalAndCutToTheSecond) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    setenv("TZ", "JST-9", 1);
    tzset();
    // 2024-03-15 02:59:59.9999999 UTC.
    const std::uint64_t fileTime = (1710471599ull + 11644473600ull) * 10000000ull + 9999999ull;
    EXPECT_EQ(sample::TimeText(fileTime), u"2024/03/15 11:59:59  ");
    if (saved) {
        setenv("TZ", previous.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST(SampleSite, RowsFollowTheTable) {
    sample::Site site;
    site.listNames = {"B", "A", "C"};
    auto event = [](std::uint64_t record, std::uint16_t id, std::vector<std::pair<std::u16string, std::u16string>> set) {
        sample::SecurityEvent e = sample::NewEvent(id);
        e.recordId = record;
        e.fileTime = 133550000000000000ull + record * 10000000ull;
        for (auto& [field, text] : set) EXPECT_TRUE(sample::SetField(e, field, text));
        return e;
    };
    site.logs.push_back({"A", u"A", {event(1, 4624, {{u"TargetUserName", u"SYSTEM"}}),
                                     event(2, 4624, {{u"TargetUserName", u"system"}, {u"LogonType", u"2"}}),
                                     event(3, 4672, {})}});
    site.logs.push_back({"B", u"B", {event(1, 4625, {{u"TargetUserName", u"a,\"b\""}, {u"LogonType", u"3"}}),
                                     event(2, 4634, {{u"TargetUserName", u"NETWORK SERVICE"}, {u"LogonType", u"2"}}),
                                     event(3, 4624, {{u"TargetUserName", u"u"}, {u"LogonType", u"10"}})}});
    const std::vector<sample::ExpectedRow> rows = sample::ExpectedRows(site);
    ASSERT_EQ(rows.size(), 4u);
    // List order, each computer newest first; the service account only leaves out 4624.
    EXPECT_EQ(rows[0].computer, "B");
    EXPECT_EQ(rows[0].texts[3], u"u");
    EXPECT_EQ(rows[0].texts[6], u"");
    EXPECT_EQ(rows[1].texts[2], u"ログオフ");
    EXPECT_EQ(rows[1].texts[3], u"NETWORK SERVICE");
    EXPECT_EQ(rows[1].texts[6], u"");  // a logoff has no type
    EXPECT_EQ(rows[2].texts[1], u"ログオン失敗");
    EXPECT_EQ(rows[2].texts[6], u"ネットワーク");
    EXPECT_EQ(rows[3].computer, "A");
    EXPECT_EQ(rows[3].texts[3], u"system");
    EXPECT_EQ(rows[3].texts[6], u"ローカル");

    // Fields with a comma, a quote or a blank at either end are quoted.
    const std::string line = sample::Utf8(u"\r\nB,\"" + sample::TimeText(133550000010000000ull) +
                                          u"\",ログオン失敗,,\"a,\"\"b\"\"\",-,4625,ネットワーク\r\n");
    const std::string csv = sample::RowsCsv(rows);
    EXPECT_NE(csv.find(line), std::string::npos) << csv;
}

}  // namespace
}  // namespace kestrel
