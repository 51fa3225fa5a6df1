#include "evtx/log_index.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>

#include "evtx/chunk.h"
#include "evtx/layout.h"

namespace kestrel::evtx {
namespace {

using namespace layout;

// The record header at `offset` of a chunk, read on its own.
bool RecordHeaderAt(ByteSource& source, const ChunkInfo& chunk, std::uint32_t offset, std::uint64_t& id,
                    std::uint32_t& size) {
    std::array<unsigned char, kRecordHeaderSize> header{};
    if (offset + std::uint64_t{kRecordHeaderSize} > chunk.size ||
        source.ReadAt(chunk.fileOffset + offset, header.data(), header.size()) != header.size() ||
        FieldOf(header.data(), kRecordMagic) != kRecordSignature) {
        return false;
    }
    id = FieldOf(header.data(), kRecordId);
    size = FieldOf(header.data(), kRecordSize);
    return true;
}

// The records' range as the header gives it, when the first and the last
// record it names are where it says.
bool RangeFromHeader(ByteSource& source, ChunkInfo& chunk) {
    // The header and the first record's header in one read.
    std::array<unsigned char, kChunkHeaderSize + kRecordHeaderSize> header{};
    const std::size_t got =
        source.ReadAt(chunk.fileOffset, header.data(), std::min<std::size_t>(header.size(), chunk.size));
    if (got < kChunkHeaderSize || !IsSoundChunkHeader(header.data(), kChunkHeaderSize)) return false;
    chunk.headerSound = true;
    const std::uint32_t freeSpace = FieldOf(header.data(), kChunkFreeSpaceOffset);
    if (freeSpace < kChunkHeaderSize || freeSpace > chunk.size) return false;
    if (freeSpace == kChunkHeaderSize) return true;  // no record yet
    const std::uint64_t first = FieldOf(header.data(), kChunkFirstRecordId);
    const std::uint64_t last = FieldOf(header.data(), kChunkLastRecordId);
    const std::uint32_t lastOffset = FieldOf(header.data(), kChunkLastRecordOffset);
    std::uint64_t id = 0;
    std::uint32_t size = 0;
    const unsigned char* firstRecord = header.data() + kChunkHeaderSize;
    if (first > last || got < header.size() || FieldOf(firstRecord, kRecordMagic) != kRecordSignature ||
        FieldOf(firstRecord, kRecordId) != first || !RecordHeaderAt(source, chunk, lastOffset, id, size) ||
        id != last || lastOffset + std::uint64_t{size} != freeSpace) {
        return false;
    }
    chunk.newestId = last;
    chunk.oldestId = first;
    return true;
}

bool AllZero(const unsigned char* bytes, std::size_t size) {
    static constexpr unsigned char kZeros[4096] = {};
    for (std::size_t at = 0; at < size; at += sizeof kZeros) {
        if (std::memcmp(bytes + at, kZeros, std::min(sizeof kZeros, size - at)) != 0) return false;
    }
    return true;
}

void RangeFromRecords(ByteSource& source, ChunkInfo& chunk) {
    Chunk whole;
    const unsigned char* bytes = source.View(chunk.fileOffset, chunk.size);
    if (bytes != nullptr) {
        whole.Borrow(chunk.fileOffset, bytes, chunk.size);
    } else {
        unsigned char* to = whole.Reset(chunk.fileOffset, chunk.size);
        if (source.ReadAt(chunk.fileOffset, to, chunk.size) != chunk.size) return;  // read as damaged later
        bytes = to;
    }
    // Logs are made at their full size: the chunks not written yet are zeros.
    if (AllZero(bytes, chunk.size)) {
        chunk.empty = true;
        return;
    }
    PassedOver ignored;  // counted when the chunk is read
    whole.Scan(ignored);
    for (const RecordRef& record : whole.Records()) {
        chunk.newestId = std::max(chunk.newestId, record.id);
        chunk.oldestId = chunk.oldestId == 0 ? record.id : std::min(chunk.oldestId, record.id);
    }
}

}  // namespace

bool LogIndex::Open(ByteSource& source, Order order, Fault& why, unsigned threads) {
    chunks_.clear();
    const std::uint64_t size = source.Size();
    std::array<unsigned char, kFileHeaderUsed> header{};
    if (size < kFileHeaderUsed || source.ReadAt(0, header.data(), header.size()) != header.size() ||
        std::memcmp(header.data(), kFileSignature, sizeof kFileSignature) != 0) {
        why = {Reason::NotAnEventLog, 0};
        return false;
    }
    for (std::uint64_t at = kFileHeaderBlock; at + kChunkHeaderSize <= size; at += kChunkSize) {
        ChunkInfo chunk;
        chunk.fileOffset = at;
        chunk.size = static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunkSize, size - at));
        chunks_.push_back(chunk);
    }
    const auto place = [&source](ChunkInfo* from, ChunkInfo* to) {
        for (ChunkInfo* chunk = from; chunk != to; ++chunk) {
            if (!RangeFromHeader(source, *chunk)) RangeFromRecords(source, *chunk);
        }
    };
    // A large log's chunks are placed by two threads, each a half.
    constexpr std::size_t kChunksForTwo = 256;
    ChunkInfo* const begin = chunks_.data();
    ChunkInfo* const end = begin + chunks_.size();
    if (threads >= 2 && chunks_.size() >= kChunksForTwo) {
        ChunkInfo* const middle = begin + chunks_.size() / 2;
        std::thread other(place, middle, end);
        place(begin, middle);
        other.join();
    } else {
        place(begin, end);
    }
    if (order == Order::NewestFirst) {
        std::stable_sort(chunks_.begin(), chunks_.end(),
                         [](const ChunkInfo& a, const ChunkInfo& b) { return a.newestId > b.newestId; });
    } else {
        // Chunks without records last.
        const auto key = [](const ChunkInfo& c) { return c.newestId == 0 ? UINT64_MAX : c.oldestId; };
        std::stable_sort(chunks_.begin(), chunks_.end(),
                         [&](const ChunkInfo& a, const ChunkInfo& b) { return key(a) < key(b); });
    }
    return true;
}

}  // namespace kestrel::evtx
