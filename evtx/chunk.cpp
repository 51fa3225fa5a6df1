#include "evtx/chunk.h"

#include <algorithm>
#include <cstring>

#include "base/crc32.h"
#include "evtx/layout.h"

namespace kestrel::evtx {
namespace {

bool IsRecordAt(const unsigned char* chunk, std::uint32_t offset, std::uint32_t limit, std::uint32_t& size) {
    using namespace layout;
    if (offset > limit || limit - offset < kRecordHeaderSize + kRecordTrailerSize) return false;
    // The header lies inside the limit: its fields are read in place.
    const unsigned char* record = chunk + offset;
    if (FieldOf(record, kRecordMagic) != kRecordSignature) return false;
    size = FieldOf(record, kRecordSize);
    if (size < kRecordHeaderSize + kRecordTrailerSize || size > limit - offset) return false;
    std::uint32_t trailer = 0;
    std::memcpy(&trailer, record + size - kRecordTrailerSize, sizeof trailer);
    return trailer == size;
}

}  // namespace

bool IsSoundChunkHeader(const unsigned char* header, std::size_t size) {
    using namespace layout;
    if (size < kChunkHeaderSize || std::memcmp(header, kChunkSignature, sizeof kChunkSignature) != 0) {
        return false;
    }
    const std::uint32_t crc = Crc32(header + kChunkStringTable, kChunkHeaderSize - kChunkStringTable,
                                    Crc32(header, kChunkChecksumGap));
    return crc == FieldOf(header, kChunkHeaderChecksum);
}

unsigned char* Chunk::Reset(std::uint64_t fileOffset, std::uint32_t size) {
    bytes_.resize(size);
    data_ = bytes_.data();
    size_ = size;
    fileOffset_ = fileOffset;
    Forget();
    return bytes_.data();
}

void Chunk::Borrow(std::uint64_t fileOffset, const unsigned char* data, std::uint32_t size) {
    data_ = data;
    size_ = size;
    fileOffset_ = fileOffset;
    Forget();
}

void Chunk::Forget() {
    headerSound_ = false;
    headerChecked_ = false;
    records_.clear();
    ++generation_;
    if (templates_.size() > 4096) templates_.clear();  // a damaged log's stray offsets
}

void Chunk::Scan(PassedOver& passed) {
    using namespace layout;
    const unsigned char* base = data_;
    std::uint32_t limit = size_;
    headerSound_ = false;
    if (size_ >= kChunkHeaderSize && (headerChecked_ || IsSoundChunkHeader(base, size_))) {
        const std::uint32_t freeSpace = FieldOf(base, kChunkFreeSpaceOffset);
        if (freeSpace >= kChunkHeaderSize && freeSpace <= size_) {
            limit = freeSpace;
            headerSound_ = true;
        }
    }
    if (!headerSound_) passed.Add({Reason::ChunkHeaderDamaged, fileOffset_});
    std::uint32_t offset = kChunkHeaderSize;
    bool searching = false;  // after damage, until the next record
    while (offset + kRecordHeaderSize + kRecordTrailerSize <= limit) {
        std::uint32_t size = 0;
        if (IsRecordAt(base, offset, limit, size)) {
            records_.push_back({FieldOf(base + offset, kRecordId), offset, size});
            offset += size;
            searching = false;
            continue;
        }
        if (!searching && headerSound_) passed.Add({Reason::RecordDamaged, fileOffset_ + offset});
        searching = true;
        const void* next = std::memchr(base + offset + 1, 0x2a, limit - offset - 1);
        if (next == nullptr) break;
        offset = static_cast<std::uint32_t>(static_cast<const unsigned char*>(next) - base);
    }
    // Newest first; the usual order is met oldest first.
    const auto older = [](const RecordRef& a, const RecordRef& b) { return a.id < b.id; };
    if (std::is_sorted(records_.begin(), records_.end(), older)) {
        std::reverse(records_.begin(), records_.end());
    } else {
        std::stable_sort(records_.begin(), records_.end(),
                         [](const RecordRef& a, const RecordRef& b) { return a.id > b.id; });
    }
}

bool Chunk::Read(const RecordRef& record, DecodeScratch& scratch, Event& out, Fault& why) {
    return ReadEventFields(*this, record.offset, record.size, scratch, out, why);
}

Template* Chunk::TemplateAt(std::uint32_t offset, Fault& why) {
    using namespace layout;
    Template& entry = templates_[offset];  // references stay valid while the table grows
    if (entry.generation == generation_) {
        if (!entry.ready && !why) why = {Reason::BadTemplate, fileOffset_ + offset};
        return entry.ready ? &entry : nullptr;
    }
    // Marked as this chunk's before parsing, not ready: a definition that
    // uses itself fails.
    entry.Clear();
    entry.generation = generation_;
    const ByteCursor chunk(data_, size_, fileOffset_);
    std::uint32_t size = 0;
    if (!chunk.At(static_cast<std::size_t>(offset) + kTemplateDataSize.offset, size) ||
        offset + std::uint64_t{kTemplateHeaderSize} + size > size_) {
        if (!why) why = {Reason::BadTemplate, fileOffset_ + offset};
        return nullptr;
    }
    TokenParser parser(data_, size_, fileOffset_);
    if (!parser.Parse(offset + kTemplateHeaderSize, offset + kTemplateHeaderSize + size, true,
                      entry.tokens)) {
        if (!why) why = parser.LastFault();
        entry.tokens.clear();
        return nullptr;
    }
    entry.ready = true;
    return &entry;
}

}  // namespace kestrel::evtx
