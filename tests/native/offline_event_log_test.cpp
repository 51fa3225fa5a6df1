// The offline event-log service under the contract the log reader relies on,
// and the choice of it through KESTREL_LOG_DIR.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/log_reader.h"
#include "platform/event_log_record.h"
#include "platform/offline/event_log_choice.h"
#include "platform/offline/offline_event_log.h"
#include "platform/win32_errors.h"
#include "tests/evtx/evtx_builder.h"
#include "tests/fakes/fake_services.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using testing::EvtxChunk;
using testing::EvtxValue;

constexpr std::uint64_t kTime = 131116874743460000ull;
constexpr std::uint32_t kReadBackwards = kSequentialRead | kBackwardsRead;

// Records 1..count; record n carries n insertion strings, so sizes differ.
std::vector<unsigned char> LogWith(int count) {
    EvtxChunk chunk;
    for (int n = 1; n <= count; ++n) {
        std::vector<std::u16string> names;
        std::vector<EvtxValue> values = testing::SystemValues(4624, 0x8020000000000000ull, 0, kTime + n * 10000000ull);
        for (int i = 0; i < n; ++i) {
            names.push_back(u"D" + std::u16string(1, static_cast<char16_t>(u'a' + i)));
            values.push_back(EvtxValue::Text(u"value " + std::u16string(1, static_cast<char16_t>(u'0' + n))));
        }
        chunk.Record(static_cast<std::uint64_t>(n), kTime, [&](EvtxChunk& r) {
            r.Fragment();
            r.Instance("t" + std::to_string(n), testing::EventTemplate(names), values);
            r.Eof();
        });
    }
    return testing::EvtxFileOf({chunk.Finish()});
}

