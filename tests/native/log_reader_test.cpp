#include "engine/log_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "tests/fakes/fake_platform.h"
#include "tests/native/test_time_zone.h"

namespace kestrel::testing {
namespace {

constexpr const char* kSource = "Microsoft-Windows-Security-Auditing";

std::vector<std::string> LogonStrings(const std::string& user, const std::string& type = "2") {
    return {"S-1-5-18", "PC01$",  "WORKGROUP", "0x3e7",  "S-1-5-21-1", user,
            "DOMAIN",   "0x1234", type,        "User32", "Negotiate"};
}

// A reader over a platform of its own, for the cases that each need one;
// bound by name, as if each were declared in the case.
struct FreshReader {
    explicit FreshReader(const CollectJob& job) : reader(platform.Services(), job, report, classifier) {}
    FakePlatform platform;
    MemoryResultTable table;
    EventClassifier classifier{table};
    std::string report;
    LogReader reader;
};

class LogReaderTest : public ::testing::Test {
protected:
    LogReaderTest() : zone_("Europe/Berlin"), report_dialog_(report_) {
        job_.FromLogStart = 1;
        job_.ToLogEnd = 1;
    }

    std::vector<unsigned char>& Add(const RecordShape& shape, const std::string& unc = "\\\\pc01") {
        auto& log = platform_.eventLog.At(unc);
        log.records.push_back(BuildRecord(shape));
        return log.records.back();
    }
    RecordShape Logon(std::time_t when, const std::string& user = "alice") {
        RecordShape shape;
        shape.timeGenerated = static_cast<std::uint32_t>(when);
        shape.strings = LogonStrings(user);
        return shape;
    }
    ReadResult Read(const char* computer = "pc01", std::uint32_t mask = 0x18) {
        return reader_.ReadLog(computer, "security", mask);
    }
    std::string Line(const char* code, const char* text, const std::string& source = kSource) {
        return std::string(code) + ":[\\\\pc01][security][" + source + "]:" + text + "\r\n";
    }
    std::vector<std::string> Users() const {
        std::vector<std::string> users;
        for (const Row& row : table_.rows) users.push_back(row.texts[kColumnUser]);
        return users;
    }

