// The grown log must still read as a log: only sound chunks are copied, the
// identifiers only grow, and every checksum and count in the headers is right.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "base/byte_cursor.h"
#include "base/crc32.h"
#include "evtx/layout.h"
#include "tools/evtx_writer.h"
#include "tools/log_grower.h"

namespace kestrel {
namespace {

namespace layout = evtx::layout;
namespace writer = evtx::writer;
using Bytes = std::vector<std::uint8_t>;
using kestrel::FieldOf;

// Three chunks (full, full, part), records numbered from 100.
Bytes SourceLog() {
    static const auto tmpl = std::make_shared<writer::Template>(writer::Element{
        u"Event",
        0xffff,
        {},
        {writer::Substitution{0, evtx::kUInt64, false}, writer::Substitution{1, evtx::kString, false}}});
    writer::FileBuilder file;
    for (std::uint64_t id = 100; id < 500; ++id) {
        const std::u16string text(200, static_cast<char16_t>(u'a' + id % 26));
        EXPECT_TRUE(
            file.Add(id, id, writer::Instance{tmpl, {writer::UInt64Value(id), writer::StringValue(text)}}));
    }
    return file.Bytes();
}

std::uint8_t* ChunkOf(Bytes& file, std::size_t index) {
    return file.data() + layout::kFileHeaderBlock + index * layout::kChunkSize;
}

std::vector<std::uint32_t> RecordOffsets(const std::uint8_t* chunk) {
    std::vector<std::uint32_t> offsets;
    const std::uint32_t freeSpace = FieldOf(chunk, layout::kChunkFreeSpaceOffset);
    for (std::uint32_t at = layout::kChunkHeaderSize; at < freeSpace;
         at += FieldOf(chunk + at, layout::kRecordSize)) {
        offsets.push_back(at);
    }
    return offsets;
}

// Both checksums made right again, so that only the damage itself shows.
void Reseal(std::uint8_t* chunk) {
    const std::uint32_t end = std::min(FieldOf(chunk, layout::kChunkFreeSpaceOffset), layout::kChunkSize);
    const std::uint32_t records = Crc32(chunk + layout::kChunkHeaderSize, end - layout::kChunkHeaderSize);
    std::memcpy(chunk + layout::kChunkRecordsChecksum.offset, &records, 4);
    const std::uint32_t header = Crc32(chunk + 128, 384, Crc32(chunk, 120));
    std::memcpy(chunk + layout::kChunkHeaderChecksum.offset, &header, 4);
}

Bytes Grow(const Bytes& source, std::uint64_t chunks, grow::GrowResult& result) {
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    EXPECT_TRUE(in && out);
    if (!in || !out) return {};
    std::fwrite(source.data(), 1, source.size(), in);
    result = grow::GrowLog(in, out, chunks);
    Bytes bytes(static_cast<std::size_t>(std::ftell(out)));
    std::rewind(out);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), out), bytes.size());
    std::fclose(in);
    std::fclose(out);
    return bytes;
}

TEST(GrowLog, RepeatsTheSoundChunksWithNewIdentifiers) {
    Bytes source = SourceLog();
    ASSERT_EQ(source.size(), layout::kFileHeaderBlock + 3 * layout::kChunkSize);
    ChunkOf(source, 1)[layout::kChunkHeaderSize + 30] ^= 1;  // records checksum no longer fits
    source[layout::kFileFlags.offset] = 1;                   // left dirty

    grow::GrowResult result;
    Bytes grown = Grow(source, 5, result);
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(result.sourceChunks, 3u);
    EXPECT_EQ(result.soundChunks, 2u);
    ASSERT_EQ(grown.size(), layout::kFileHeaderBlock + 5 * layout::kChunkSize);

    std::uint64_t nextId = 1;
    const std::size_t copied[] = {0, 2, 0, 2, 0};
    for (std::size_t c = 0; c < 5; ++c) {
        std::uint8_t* chunk = ChunkOf(grown, c);
        const std::uint8_t* from = ChunkOf(source, copied[c]);
        EXPECT_TRUE(grow::ChunkIsSound(chunk)) << c;
        const std::uint64_t firstId = nextId;
        const std::vector<std::uint32_t> records = RecordOffsets(chunk);
        ASSERT_EQ(records, RecordOffsets(from)) << c;
        for (std::uint32_t at : records) {
            EXPECT_EQ(FieldOf(chunk + at, layout::kRecordId), nextId++) << c;
            std::memcpy(chunk + at + layout::kRecordId.offset, from + at + layout::kRecordId.offset, 8);
        }
        EXPECT_EQ(FieldOf(chunk, layout::kChunkFirstRecordNumber), firstId);
        EXPECT_EQ(FieldOf(chunk, layout::kChunkFirstRecordId), firstId);
        EXPECT_EQ(FieldOf(chunk, layout::kChunkLastRecordNumber), nextId - 1);
        EXPECT_EQ(FieldOf(chunk, layout::kChunkLastRecordId), nextId - 1);
        // Apart from the numbers and checksums, the chunk is the source's.
        std::memcpy(chunk + 8, from + 8, 32);
        std::memcpy(chunk + 52, from + 52, 4);
        std::memcpy(chunk + 124, from + 124, 4);
        EXPECT_EQ(std::memcmp(chunk, from, layout::kChunkSize), 0) << c;
    }
    EXPECT_EQ(result.records, nextId - 1);

    const std::uint8_t* header = grown.data();
    EXPECT_EQ(std::memcmp(header, layout::kFileSignature, 8), 0);
    EXPECT_EQ(FieldOf(header, layout::kFileFirstChunk), 0u);
    EXPECT_EQ(FieldOf(header, layout::kFileLastChunk), 4u);
    EXPECT_EQ(FieldOf(header, layout::kFileChunkCount), 5u);
    EXPECT_EQ(FieldOf(header, layout::kFileNextRecordId), nextId);
    EXPECT_EQ(FieldOf(header, layout::kFileFlags), 0u);
    EXPECT_EQ(FieldOf(header, layout::kFileChecksum), Crc32(header, 120));
    EXPECT_EQ(FieldOf(header, layout::kFileMajorVersion), 3u);  // the rest is the source's
}