void Write(const fs::path& path, const std::vector<unsigned char>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

class OfflineEventLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("kestrel-offline-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        Write(folder_ / "Pc01" / "SECURITY.evtx", LogWith(5));
        Write(folder_ / "empty" / "security.evtx", testing::EvtxFileOf({}));
        const std::string text = "not an event log";
        Write(folder_ / "Pc01" / "Application.evtx", std::vector<unsigned char>(text.begin(), text.end()));
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path folder_;
    testing::FakeErrors errors_;
};

TEST_F(OfflineEventLogTest, OpeningFailsAsTheLiveServiceDoes) {
    OfflineEventLog service(errors_, folder_);
    EXPECT_EQ(service.Open("\\\\PC02", "security"), nullptr);
    EXPECT_EQ(errors_.last, kRpcServerUnavailable);
    EXPECT_EQ(service.Open("\\\\", "security"), nullptr);
    EXPECT_EQ(errors_.last, kRpcServerUnavailable);
    EXPECT_EQ(service.Open("\\\\empty", "system"), nullptr);
    EXPECT_EQ(errors_.last, kErrorFileNotFound);
    EXPECT_EQ(service.Open("\\\\pc01", "application"), nullptr);
    EXPECT_EQ(errors_.last, kErrorEventlogFileCorrupt);
    // Names are compared without regard to case.
    EventLogService::Handle log = service.Open("\\\\PC01", "Security");
    ASSERT_NE(log, nullptr);
    service.Close(log);
}

TEST_F(OfflineEventLogTest, ReadsWholeRecordsNewestFirstUntilTheEnd) {
    OfflineEventLog service(errors_, folder_);
    EventLogService::Handle log = service.Open("\\\\pc01", "security");
    ASSERT_NE(log, nullptr);
    std::vector<unsigned char> buffer(320000);
    std::uint32_t read = 0, needed = 0;
    ASSERT_TRUE(service.Read(log, kReadBackwards, 0, buffer.data(), 320000, read, needed));

    InsertionTable table;
    std::uint32_t at = 0, number = 5;
    while (at < read) {
        const auto& record = *reinterpret_cast<const EventLogRecord*>(buffer.data() + at);
        ASSERT_GE(record.Length, sizeof(EventLogRecord));
        ASSERT_LE(at + record.Length, read);
        EXPECT_EQ(record.Length % 4, 0u);
        std::uint32_t trailing;
        std::memcpy(&trailing, buffer.data() + at + record.Length - 4, 4);
        EXPECT_EQ(trailing, record.Length);
        EXPECT_EQ(record.Reserved, kEventLogRecordSignature);
        EXPECT_EQ(record.RecordNumber, number);
        EXPECT_EQ(record.EventID, 4624u);
        EXPECT_EQ(record.EventType, kEventTypeAuditSuccess);
        EXPECT_EQ(record.TimeGenerated, 1467213874u + number);
        EXPECT_EQ(record.NumStrings, number);
        const char* source = reinterpret_cast<const char*>(buffer.data() + at + sizeof(EventLogRecord));
        EXPECT_STREQ(source, "Microsoft-Windows-Security-Auditing");
        EXPECT_STREQ(source + std::strlen(source) + 1, "PC01");
        ASSERT_TRUE(FillInsertionTable(record, table));
        for (std::uint32_t i = 0; i < number; ++i) EXPECT_STREQ(table[i], ("value " + std::to_string(number)).c_str());
        at += record.Length;
        --number;
    }
    EXPECT_EQ(number, 0u);
    EXPECT_FALSE(service.Read(log, kReadBackwards, 0, buffer.data(), 320000, read, needed));
    EXPECT_EQ(errors_.last, kErrorHandleEof);
    EXPECT_EQ(read, 0u);
    service.Close(log);

    log = service.Open("\\\\EMPTY", "SECURITY");
    ASSERT_NE(log, nullptr);
    EXPECT_FALSE(service.Read(log, kReadBackwards, 0, buffer.data(), 320000, read, needed));
    EXPECT_EQ(errors_.last, kErrorHandleEof);
    service.Close(log);
}

TEST_F(OfflineEventLogTest, ABufferTooSmallAsksForExactlyTheNextRecord) {
    OfflineEventLog service(errors_, folder_);
    EventLogService::Handle log = service.Open("\\\\pc01", "security");
    ASSERT_NE(log, nullptr);
    std::vector<unsigned char> buffer(64);
    std::uint32_t read = 0, needed = 0;
    ASSERT_FALSE(service.Read(log, kReadBackwards, 0, buffer.data(), 64, read, needed));
    EXPECT_EQ(errors_.last, kErrorInsufficientBuffer);
    ASSERT_GT(needed, 64u);

    // Grown to exactly that size, the same record comes, and only it.
    buffer.assign(needed, 0);
    ASSERT_TRUE(service.Read(log, kReadBackwards, 0, buffer.data(), needed, read, needed));
    const auto& newest = *reinterpret_cast<const EventLogRecord*>(buffer.data());
    EXPECT_EQ(read, newest.Length);
    EXPECT_EQ(newest.RecordNumber, 5u);

    // The next, smaller record fits; the one after it no longer does, so the
    // read stops with what it has.
    std::vector<unsigned char> wider(buffer.size() + 8);
    ASSERT_TRUE(service.Read(log, kReadBackwards, 0, wider.data(), static_cast<std::uint32_t>(wider.size()),
                             read, needed));
    EXPECT_EQ(reinterpret_cast<const EventLogRecord*>(wider.data())->RecordNumber, 4u);
    EXPECT_EQ(read, reinterpret_cast<const EventLogRecord*>(wider.data())->Length);
    service.Close(log);
}

TEST_F(OfflineEventLogTest, ReadsOldestFirstWhenAskedAndRefusesOtherReads) {
    OfflineEventLog service(errors_, folder_);
    EventLogService::Handle log = service.Open("\\\\pc01", "security");
    ASSERT_NE(log, nullptr);
    std::vector<unsigned char> buffer(320000);
    std::uint32_t read = 0, needed = 0;
    EXPECT_FALSE(service.Read(log, kSeekRead | kBackwardsRead, 3, buffer.data(), 320000, read, needed));
    EXPECT_EQ(errors_.last, kErrorInvalidParameter);
    EXPECT_FALSE(service.Read(log, kSequentialRead, 0, buffer.data(), 320000, read, needed));
    EXPECT_EQ(errors_.last, kErrorInvalidParameter);
    ASSERT_TRUE(service.Read(log, kSequentialRead | kForwardsRead, 0, buffer.data(), 320000, read, needed));
    EXPECT_EQ(reinterpret_cast<const EventLogRecord*>(buffer.data())->RecordNumber, 1u);
    service.Close(log);
    EXPECT_FALSE(service.Read(log, kReadBackwards, 0, buffer.data(), 320000, read, needed));
    EXPECT_EQ(errors_.last, kErrorInvalidHandle);
}

// Every record of the shared logs goes through the service into well-formed
// records, however small the buffer starts.
TEST(OfflineEventLogShared, ServesEveryReadableRecordOfTheSharedLogs) {
    const fs::path shared = fs::path(KESTREL_SHARED_DIR) / "evtx";
    if (!fs::exists(shared / "security.evtx")) GTEST_SKIP() << "no shared logs";
    const fs::path folder = fs::temp_directory_path() / "kestrel-offline-shared";
    fs::remove_all(folder);
    fs::create_directories(folder / "pc");
    fs::copy_file(shared / "security_bad_string_cache.evtx", folder / "pc" / "security.evtx");
    testing::FakeErrors errors;
    OfflineEventLog service(errors, folder);
    EventLogService::Handle log = service.Open("\\\\pc", "security");
    ASSERT_NE(log, nullptr);
    std::vector<unsigned char> buffer(256);
    std::uint32_t records = 0, logons = 0, previous = 0xFFFFFFFF;
    for (;;) {
        std::uint32_t read = 0, needed = 0;
        if (!service.Read(log, kReadBackwards, 0, buffer.data(), static_cast<std::uint32_t>(buffer.size()), read,
                          needed)) {
            if (errors.last != kErrorInsufficientBuffer) break;
            ASSERT_GT(needed, buffer.size());
            buffer.resize(needed);
            continue;
        }
        for (std::uint32_t at = 0; at < read;) {
            const auto& record = *reinterpret_cast<const EventLogRecord*>(buffer.data() + at);
            ASSERT_EQ(record.Length % 4, 0u);
            EXPECT_LT(record.RecordNumber, previous);
            previous = record.RecordNumber;
            logons += record.EventID == 4624;
            ++records;
            at += record.Length;
        }
    }
    EXPECT_EQ(errors.last, kErrorHandleEof);
    EXPECT_EQ(records, 2261u);
    EXPECT_EQ(logons, 583u);
    service.Close(log);
    fs::remove_all(folder);
}

TEST_F(OfflineEventLogTest, KestrelLogDirChoosesTheOfflineService) {
    testing::FakeEventLog live(errors_);
    ::unsetenv(kLogDirVariable);
    EXPECT_EQ(EventLogChoice(&live, errors_).Service(), &live);
    EXPECT_EQ(EventLogChoice(nullptr, errors_).Service(), nullptr);
    ::setenv(kLogDirVariable, (folder_ / "nothing-here").string().c_str(), 1);
    EXPECT_FALSE(EventLogChoice(&live, errors_).IsOffline());
    ::setenv(kLogDirVariable, folder_.string().c_str(), 1);
    EventLogChoice choice(&live, errors_);
    ASSERT_TRUE(choice.IsOffline());
    EventLogService::Handle log = choice.Service()->Open("\\\\pc01", "security");
    EXPECT_NE(log, nullptr);
    choice.Service()->Close(log);
    ::unsetenv(kLogDirVariable);
}

}  // namespace
}  // namespace kestrel
