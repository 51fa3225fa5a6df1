#include "evtx/chunk.h"

#include <algorithm>
#include <cstring>

#include "evtx/crc32.h"
#include "evtx/layout.h"

namespace kestrel::evtx {
namespace {

bool IsRecordAt(const ByteCursor& chunk, std::uint32_t offset, std::uint32_t limit, std::uint32_t& size) {
    using namespace layout;
    if (offset + kRecordHeaderSize + kRecordTrailerSize > limit) return false;
    std::uint32_t magic = 0, trailer = 0;
    if (!chunk.At(offset + kRecordMagic.offset, magic) || magic != kRecordSignature) return false;
    if (!chunk.At(offset + kRecordSize.offset, size)) return false;
    if (size < kRecordHeaderSize + kRecordTrailerSize || size > limit - offset) return false;
    return chunk.At(offset + size - kRecordTrailerSize, trailer) && trailer == size;
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
    records_.clear();
    templates_.clear();
}

void Chunk::Scan(PassedOver& passed) {
    using namespace layout;
    const unsigned char* base = data_;
    const ByteCursor chunk(base, size_, fileOffset_);
    std::uint32_t limit = size_;
    headerSound_ = false;
    if (IsSoundChunkHeader(base, size_)) {
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
        if (IsRecordAt(chunk, offset, limit, size)) {
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
    auto found = templates_.find(offset);
    if (found != templates_.end()) {
        if (!found->second.ready && !why) why = {Reason::BadTemplate, fileOffset_ + offset};
        return found->second.ready ? &found->second : nullptr;
    }
    // Entered before parsing, not ready: a definition that uses itself fails.
    // References into the table stay valid while it grows.
    Template& entry = templates_[offset];
    const ByteCursor chunk(data_, size_, fileOffset_);
    std::uint32_t size = 0;
    if (!chunk.At(static_cast<std::size_t>(offset) + kTemplateDataSize.offset, size) ||
        offset + std::uint64_t{kTemplateHeaderSize} + size > size_) {
        if (!why) why = {Reason::BadTemplate, fileOffset_ + offset};
        return nullptr;
    }
    std::vector<Token> tokens;
    tokens.reserve(size / 6);
    TokenParser parser(data_, size_, fileOffset_);
    if (!parser.Parse(offset + kTemplateHeaderSize, offset + kTemplateHeaderSize + size, true, tokens)) {
        if (!why) why = parser.LastFault();
        return nullptr;
    }
    entry.tokens = std::move(tokens);
    entry.ready = true;
    return &entry;
}

}  // namespace kestrel::evtx
