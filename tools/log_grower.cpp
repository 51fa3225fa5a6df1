#include "tools/log_grower.h"

#include <sys/types.h>

#include <cstring>
#include <type_traits>
#include <vector>

#include "base/byte_cursor.h"
#include "base/crc32.h"
#include "evtx/layout.h"

namespace kestrel::grow {
namespace {

namespace layout = evtx::layout;
using kestrel::FieldOf;

constexpr std::size_t kChunkGapEnd = layout::kChunkChecksumGap + 8;
constexpr std::size_t kFileChecksummed = 120;  // bytes 0-119
constexpr std::uint32_t kFileDirty = 1;

template <typename T>
void SetField(unsigned char* header, HeaderField<T> field, std::type_identity_t<T> value) {
    std::memcpy(header + field.offset, &value, sizeof value);  // every target is little-endian
}

std::uint32_t HeaderChecksum(const unsigned char* chunk) {
    return Crc32(chunk + kChunkGapEnd, layout::kChunkHeaderSize - kChunkGapEnd,
                 Crc32(chunk, layout::kChunkChecksumGap));
}

std::uint32_t RecordsChecksum(const unsigned char* chunk) {
    const std::uint32_t freeSpace = FieldOf(chunk, layout::kChunkFreeSpaceOffset);
    return Crc32(chunk + layout::kChunkHeaderSize, freeSpace - layout::kChunkHeaderSize);
}

// Calls visit(offset) for each record from the header on; false unless they
// chain exactly up to the free-space offset.
template <typename Visit>
bool WalkRecords(const unsigned char* chunk, Visit visit) {
    constexpr std::uint32_t kSmallest = layout::kRecordHeaderSize + layout::kRecordTrailerSize;
    const std::uint32_t freeSpace = FieldOf(chunk, layout::kChunkFreeSpaceOffset);
    if (freeSpace < layout::kChunkHeaderSize || freeSpace > layout::kChunkSize) return false;
    for (std::uint32_t at = layout::kChunkHeaderSize; at < freeSpace;) {
        const unsigned char* record = chunk + at;
        if (freeSpace - at < kSmallest || FieldOf(record, layout::kRecordMagic) != layout::kRecordSignature) {
            return false;
        }
        const std::uint32_t size = FieldOf(record, layout::kRecordSize);
        if (size < kSmallest || size > freeSpace - at) return false;
        std::uint32_t trailer;
        std::memcpy(&trailer, record + size - layout::kRecordTrailerSize, sizeof trailer);
        if (trailer != size) return false;
        visit(at);
        at += size;
    }
    return true;
}

// The number of records of a sound chunk, 0 for any other.
std::uint64_t SoundRecords(const unsigned char* chunk) {
    if (std::memcmp(chunk, layout::kChunkSignature, sizeof layout::kChunkSignature) != 0 ||
        FieldOf(chunk, layout::kChunkHeaderChecksum) != HeaderChecksum(chunk)) {
        return 0;
    }
    std::uint64_t records = 0;
    if (!WalkRecords(chunk, [&](std::uint32_t) { ++records; }) ||
        FieldOf(chunk, layout::kChunkRecordsChecksum) != RecordsChecksum(chunk)) {
        return 0;
    }
    return records;
}

bool ReadChunk(std::FILE* in, std::uint64_t index, std::vector<unsigned char>& chunk) {
    const auto at = static_cast<off_t>(layout::kFileHeaderBlock + index * layout::kChunkSize);
    return fseeko(in, at, SEEK_SET) == 0 && std::fread(chunk.data(), 1, chunk.size(), in) == chunk.size();
}

}  // namespace

bool ChunkIsSound(const unsigned char* chunk) { return SoundRecords(chunk) > 0; }

std::uint64_t Renumber(unsigned char* chunk, std::uint64_t firstId) {
    // Only the record headers change: the EventRecordID inside each event's
    // XML keeps the value it had in the source.
    std::uint64_t next = firstId;
    WalkRecords(chunk, [&](std::uint32_t at) { SetField(chunk + at, layout::kRecordId, next++); });
    SetField(chunk, layout::kChunkFirstRecordNumber, firstId);
    SetField(chunk, layout::kChunkLastRecordNumber, next - 1);
    SetField(chunk, layout::kChunkFirstRecordId, firstId);
    SetField(chunk, layout::kChunkLastRecordId, next - 1);
    SetField(chunk, layout::kChunkRecordsChecksum, RecordsChecksum(chunk));
    SetField(chunk, layout::kChunkHeaderChecksum, HeaderChecksum(chunk));
    return next;
}

void FinishFileHeader(unsigned char* header, std::uint64_t chunks, std::uint64_t nextRecordId) {
    SetField(header, layout::kFileFirstChunk, 0);
    SetField(header, layout::kFileLastChunk, chunks - 1);
    SetField(header, layout::kFileNextRecordId, nextRecordId);
    // 16 bits: past 65535 chunks the field holds the count modulo 65536, as
    // Windows writes it, so readers must go by the file size, never by it.
    SetField(header, layout::kFileChunkCount, static_cast<std::uint16_t>(chunks));
    // Every field above is exact, so the header is not left dirty.
    SetField(header, layout::kFileFlags, FieldOf(header, layout::kFileFlags) & ~kFileDirty);
    SetField(header, layout::kFileChecksum, Crc32(header, kFileChecksummed));
}

GrowResult GrowLog(std::FILE* in, std::FILE* out, std::uint64_t chunks) {
    GrowResult result;
    std::vector<unsigned char> header(layout::kFileHeaderBlock);
    if (chunks == 0) {
        result.error = "no chunks to write";
        return result;
    }
    if (std::fseek(in, 0, SEEK_SET) != 0 ||
        std::fread(header.data(), 1, header.size(), in) != header.size() ||
        std::memcmp(header.data(), layout::kFileSignature, sizeof layout::kFileSignature) != 0) {
        result.error = "not an event log (.evtx)";
        return result;
    }

    // A first pass counts the records of each sound chunk, so that the header
    // can be written first and the output need not be seekable.
    struct Source {
        std::uint64_t index;
        std::uint64_t records;
    };
    std::vector<Source> sources;
    std::vector<unsigned char> chunk(layout::kChunkSize);
    for (; ReadChunk(in, result.sourceChunks, chunk); ++result.sourceChunks) {
        if (const std::uint64_t records = SoundRecords(chunk.data()))
            sources.push_back({result.sourceChunks, records});
    }
    result.soundChunks = sources.size();
    if (std::ferror(in)) {
        result.error = "cannot read the log";
        return result;
    }
    if (sources.empty()) {
        result.error = "the log has no sound chunk with records";
        return result;
    }

    std::uint64_t records = 0;
    for (std::uint64_t i = 0; i < chunks; ++i) records += sources[i % sources.size()].records;
    FinishFileHeader(header.data(), chunks, records + 1);
    if (std::fwrite(header.data(), 1, header.size(), out) != header.size()) {
        result.error = "cannot write the new log";
        return result;
    }
    std::uint64_t nextId = 1;
    for (std::uint64_t i = 0; i < chunks; ++i) {
        const Source& source = sources[i % sources.size()];
        if (!ReadChunk(in, source.index, chunk) || SoundRecords(chunk.data()) != source.records) {
            result.error = "the log changed while it was read";
            return result;
        }
        nextId = Renumber(chunk.data(), nextId);
        if (std::fwrite(chunk.data(), 1, chunk.size(), out) != chunk.size()) {
            result.error = "cannot write the new log";
            return result;
        }
    }
    if (std::fflush(out) != 0) {
        result.error = "cannot write the new log";
        return result;
    }
    result.records = records;
    return result;
}

}  // namespace kestrel::grow