    TimeZone zone_;
    FakePlatform platform_;
    CollectJob job_;
    std::string report_;
    MemoryResultTable table_;
    EventClassifier classifier_{table_};
    LogReader reader_{platform_.Services(), job_, report_, classifier_};
    FakeReportDialog report_dialog_;
};

TEST_F(LogReaderTest, EmptyLogIsDoneWithoutLines) {
    platform_.eventLog.At("\\\\pc01");
    EXPECT_EQ(Read(), ReadDone);
    EXPECT_EQ(report_, "");
    EXPECT_EQ(platform_.eventLog.calls,
              (std::vector<std::string>{"open \\\\pc01|security", "read 9 0 320000", "close"}));
    EXPECT_TRUE(platform_.memory.live.empty());
    EXPECT_EQ(platform_.memory.sizes, std::vector<std::size_t>{320000});
}

TEST_F(LogReaderTest, KeptRecordsReachTheClassifierNewestFirstWithTimeText) {
    Add(Logon(Local(2013, 6, 1, 9, 5, 7), "bob"));
    Add(Logon(Local(2013, 6, 1, 8, 0, 0), "alice"));
    EXPECT_EQ(Read(), ReadDone);
    ASSERT_EQ(table_.rows.size(), 2u);
    EXPECT_EQ(table_.rows[0].texts[kColumnTime], "2013/06/01 09:05:07  ");
    EXPECT_EQ(Users(), (std::vector<std::string>{"bob", "alice"}));
    EXPECT_EQ(report_, "");
}

TEST_F(LogReaderTest, UnreachableComputerWritesOpenLinesOnly) {
    EXPECT_EQ(Read("nowhere"), ReadFailed);
    EXPECT_EQ(report_,
              "ｴﾗｰ 002:[\\\\nowhere][security]:ｲﾍﾞﾝﾄのｵｰﾌﾟﾝに失敗しました。\r\n"
              "原因 003:text of 1722\r\n");
    EXPECT_TRUE(platform_.memory.live.empty());
    EXPECT_TRUE(platform_.fatal.stops.empty());
}

TEST_F(LogReaderTest, NoMemoryForTheReadBuffer) {
    platform_.eventLog.At("\\\\pc01");
    platform_.memory.failAllocation = 1;
    EXPECT_EQ(Read(), ReadFailed);
    EXPECT_EQ(report_, "ｴﾗｰ 001:[\\\\pc01][security]:ﾒﾓﾘ不足です。\r\n");
    EXPECT_TRUE(platform_.eventLog.calls.empty());
}

TEST_F(LogReaderTest, BufferGrowsToTheAskedSizeInTheMiddleOfALog) {
    Add(Logon(Local(2013, 6, 3), "first"));
    RecordShape big = Logon(Local(2013, 6, 2), "big");
    big.strings.push_back(std::string(400000, 'x'));
    const std::size_t bigSize = Add(big).size();
    Add(Logon(Local(2013, 6, 1), "last"));

    EXPECT_EQ(Read(), ReadDone);
    EXPECT_EQ(Users(), (std::vector<std::string>{"first", "big", "last"}));
    // The read buffer, the category block, then exactly the size the service asked for.
    EXPECT_EQ(platform_.memory.sizes, (std::vector<std::size_t>{320000, 256, bigSize}));
    EXPECT_EQ(report_, "");
    EXPECT_TRUE(platform_.memory.live.empty());
    EXPECT_EQ(platform_.eventLog.openHandles, 0);
}

TEST_F(LogReaderTest, NoMemoryToGrowNamesTheLastSource) {
    RecordShape first = Logon(Local(2013, 6, 3));
    first.source = "Earlier";
    Add(first);
    RecordShape big = Logon(Local(2013, 6, 2));
    big.strings.push_back(std::string(400000, 'x'));
    Add(big);
    platform_.memory.failAllocation = 3;  // after the read buffer and the category block
    EXPECT_EQ(Read(), ReadFailed);
    EXPECT_EQ(report_, Line("ｴﾗｰ 014", "ﾒﾓﾘ不足です。", "Earlier"));
    EXPECT_EQ(platform_.eventLog.openHandles, 0);
}

TEST_F(LogReaderTest, FailedReadWritesReadLinesWithCause) {
    Add(Logon(Local(2013, 6, 3)));
    auto& log = platform_.eventLog.At("\\\\pc01");
    log.failReadNumber = 2;
    log.readError = 5;
    EXPECT_EQ(Read(), ReadFailed);
    EXPECT_EQ(report_, Line("ｴﾗｰ 015", "ｲﾍﾞﾝﾄの読み込みに失敗しました。") + "原因 016:text of 5\r\n");
    EXPECT_EQ(table_.rows.size(), 1u);
}

TEST_F(LogReaderTest, FailedFirstReadHasNoSourceYet) {
    auto& log = platform_.eventLog.At("\\\\pc01");
    log.failReadNumber = 1;
    log.readError = 5;
    EXPECT_EQ(Read(), ReadFailed);
    EXPECT_EQ(report_, Line("ｴﾗｰ 015", "ｲﾍﾞﾝﾄの読み込みに失敗しました。", "") + "原因 016:text of 5\r\n");
}

TEST_F(LogReaderTest, RejectedSystemTimeIsReportedAndTheRecordStillKept) {
    Add(Logon(Local(2013, 6, 3)));
    platform_.systemTime.fail = true;
    platform_.systemTime.failError = 1234;
    EXPECT_EQ(Read(), ReadDone);
    EXPECT_EQ(report_, Line("ｴﾗｰ 017", "時刻の変換処理に失敗しました。") + "原因 018:text of 1234\r\n");
    EXPECT_EQ(table_.rows.size(), 1u);
    ASSERT_EQ(platform_.systemTime.seen.size(), 1u);
    const SystemTime& t = platform_.systemTime.seen[0];
    EXPECT_EQ(t.wYear, 2013);
    EXPECT_EQ(t.wMonth, 6);
    EXPECT_EQ(t.wDay, 3);
    EXPECT_EQ(t.wDayOfWeek, 1);  // a Monday
    EXPECT_EQ(t.wMilliseconds, 0);
}

TEST_F(LogReaderTest, TimeLocalTimeCannotPlaceIsReportedAndSkipped) {
    Add(Logon(Local(2013, 6, 3), "unplaceable"));
    Add(Logon(Local(2013, 6, 2), "fine"));
    static std::time_t refused;
    refused = Local(2013, 6, 3);
    reader_.UseLocalTime({[](std::time_t t) -> std::optional<std::tm> {
                              if (t == refused) return std::nullopt;
                              return ToLocalTime(t);
                          },
                          FromLocalTime});
    EXPECT_EQ(Read(), ReadDone);
    EXPECT_EQ(report_, Line("ｴﾗｰ 017", "時刻の変換処理に失敗しました。") + "原因 018:text of 87\r\n");
    EXPECT_EQ(Users(), std::vector<std::string>{"fine"});
}

TEST_F(LogReaderTest, ReleaseFailuresStopWithTheirPlace) {
    struct Case {
        const char* name;
        bool openFails;
        bool reachStart;
        bool grow;
        const char* caption;
    };
    for (const Case& c :
         {Case{"open", true, false, false, "ｴﾗｰ 202"}, Case{"start of window", false, true, false, "ｴﾗｰ 101"},
          Case{"end of log", false, false, false, "ｴﾗｰ 102"},
          Case{"growth", false, false, true, "ｴﾗｰ 102"}}) {
        SCOPED_TRACE(c.name);
        FakePlatform platform;
        std::string report;
        CollectJob job;
        job.ToLogEnd = 1;
        job.FromTime = c.reachStart ? Local(2013, 6, 2) : 0;
        LogReader reader(platform.Services(), job, report, classifier_);
        auto& log = platform.eventLog.At("\\\\pc01");
        if (c.openFails) log.openError = 5;
        RecordShape shape = Logon(Local(2013, 6, 1));
        if (c.grow) shape.strings.push_back(std::string(330000, 'x'));
        // The start is reached at a run of older records, not at one.
        log.records.assign(c.reachStart ? kOlderRunToStop : 1, BuildRecord(shape));
        platform.memory.failRelease = 1;
        reader.ReadLog("pc01", "security", 0x18);
        EXPECT_EQ(platform.fatal.stops,
                  std::vector<std::string>{std::string(c.caption) + "|ﾒﾓﾘの開放に失敗しました。"});
    }
}

// Whole local days in a zone with daylight saving: 2013-03-31 has 23 hours in
// Berlin and 2013-10-27 has 25.
TEST_F(LogReaderTest, DateWindowIsWholeLocalDaysAcrossDaylightSaving) {
    job_.FromLogStart = 0;
    job_.ToLogEnd = 0;
    job_.FromTime = Local(2013, 3, 31);
    job_.ToTime = Local(2013, 10, 27);
    Add(Logon(Local(2013, 10, 28, 0, 0, 0), "day after end"));
    Add(Logon(Local(2013, 10, 27, 23, 59, 59), "end day last second"));
    Add(Logon(Local(2013, 10, 27, 2, 30, 0), "end day, repeated hour"));
    Add(Logon(Local(2013, 3, 31, 3, 0, 0), "start day after the gap"));
    Add(Logon(Local(2013, 3, 31, 0, 0, 0), "start day midnight"));
    for (std::uint32_t i = 0; i < kOlderRunToStop; ++i) {
        Add(Logon(Local(2013, 3, 30, 23, 59, 59), "day before start"));
    }

    EXPECT_EQ(Read(), ReadDone);
    EXPECT_EQ(Users(), (std::vector<std::string>{"end day last second", "end day, repeated hour",
                                                 "start day after the gap", "start day midnight"}));
    EXPECT_EQ(table_.rows[0].texts[kColumnTime], "2013/10/27 23:59:59  ");
    EXPECT_EQ(table_.rows[2].texts[kColumnTime], "2013/03/31 03:00:00  ");
    // The early stop closes the log without reading on.
    EXPECT_EQ(platform_.eventLog.calls.back(), "close");
    EXPECT_EQ(platform_.eventLog.calls.size(), 3u);
}

TEST_F(LogReaderTest, TimeOfDayOfTheBoundsPlaysNoPart) {
    job_.FromLogStart = 0;
    job_.ToLogEnd = 0;
    job_.FromTime = Local(2013, 6, 2);
    job_.ToTime = Local(2013, 6, 2);
    Add(Logon(Local(2013, 6, 3, 0, 0, 1), "next day"));
    Add(Logon(Local(2013, 6, 2, 23, 0, 0), "same day late"));
    Add(Logon(Local(2013, 6, 2, 0, 0, 1), "same day early"));
    EXPECT_EQ(Read(), ReadDone);
    EXPECT_EQ(Users(), (std::vector<std::string>{"same day late", "same day early"}));
}

TEST_F(LogReaderTest, TypeFilterKeepsCommonBitsAndTypeZero) {
    struct Case {
        std::uint32_t mask;
        std::vector<std::string> kept;
    };
    for (const Case& c : {Case{0x18, {"success", "failure", "zero"}}, Case{0x08, {"success", "zero"}},
                          Case{0x00, {"zero"}}, Case{0x04, {"information", "zero"}}}) {
        SCOPED_TRACE(c.mask);
        FreshReader fresh(job_);
        auto& [platform, table, classifier, report, reader] = fresh;
        auto& log = platform.eventLog.At("\\\\pc01");
        for (auto [type, user] : {std::pair<std::uint16_t, const char*>{8, "success"},
                                  {16, "failure"},
                                  {4, "information"},
                                  {0, "zero"},
                                  {1, "error"}}) {
            RecordShape shape = Logon(Local(2013, 6, 1), user);
            shape.eventType = type;
            log.records.push_back(BuildRecord(shape));
        }
        EXPECT_EQ(reader.ReadLog("pc01", "security", c.mask), ReadDone);
        std::vector<std::string> kept;
        for (const Row& row : table.rows) kept.push_back(row.texts[kColumnUser]);
        EXPECT_EQ(kept, c.kept);
    }
}

TEST_F(LogReaderTest, InsertionTableHoldsTheFirst256Strings) {
    RecordShape shape = Logon(Local(2013, 6, 1));
    shape.strings.resize(300);
    for (std::size_t i = 11; i < 300; ++i) shape.strings[i] = std::to_string(i);
    Add(shape);
    EXPECT_EQ(Read(), ReadDone);
    EXPECT_EQ(table_.rows.size(), 1u);

    InsertionTable table;
    const auto bytes = BuildRecord(shape);
    ASSERT_TRUE(FillInsertionTable(*reinterpret_cast<const EventLogRecord*>(bytes.data()), table));
    EXPECT_STREQ(table[255], "255");
    EXPECT_STREQ(table[5], "alice");
}

TEST(FillInsertionTable, UnusedEntriesAreNull) {
    RecordShape shape;
    shape.strings = {"a", ""};
    const auto bytes = BuildRecord(shape);
    InsertionTable table;
    table.fill("stale");
    ASSERT_TRUE(FillInsertionTable(*reinterpret_cast<const EventLogRecord*>(bytes.data()), table));
    EXPECT_STREQ(table[0], "a");
    EXPECT_STREQ(table[1], "");
    EXPECT_EQ(table[2], nullptr);
    EXPECT_EQ(table[255], nullptr);
}

// Records come from another computer: a damaged batch ends the read as a
// failed read and nothing outside it is touched.
TEST_F(LogReaderTest, DamagedBatchesFailTheRead) {
    const auto good = BuildRecord(Logon(Local(2013, 6, 1)));
    auto with = [&](auto change) {
        std::vector<unsigned char> bytes = good;
        change(bytes);
        return bytes;
    };
    auto setLength = [](std::vector<unsigned char>& b, std::uint32_t v) { std::memcpy(b.data(), &v, 4); };
    auto setStringOffset = [](std::vector<unsigned char>& b, std::uint32_t v) {
        std::memcpy(b.data() + 36, &v, 4);
    };
    struct Case {
        const char* name;
        std::vector<unsigned char> batch;
    };
    const std::vector<Case> cases = {
        {"length below the fixed part", with([&](auto& b) { setLength(b, 52); })},
        {"length zero", with([&](auto& b) { setLength(b, 0); })},
        {"length past the batch",
         with([&](auto& b) { setLength(b, static_cast<std::uint32_t>(b.size() + 4)); })},
        {"length not whole words",
         with([&](auto& b) { setLength(b, static_cast<std::uint32_t>(b.size() - 2)); })},
        {"short tail", with([&](auto& b) {
             b.insert(b.end(), {1, 2, 3, 4, 5, 6, 7, 8});
         })},
        {"source without end", with([&](auto& b) { std::memset(b.data() + 56, 'S', b.size() - 56); })},
        {"string offset outside",
         with([&](auto& b) { setStringOffset(b, static_cast<std::uint32_t>(b.size() + 8)); })},
        {"strings past the end", with([&](auto& b) {
             const std::uint16_t many = 2000;
             std::memcpy(b.data() + 26, &many, 2);
         })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FreshReader fresh(job_);
        auto& [platform, table, classifier, report, reader] = fresh;
        platform.eventLog.At("\\\\pc01").rawBatches.push_back(c.batch);
        EXPECT_EQ(reader.ReadLog("pc01", "security", 0x18), ReadFailed);
        EXPECT_NE(report.find("ｴﾗｰ 015:[\\\\pc01][security]["), std::string::npos) << report;
        EXPECT_NE(report.find("原因 016:text of 1500\r\n"), std::string::npos);
        // Only a whole record in front of the damage is kept.
        EXPECT_EQ(table.rows.size(), std::string(c.name) == "short tail" ? 1u : 0u);
        EXPECT_EQ(platform.eventLog.openHandles, 0);
        EXPECT_TRUE(platform.memory.live.empty());
    }
}

TEST_F(LogReaderTest, ServiceClaimingMoreBytesThanTheBufferFailsTheRead) {
    platform_.eventLog.At("\\\\pc01").rawBatches.push_back(std::vector<unsigned char>(320004));
    EXPECT_EQ(Read(), ReadFailed);
    EXPECT_NE(report_.find("原因 016:text of 1500\r\n"), std::string::npos);
}

TEST_F(LogReaderTest, EndlessEmptyReadsEndAsADamagedLog) {
    auto& log = platform_.eventLog.At("\\\\pc01");
    log.rawBatches.assign(1000, {});
    EXPECT_EQ(Read(), ReadFailed);
    EXPECT_NE(report_.find("原因 016:text of 1500\r\n"), std::string::npos);
}

TEST_F(LogReaderTest, AFewEmptyReadsAreHarmless) {
    auto& log = platform_.eventLog.At("\\\\pc01");
    log.rawBatches.assign(3, {});
    Add(Logon(Local(2013, 6, 1)));
    EXPECT_EQ(Read(), ReadDone);
    EXPECT_EQ(table_.rows.size(), 1u);
}

TEST_F(LogReaderTest, StopRequestEndsTheReadQuietly) {
    std::atomic<bool> stop{true};
    LogReader reader(platform_.Services(), job_, report_, classifier_, &stop);
    Add(Logon(Local(2013, 6, 1)));
    EXPECT_EQ(reader.ReadLog("pc01", "security", 0x18), ReadDone);
    EXPECT_TRUE(table_.rows.empty());
    EXPECT_EQ(platform_.eventLog.openHandles, 0);
    EXPECT_TRUE(platform_.memory.live.empty());
}

// Hands out blocks that start `shift` bytes past where the fake's do, as a
// service may: every record of a batch is then unaligned as well.
class ShiftedMemory final : public MemoryService {
public:
    ShiftedMemory(FakeMemory& inner, std::size_t shift) : inner_(inner), shift_(shift) {}
    void* AllocateZeroed(std::size_t bytes) override {
        auto* block = static_cast<unsigned char*>(inner_.AllocateZeroed(bytes + shift_));
        if (block == nullptr) return nullptr;
        shifted_.insert(block + shift_);
        return block + shift_;
    }
    bool Release(void* block) override {
        if (shifted_.erase(block) == 0) return inner_.Release(block);
        return inner_.Release(static_cast<unsigned char*>(block) - shift_);
    }

private:
    FakeMemory& inner_;
    std::size_t shift_;
    std::set<void*> shifted_;
};

TEST_F(LogReaderTest, UnalignedBatchBufferReadsAlike) {
    for (std::size_t shift : {1u, 2u, 3u}) {
        SCOPED_TRACE(shift);
        FakePlatform platform;
        ShiftedMemory memory(platform.memory, shift);
        const ReaderServices services{platform.eventLog,   memory,         platform.errors,
                                      platform.systemTime, platform.fatal, platform.registry,
                                      platform.modules};
        MemoryResultTable table;
        EventClassifier classifier(table);
        std::string report;
        LogReader reader(services, job_, report, classifier);
        auto& log = platform.eventLog.At("\\\\pc01");
        log.records.push_back(BuildRecord(Logon(Local(2013, 6, 2), "bob")));
        RecordShape failed = Logon(Local(2013, 6, 1), "carol");
        failed.eventId = 4625;
        failed.eventType = kEventTypeAuditFailure;
        log.records.push_back(BuildRecord(failed));

        EXPECT_EQ(reader.ReadLog("pc01", "security", 0x18), ReadDone);
        EXPECT_EQ(report, "");
        ASSERT_EQ(table.rows.size(), 2u);
        EXPECT_EQ(table.rows[0].texts[kColumnUser], "bob");
        EXPECT_EQ(table.rows[1].texts[kColumnUser], "carol");
        EXPECT_EQ(table.rows[1].image, kImageAuditFailure);
        EXPECT_TRUE(platform.memory.live.empty());
    }
}

// A registered source makes the message step take the strings from the
// record again, by the record it was handed, and substitute parameters.
TEST_F(LogReaderTest, MessageStepRereadsTheStringsOfTheRecordInTheBatch) {
    const std::string keyPrefix = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\security\\";
    platform_.registry.SetText(keyPrefix + kSource, "ParameterMessageFile", "C:\\param.dll");
    platform_.registry.SetText(keyPrefix + kSource, "EventMessageFile", "C:\\msg.dll");
    platform_.registry.SetText(keyPrefix + "Plain", "EventMessageFile", "C:\\msg.dll");
    platform_.modules.files["\\\\pc01\\C$\\param.dll"].messages[1842] = "3";
    platform_.modules.files["\\\\pc01\\C$\\msg.dll"].messages[4624] = "logon of %6";

    RecordShape withParameter = Logon(Local(2013, 6, 2), "bob");
    withParameter.strings[8] = "%%1842";
    Add(withParameter);
    RecordShape plain = Logon(Local(2013, 6, 1), "alice");
    plain.source = "Plain";
    Add(plain);

    EXPECT_EQ(Read(), ReadDone);
    EXPECT_EQ(report_, "");
    EXPECT_EQ(Users(), (std::vector<std::string>{"bob", "alice"}));
    ASSERT_EQ(table_.rows.size(), 2u);
    EXPECT_EQ(table_.rows[0].texts[kColumnLogonType], "ネットワーク");
    EXPECT_EQ(table_.rows[1].texts[kColumnLogonType], "ローカル");
    EXPECT_EQ(platform_.modules.nullArguments, 0);
}

// Texts are looked for inside their own record only, never in the record
// after it nor past the end of the batch.
TEST_F(LogReaderTest, TextsAreBoundedByTheirRecord) {
    // The last insertion string's terminator is the record's last byte.
    RecordShape shape = Logon(Local(2013, 6, 1));
    shape.strings.resize(9);  // the last one is the logon type, "2"
    std::vector<unsigned char> flush;
    for (;;) {
        flush = BuildRecord(shape);
        std::uint32_t stringOffset = 0;
        std::memcpy(&stringOffset, flush.data() + 36, 4);
        std::size_t end = stringOffset;
        for (const std::string& text : shape.strings) end += text.size() + 1;
        if (end % 4 == 0) {
            flush.resize(end);
            const auto length = static_cast<std::uint32_t>(end);
            std::memcpy(flush.data(), &length, 4);
            std::memcpy(flush.data() + 52, &length, 4);  // no data
            break;
        }
        shape.strings[0].push_back('1');
    }
    auto setStrings = [](std::vector<unsigned char> b, std::uint32_t offset, std::uint16_t count) {
        std::memcpy(b.data() + 36, &offset, 4);
        std::memcpy(b.data() + 26, &count, 2);
        return b;
    };
    const auto next = BuildRecord(Logon(Local(2013, 5, 1), "next"));
    auto unterminated = flush;
    unterminated.back() = 'x';
    auto endlessSource = next;
    std::memset(endlessSource.data() + 56, 'S', endlessSource.size() - 56);
    const auto atEnd = static_cast<std::uint32_t>(next.size());

    struct Case {
        const char* name;
        std::vector<std::vector<unsigned char>> records;
        bool kept;
        const char* logonType;
    };
    const std::vector<Case> cases = {
        {"strings up to the last byte", {flush}, true, "ローカル"},
        {"strings up to the last byte, then a record", {flush, next}, true, "ローカル"},
        {"last string running into the next record", {unterminated, next}, false, ""},
        {"source running into the next record", {endlessSource, next}, false, ""},
        {"no strings, offset at the end", {setStrings(next, atEnd, 0)}, true, ""},
        {"one string, offset at the end", {setStrings(next, atEnd, 1)}, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FreshReader fresh(job_);
        auto& [platform, table, classifier, report, reader] = fresh;
        std::vector<unsigned char> batch;
        for (const auto& record : c.records) batch.insert(batch.end(), record.begin(), record.end());
        platform.eventLog.At("\\\\pc01").rawBatches.push_back(batch);
        EXPECT_EQ(reader.ReadLog("pc01", "security", 0x18), c.kept ? ReadDone : ReadFailed);
        if (!c.kept) {
            EXPECT_NE(report.find("原因 016:text of 1500\r\n"), std::string::npos) << report;
            EXPECT_TRUE(table.rows.empty());
            continue;
        }
        EXPECT_EQ(report, "");
        ASSERT_GE(table.rows.size(), 1u);
        EXPECT_EQ(table.rows[0].texts[kColumnLogonType], c.logonType);
    }
}

// A clock set back, a restored virtual machine or a damaged time field puts
// records before the start date among newer ones. Each batch is written as
// letters, newest record first: I inside the window, O before its start, Z a
// time of 0; record numbers count down from 100.
TEST_F(LogReaderTest, OnlyARunOfOlderRecordsAtABatchEndEndsTheRead) {
    const std::string older(kOlderRunToStop, 'O');
    struct Case {
        const char* name;
        std::vector<std::string> batches;
        std::size_t rows;
        std::size_t reads;
        std::vector<std::pair<int, int>> backwards;  // (first record, older records) a line
    };
    const std::vector<Case> cases = {
        {"ordinary log: no batch more", {"II" + older + "OOOO", "I"}, 2, 1, {}},
        {"one backdated record", {"IOII" + older}, 3, 1, {{99, 1}}},
        {"damaged time field", {"IZI" + older}, 2, 1, {{99, 1}}},
        {"short older run at a batch end", {"IOOO", "II" + older}, 3, 2, {{99, 3}}},
        {"log ends in a short older run", {"IOO"}, 1, 2, {}},
        {"many places: three lines and a count", {"IOIOIOIOIOI" + older}, 6, 1, {{99, 1}, {97, 1}, {95, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CollectJob job;
        job.ToLogEnd = 1;
        job.FromTime = Local(2013, 6, 2);
        FreshReader fresh(job);
        auto& [platform, table, classifier, report, reader] = fresh;
        auto& log = platform.eventLog.At("\\\\pc01");
        std::uint32_t number = 100;
        for (const std::string& letters : c.batches) {
            std::vector<unsigned char>& batch = log.rawBatches.emplace_back();
            for (const char letter : letters) {
                RecordShape shape = Logon(letter == 'I'   ? Local(2013, 6, 3)
                                          : letter == 'O' ? Local(2013, 5, 1)
                                                          : 0);
                shape.recordNumber = number--;
                const auto record = BuildRecord(shape);
                batch.insert(batch.end(), record.begin(), record.end());
            }
        }

        EXPECT_EQ(reader.ReadLog("pc01", "security", 0x18), ReadDone);
        EXPECT_EQ(table.rows.size(), c.rows);
        const auto& calls = platform.eventLog.calls;
        EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                                [](const std::string& call) { return call.rfind("read", 0) == 0; }),
                  static_cast<long>(c.reads));
        std::string expected;
        for (const auto& [first, count] : c.backwards) {
            expected += Line("情報 060",
                             ("ﾚｺｰﾄﾞ番号 " + std::to_string(first) +
                              " で時刻が逆行しています。(開始日より前の時刻のｲﾍﾞﾝﾄ " + std::to_string(count) +
                              " 件の後にも期間内のｲﾍﾞﾝﾄがあるため、読み込みを続けました。)")
                                 .c_str());
        }
        if (std::string(c.name).find("count") != std::string::npos) {
            expected += "情報 061:[\\\\pc01][security]:ほかに 2 か所で時刻が逆行しています。\r\n";
        }
        EXPECT_EQ(report, expected);
    }
}

TEST_F(LogReaderTest, DamagePassedOverGivesAFewLinesALogThenACount) {
    for (const int faults : {1, 5}) {
        SCOPED_TRACE(faults);
        FreshReader fresh(job_);
        auto& [platform, table, classifier, report, reader] = fresh;
        auto& log = platform.eventLog.At("\\\\pc01");
        log.records.push_back(BuildRecord(Logon(Local(2013, 6, 1))));
        for (int i = 0; i < faults; ++i)
            log.passedOver.Add({evtx::Reason::RecordDamaged, 0x10000u * (i + 1)});

        EXPECT_EQ(reader.ReadLog("pc01", "security", 0x18), ReadDone);
        EXPECT_EQ(reader.PassedOverCount(), static_cast<std::uint64_t>(faults));
        std::string expected;
        for (int i = 0; i < std::min(faults, 3); ++i) {
            expected += "ｴﾗｰ 062:[\\\\pc01][security]:ﾛｸﾞの破損した部分を読み飛ばしました。(ｵﾌｾｯﾄ 0x" +
                        std::to_string(i + 1) + "0000: ﾚｺｰﾄﾞが壊れています)\r\n";
        }
        if (faults > 3)
            expected += "ｴﾗｰ 063:[\\\\pc01][security]:ほかに 2 か所の破損した部分を読み飛ばしました。\r\n";
        EXPECT_EQ(report, expected);
    }
}

}  // namespace
}  // namespace kestrel::testing
