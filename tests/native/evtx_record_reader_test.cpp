// The chunk-by-chunk reader: the order of records across chunks whatever the
// order of the chunks in the file, the same records for any number of
// threads, and what it does with headers that do not agree with their chunk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "evtx/byte_source.h"
#include "evtx/event.h"
#include "evtx/log_index.h"
#include "tests/evtx/evtx_builder.h"
#include "tests/evtx/read_events.h"

namespace kestrel {
namespace {

using testing::EvtxChunk;
using testing::EvtxValue;

constexpr std::uint64_t kTime = 131116874743460000ull;

// A chunk with one record for each id, in the order given; each record
// carries its id as text so that a mix-up shows.
std::vector<unsigned char> ChunkOf(const std::vector<std::uint64_t>& ids) {
    EvtxChunk chunk;
    for (std::uint64_t id : ids) {
        std::vector<EvtxValue> values = testing::SystemValues(4624, 0x8020000000000000ull, 0, kTime + id);
        const std::string text = "record " + std::to_string(id);
        values.push_back(EvtxValue::Text(std::u16string(text.begin(), text.end())));
        chunk.Record(id, kTime, [&](EvtxChunk& r) {
            r.Fragment();
            r.Instance("event", testing::EventTemplate({u"Text"}), values);
            r.Eof();
        });
    }
    return chunk.Finish();
}

std::vector<std::uint64_t> IdsOf(const std::vector<evtx::Event>& events) {
    std::vector<std::uint64_t> ids;
    for (const evtx::Event& event : events) ids.push_back(event.recordId);
    return ids;
}

std::vector<std::uint64_t> Descending(std::uint64_t from, std::uint64_t to) {
    std::vector<std::uint64_t> ids(from - to + 1);
    std::iota(ids.rbegin(), ids.rend(), to);
    return ids;
}

// A log that wrapped around: the newest chunks stand first in the file, and
// one chunk in the middle is damaged beyond reading.
std::vector<unsigned char> WrappedLog() {
    std::vector<std::vector<unsigned char>> chunks;
    for (std::uint64_t c = 12; c < 24; ++c) chunks.push_back(ChunkOf({10 * c + 1, 10 * c + 2, 10 * c + 3}));
    for (std::uint64_t c = 0; c < 12; ++c) chunks.push_back(ChunkOf({10 * c + 1, 10 * c + 2, 10 * c + 3}));
    std::fill(chunks[5].begin(), chunks[5].end(), 0x2a);
    return testing::EvtxFileOf(chunks);
}

TEST(RecordReader, TheSameRecordsInTheSameOrderForAnyNumberOfThreads) {
    const std::vector<unsigned char> file = WrappedLog();
    const testing::ReadEventsResult one = testing::ReadEvents(file, 1);
    ASSERT_TRUE(one.opened);
    std::vector<std::uint64_t> expected;
    for (std::uint64_t c = 24; c-- > 0;) {
        if (c == 17) continue;  // the damaged chunk
        for (std::uint64_t r = 3; r >= 1; --r) expected.push_back(10 * c + r);
    }
    EXPECT_EQ(IdsOf(one.events), expected);
    EXPECT_EQ(one.passed.Count(), 1u);
    for (unsigned threads : {2u, 3u, 8u}) {
        const testing::ReadEventsResult many = testing::ReadEvents(file, threads);
        EXPECT_EQ(IdsOf(many.events), expected) << threads << " threads";
        ASSERT_EQ(many.events.size(), one.events.size());
        for (std::size_t i = 0; i < one.events.size(); ++i) {
            EXPECT_EQ(many.events[i].strings, one.events[i].strings) << threads << " threads, record " << i;
        }
        EXPECT_EQ(many.passed.Count(), one.passed.Count());
    }
    evtx::MemoryBytes source(file.data(), file.size());
    const testing::ReadEventsResult oldest = testing::ReadEvents(source, 2, evtx::Order::OldestFirst);
    std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(IdsOf(oldest.events), expected);
}

TEST(RecordReader, ChunksWhoseRecordsInterleaveAreMergedAndCopiesServedOnce) {
    // Chunk headers whose first record comes after their last are not
    // trusted: the records themselves place the chunk.
    const std::vector<unsigned char> file =
        testing::EvtxFileOf({ChunkOf({5, 1, 3}), ChunkOf({6, 2, 4}), ChunkOf({4, 7})});
    for (unsigned threads : {1u, 2u}) {
        const testing::ReadEventsResult read = testing::ReadEvents(file, threads);
        EXPECT_EQ(IdsOf(read.events), Descending(7, 1)) << threads << " threads";
        ASSERT_EQ(read.events.size(), 7u);
        EXPECT_EQ(testing::InsertionStrings(read.events[3]).back(), "record 4");
    }
}

TEST(RecordReader, AChunkHeaderIsTrustedOnlyWhereItsRecordsAgree) {
    std::vector<unsigned char> stale = ChunkOf({4, 5, 6});
    // The header says the chunk ends with record 5 (offset of the second
    // record), checksum intact: the last record does not agree with it.
    testing::PutField(stale.data(), evtx::layout::kChunkLastRecordNumber, std::uint64_t{5});
    testing::PutField(stale.data(), evtx::layout::kChunkLastRecordId, std::uint64_t{5});
    testing::FixChunkChecksums(stale);
    const std::vector<unsigned char> file = testing::EvtxFileOf({ChunkOf({1, 2, 3}), stale, ChunkOf({7, 8})});

    evtx::MemoryBytes source(file.data(), file.size());
    evtx::LogIndex index;
    evtx::Fault why;
    ASSERT_TRUE(index.Open(source, evtx::Order::NewestFirst, why));
    ASSERT_EQ(index.Chunks().size(), 3u);
    EXPECT_EQ(index.Chunks()[0].newestId, 8u);
    EXPECT_EQ(index.Chunks()[1].newestId, 6u) << "taken from the records, not the header";
    EXPECT_EQ(index.Chunks()[2].oldestId, 1u);
    EXPECT_EQ(IdsOf(testing::ReadEvents(file).events), (std::vector<std::uint64_t>{8, 7, 6, 5, 4, 3, 2, 1}));
}

TEST(RecordReader, TheFileHeadersChunkCountIsNotTrusted) {
    std::vector<unsigned char> file = testing::EvtxFileOf({ChunkOf({1, 2}), ChunkOf({3, 4}), ChunkOf({5})});
    for (std::uint16_t count : {std::uint16_t{1}, std::uint16_t{0}, std::uint16_t{9000}}) {
        testing::PutField(file.data(), evtx::layout::kFileChunkCount, count);
        testing::FixFileChecksum(file);
        EXPECT_EQ(IdsOf(testing::ReadEvents(file).events), Descending(5, 1)) << "count " << count;
    }
}

TEST(RecordReader, ALastChunkCutShortGivesTheRecordsItHolds) {
    std::vector<unsigned char> file = testing::EvtxFileOf({ChunkOf({1, 2}), ChunkOf({3, 4, 5})});
    const std::vector<unsigned char> whole = file;
    // Inside the second chunk: its header and first two records survive.
    std::size_t cut = 0;
    for (std::size_t size = 4096 + 0x10000 + 600; size < whole.size(); ++size) {
        file.assign(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
        if (testing::ReadEvents(file).events.size() == 4) {
            cut = size;
            break;
        }
    }
    ASSERT_NE(cut, 0u) << "some cut keeps records 3 and 4";
    EXPECT_EQ(IdsOf(testing::ReadEvents(file).events), (std::vector<std::uint64_t>{4, 3, 2, 1}));
    // Cut inside the chunk header: the chunk is not there at all.
    file.assign(whole.begin(), whole.begin() + 4096 + 0x10000 + 100);
    EXPECT_EQ(IdsOf(testing::ReadEvents(file).events), (std::vector<std::uint64_t>{2, 1}));
}

// Reads as a file would while it shrinks: after `reads` calls it holds only
// `keep` bytes.
class ShrinkingBytes final : public evtx::ByteSource {
public:
    ShrinkingBytes(const std::vector<unsigned char>& bytes, int reads, std::size_t keep)
        : bytes_(bytes), reads_(reads), keep_(keep) {}
    std::size_t ReadAt(std::uint64_t offset, void* to, std::size_t size) override {
        const std::size_t end = reads_-- > 0 ? bytes_.size() : keep_;
        if (offset >= end) return 0;
        const std::size_t count = std::min<std::size_t>(size, end - offset);
        std::memcpy(to, bytes_.data() + offset, count);
        return count;
    }
    std::uint64_t Size() const override { return bytes_.size(); }

private:
    const std::vector<unsigned char>& bytes_;
    int reads_;
    std::size_t keep_;
};

TEST(RecordReader, ChunksGoneSinceOpeningArePassedOverAndReportedAsAChangedFile) {
    std::vector<std::vector<unsigned char>> chunks;
    for (std::uint64_t c = 0; c < 6; ++c) chunks.push_back(ChunkOf({2 * c + 1, 2 * c + 2}));
    const std::vector<unsigned char> file = testing::EvtxFileOf(chunks);
    // Opening reads the file header, and for each chunk its header with the
    // first record and then its last record: 13 reads. Then the file keeps
    // only its first three chunks.
    ShrinkingBytes source(file, 13, 4096 + 3 * 0x10000);
    const testing::ReadEventsResult read = testing::ReadEvents(source);
    ASSERT_TRUE(read.opened);
    EXPECT_EQ(IdsOf(read.events), Descending(6, 1)) << "whatever can be read is read";
    EXPECT_TRUE(read.fileChanged);
    EXPECT_EQ(read.passed.Count(), 3u);
    for (const evtx::Fault& fault : read.passed.Kept())
        EXPECT_EQ(fault.reason, evtx::Reason::ChunkUnreadable);

    ShrinkingBytes whole(file, 1 << 20, file.size());
    EXPECT_FALSE(testing::ReadEvents(whole).fileChanged);
}

}  // namespace
}  // namespace kestrel
