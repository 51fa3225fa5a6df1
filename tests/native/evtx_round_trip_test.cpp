// The sample-site writer and the reader in one program: what one writes, the
// other reads back field for field, over many chunks and on any number of
// threads. Both define their own value types; in one binary they must not
// mix.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/file_time.h"
#include "evtx/event.h"
#include "tests/evtx/evtx_builder.h"
#include "tests/evtx/read_events.h"
#include "tools/security_log.h"

namespace kestrel {
namespace {

constexpr std::uint64_t kStart = 133000000000000000ull;  // 2022-06-17 UTC
constexpr std::uint64_t kSecond = 10000000;

std::vector<sample::SecurityEvent> ManyEvents(int count) {
    std::vector<sample::SecurityEvent> events;
    for (int i = 0; i < count; ++i) {
        const std::uint16_t id = i % 3 == 0 ? 4624 : i % 3 == 1 ? 4625 : 4634;
        sample::SecurityEvent event = sample::NewEvent(id);
        event.recordId = static_cast<std::uint64_t>(i) + 1;
        event.fileTime = kStart + static_cast<std::uint64_t>(i) * 61 * kSecond;
        event.failure = id == 4625;
        const std::u16string user = sample::Utf16("user" + std::to_string(i));
        EXPECT_TRUE(sample::SetField(event, u"TargetUserName", user));
        EXPECT_TRUE(sample::SetField(
            event, u"TargetUserSid",
            u"S-1-5-21-1004336348-1177238915-682003330-" + sample::Utf16(std::to_string(1000 + i))));
        if (id != 4634) {
            EXPECT_TRUE(sample::SetField(event, u"IpAddress",
                                         u"192.168.1." + sample::Utf16(std::to_string(i % 250))));
        }
        if (id == 4625) {
            EXPECT_TRUE(sample::SetField(event, u"Status", u"0xc000006d"));
        }
        events.push_back(event);
    }
    return events;
}

TEST(EvtxRoundTrip, WhatTheWriterWritesTheReaderReadsBack) {
    const std::vector<sample::SecurityEvent> written = ManyEvents(600);
    const std::vector<std::uint8_t> bytes = sample::WriteSecurityLog(u"PC01.example.local", written);
    ASSERT_FALSE(bytes.empty());
    ASSERT_GT(bytes.size(), 4096u + 2 * 0x10000u) << "several chunks";
    const std::vector<unsigned char> file(bytes.begin(), bytes.end());
    for (unsigned threads : {1u, 3u}) {
        SCOPED_TRACE(threads);
        const testing::ReadEventsResult read = testing::ReadEvents(file, threads);
        ASSERT_TRUE(read.opened);
        EXPECT_EQ(read.passed.Count(), 0u);
        ASSERT_EQ(read.events.size(), written.size());
        for (std::size_t i = 0; i < written.size(); ++i) {
            const sample::SecurityEvent& want = written[written.size() - 1 - i];  // newest first
            const evtx::Event& got = read.events[i];
            ASSERT_EQ(got.recordId, want.recordId);
            EXPECT_EQ(got.eventId, want.id);
            EXPECT_EQ(got.eventType, want.failure ? 0x10 : 0x08);
            EXPECT_EQ(got.timeGenerated, FileTimeToUnixSeconds(want.fileTime));
            EXPECT_EQ(got.source, "Microsoft-Windows-Security-Auditing");
            EXPECT_EQ(got.computer, "PC01.example.local");
            const std::vector<std::string> strings = testing::InsertionStrings(got);
            ASSERT_EQ(strings.size(), want.data.size()) << "record " << got.recordId;
            for (std::size_t k = 0; k < strings.size(); ++k) {
                EXPECT_EQ(strings[k], sample::Utf8(want.data[k]))
                    << "record " << got.recordId << " field " << k;
            }
        }
    }
}

}  // namespace
}  // namespace kestrel
