// The offline event-log service under the contract the log reader relies on,
// and the choice of it through KESTREL_LOG_DIR.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/log_reader.h"
#include "platform/event_log_record.h"
#include "platform/offline/event_log_choice.h"
#include "platform/native/native_services.h"
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
        std::vector<EvtxValue> values =
            testing::SystemValues(4624, 0x8020000000000000ull, 0, kTime + n * 10000000ull);
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
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class OfflineEventLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("kestrel-offline-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                   "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
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
    EXPECT_EQ(errors_.last, kErrorPathNotFound);
    EXPECT_EQ(service.Open("\\\\", "security"), nullptr);
    EXPECT_EQ(errors_.last, kErrorPathNotFound);
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
        for (std::uint32_t i = 0; i < number; ++i)
            EXPECT_STREQ(table[i], ("value " + std::to_string(number)).c_str());
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
        if (!service.Read(log, kReadBackwards, 0, buffer.data(), static_cast<std::uint32_t>(buffer.size()),
                          read, needed)) {
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

// A log of `chunks` chunks of `perChunk` records each, ids counting up from 1.
std::vector<unsigned char> LogOfChunks(int chunks, int perChunk) {
    std::vector<std::vector<unsigned char>> all;
    std::uint64_t id = 0;
    for (int c = 0; c < chunks; ++c) {
        EvtxChunk chunk;
        for (int r = 0; r < perChunk; ++r) {
            ++id;
            const std::vector<EvtxValue> values =
                testing::SystemValues(4624, 0x8020000000000000ull, 0, kTime + id);
            chunk.Record(id, kTime, [&](EvtxChunk& record) {
                record.Fragment();
                record.Instance("t", testing::EventTemplate({}), values);
                record.Eof();
            });
        }
        all.push_back(chunk.Finish());
    }
    return testing::EvtxFileOf(all);
}

// Reads until the service says no more; returns the records read and leaves
// the last error in `error`.
std::uint32_t ReadToTheEnd(EventLogService& service, EventLogService::Handle log, std::uint32_t& error,
                           ErrorService& errors) {
    std::vector<unsigned char> buffer(4096);
    std::uint32_t records = 0;
    for (;;) {
        std::uint32_t read = 0, needed = 0;
        if (!service.Read(log, kReadBackwards, 0, buffer.data(), static_cast<std::uint32_t>(buffer.size()),
                          read, needed)) {
            error = errors.LastError();
            return records;
        }
        for (std::uint32_t at = 0; at < read; ++records) {
            std::uint32_t length = 0;
            std::memcpy(&length, buffer.data() + at, 4);
            at += length;
        }
    }
}

TEST_F(OfflineEventLogTest, FilesThatAreNoLogOrDamagedAnswerAsTheLiveServiceDoes) {
    Write(folder_ / "zero" / "Security.evtx", {});
    fs::create_directories(folder_ / "folder" / "Security.evtx");
    std::vector<unsigned char> cut = LogOfChunks(3, 4);
    cut.resize(cut.size() - 0x10000 + 700);  // the last chunk ends inside its first record
    Write(folder_ / "cut" / "Security.evtx", cut);
    OfflineEventLog service(errors_, folder_, 2);
    EXPECT_EQ(service.Open("\\zero", "security"), nullptr);
    EXPECT_EQ(errors_.last, kErrorEventlogFileCorrupt);
    EXPECT_EQ(service.Open("\\folder", "security"), nullptr);
    EXPECT_EQ(errors_.last, kErrorAccessDenied);
    EventLogService::Handle log = service.Open("\\cut", "security");
    ASSERT_NE(log, nullptr);
    std::uint32_t error = 0;
    EXPECT_EQ(ReadToTheEnd(service, log, error, errors_), 8u);
    EXPECT_EQ(error, kErrorHandleEof);
    service.Close(log);
}

TEST_F(OfflineEventLogTest, ALogThatShrinksWhileReadEndsAsAChangedFileAfterWhatCouldBeRead) {
    const fs::path path = folder_ / "dc" / "Security.evtx";
    Write(path, LogOfChunks(8, 5));
    OfflineEventLog service(errors_, folder_, 1);
    EventLogService::Handle log = service.Open("\\dc", "security");
    ASSERT_NE(log, nullptr);
    std::vector<unsigned char> buffer(64);
    std::uint32_t read = 0, needed = 0;
    ASSERT_FALSE(service.Read(log, kReadBackwards, 0, buffer.data(), 64, read, needed));  // too small
    fs::resize_file(path, 4096 + 3 * 0x10000);  // the newest chunks go
    std::uint32_t error = 0;
    EXPECT_EQ(ReadToTheEnd(service, log, error, errors_), 5u + 15u)
        << "the chunk already read, and the three left";
    EXPECT_EQ(error, kErrorEventlogFileChanged);
    service.Close(log);

    // Grown since opening: what was there is read, and the end comes as usual.
    Write(path, LogOfChunks(2, 5));
    log = service.Open("\\dc", "security");
    ASSERT_NE(log, nullptr);
    std::vector<unsigned char> more = LogOfChunks(4, 5);
    std::ofstream(path, std::ios::binary | std::ios::app)
        .write(reinterpret_cast<const char*>(more.data()) + 4096,
               static_cast<std::streamsize>(more.size() - 4096));
    EXPECT_EQ(ReadToTheEnd(service, log, error, errors_), 10u);
    EXPECT_EQ(error, kErrorHandleEof);
    service.Close(log);
}

// Close on one thread while another reads the same handle: the log lives on
// until the read is done, and the handle is invalid from then on.
TEST_F(OfflineEventLogTest, ReadAndCloseOnTwoThreadsNeverFreeALogUnderTheReader) {
    Write(folder_ / "big" / "Security.evtx", LogOfChunks(12, 40));
    NativeErrors errors;  // each thread its own last error
    for (unsigned threads : {1u, 3u}) {
        OfflineEventLog service(errors, folder_, threads);
        for (int round = 0; round < 40; ++round) {
            EventLogService::Handle log = service.Open("\\big", "security");
            ASSERT_NE(log, nullptr);
            std::atomic<bool> reading{false};
            std::uint32_t error = 0;
            std::thread reader([&] {
                reading = true;
                ReadToTheEnd(service, log, error, errors);
            });
            while (!reading) std::this_thread::yield();
            for (int spin = 0; spin < round * 50; ++spin) std::this_thread::yield();
            service.Close(log);
            reader.join();
            EXPECT_TRUE(error == kErrorHandleEof || error == kErrorInvalidHandle) << error;
            std::vector<unsigned char> buffer(4096);
            std::uint32_t read = 0, needed = 0;
            EXPECT_FALSE(service.Read(log, kReadBackwards, 0, buffer.data(), 4096, read, needed));
            EXPECT_EQ(errors.LastError(), kErrorInvalidHandle);
            service.Close(log);  // twice: nothing happens
        }
    }
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