TEST(GrowLog, LeavesOutChunksThatDoNotHoldTogether) {
    Bytes source = SourceLog();
    const std::uint8_t* good = ChunkOf(source, 2);
    ASSERT_TRUE(grow::ChunkIsSound(good));
    const std::uint32_t last = RecordOffsets(good).back();
    auto set32 = [](std::uint8_t* at, std::uint32_t v) { std::memcpy(at, &v, 4); };
    const std::size_t freeAt = layout::kChunkFreeSpaceOffset.offset;
    const std::vector<std::pair<const char*, std::function<void(std::uint8_t*)>>> damages = {
        {"signature",
         [](std::uint8_t* c) {
             c[3] = 'X';
             Reseal(c);
         }},
        {"header checksum", [](std::uint8_t* c) { c[layout::kChunkFirstRecordId.offset] ^= 1; }},
        {"records checksum", [](std::uint8_t* c) { c[layout::kChunkHeaderSize + 30] ^= 1; }},
        {"record signature",
         [](std::uint8_t* c) {
             c[layout::kChunkHeaderSize] = 0x2b;
             Reseal(c);
         }},
        {"size at the end of a record",
         [&](std::uint8_t* c) {
             set32(c + last + FieldOf(c + last, layout::kRecordSize) - 4, 8);
             Reseal(c);
         }},
        {"record smaller than its header",
         [&](std::uint8_t* c) {
             set32(c + last + 4, 8);
             Reseal(c);
         }},
        {"record past the chunk",
         [&](std::uint8_t* c) {
             set32(c + last + 4, layout::kChunkSize);
             Reseal(c);
         }},
        {"record past the free space",
         [&](std::uint8_t* c) {
             set32(c + freeAt, last + 16);
             Reseal(c);
         }},
        {"free space past the chunk",
         [&](std::uint8_t* c) {
             set32(c + freeAt, layout::kChunkSize + 8);
             Reseal(c);
         }},
        {"no records",
         [&](std::uint8_t* c) {
             set32(c + freeAt, layout::kChunkHeaderSize);
             Reseal(c);
         }},
    };
    for (const auto& [what, damage] : damages) {
        Bytes chunk(good, good + layout::kChunkSize);
        damage(chunk.data());
        EXPECT_FALSE(grow::ChunkIsSound(chunk.data())) << what;
    }
}

TEST(GrowLog, FileHeaderAndRefusals) {
    // Past 65535 chunks the 16-bit count wraps; the last chunk number does not.
    Bytes header(layout::kFileHeaderBlock);
    grow::FinishFileHeader(header.data(), 65537, 9);
    EXPECT_EQ(FieldOf(header.data(), layout::kFileChunkCount), 1u);
    EXPECT_EQ(FieldOf(header.data(), layout::kFileLastChunk), 65536u);
    EXPECT_EQ(FieldOf(header.data(), layout::kFileNextRecordId), 9u);
    EXPECT_EQ(FieldOf(header.data(), layout::kFileChecksum), Crc32(header.data(), 120));

    grow::GrowResult result;
    Bytes source = SourceLog();
    Grow(source, 0, result);
    EXPECT_NE(result.error, "");
    Grow(Bytes(source.begin(), source.begin() + 100), 1, result);
    EXPECT_NE(result.error, "") << "a file shorter than a header";
    Bytes notALog = source;
    notALog[0] = 'X';
    Grow(notALog, 1, result);
    EXPECT_NE(result.error, "");
    for (std::size_t c = 0; c < 3; ++c) ChunkOf(source, c)[0] = 'X';
    Grow(source, 1, result);
    EXPECT_EQ(result.error, "the log has no sound chunk with records");
    EXPECT_EQ(result.soundChunks, 0u);
    EXPECT_EQ(result.sourceChunks, 3u);
}

}  // namespace
}  // namespace kestrel
