#pragma once
// One 64 KiB chunk of an .evtx file: its header, the records found in it and
// the templates its records use, parsed on first use.
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "evtx/event.h"
#include "evtx/event_fields.h"
#include "evtx/fault.h"
#include "evtx/template_plan.h"

namespace kestrel::evtx {

struct RecordRef {
    std::uint64_t id;
    std::uint32_t offset;  // in the chunk
    std::uint32_t size;
};

class Chunk {
public:
    // Room for `size` bytes of the chunk at `fileOffset`, which the caller
    // fills before Scan; what the chunk knew before is forgotten.
    unsigned char* Reset(std::uint64_t fileOffset, std::uint32_t size);
    // The header was checked when the log was opened: its checksum need not
    // be worked out again.
    void HeaderCheckedBefore() { headerChecked_ = true; }
    // The same over bytes held elsewhere, alive and unchanged while the chunk is read.
    void Borrow(std::uint64_t fileOffset, const unsigned char* data, std::uint32_t size);

    // Checks the header and finds the records, newest first. Records are
    // checked one by one (signature, size, and the size again at the end);
    // after a damaged one the scan looks for the next signature. Without a
    // sound header the whole chunk is searched. Damage goes to `passed`.
    void Scan(PassedOver& passed);

    bool HeaderSound() const { return headerSound_; }
    const std::vector<RecordRef>& Records() const { return records_; }

    // Decodes a record found by Scan. False, with the reason, when its
    // contents are damaged beyond reading.
    bool Read(const RecordRef& record, DecodeScratch& scratch, Event& out, Fault& why);

    // The template defined at `offset`, parsed on first use; null (with the
    // reason) when it is damaged or uses itself.
    Template* TemplateAt(std::uint32_t offset, Fault& why);

    const unsigned char* Data() const { return data_; }
    std::uint32_t Size() const { return size_; }
    std::uint64_t FileOffset() const { return fileOffset_; }

private:
    void Forget();

    std::vector<unsigned char> bytes_;  // the chunk's own copy, when it has one
    const unsigned char* data_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint64_t fileOffset_ = 0;
    bool headerSound_ = false;
    std::vector<RecordRef> records_;
    // By definition offset. Entries of earlier chunks stay, with their room,
    // and count only when their generation is the chunk's own.
    std::unordered_map<std::uint32_t, Template> templates_;
    std::uint64_t generation_ = 0;
    bool headerChecked_ = false;  // the chunk's header was found sound before it was read
};

// Whether the first 512 bytes are a chunk header whose checksum matches.
bool IsSoundChunkHeader(const unsigned char* header, std::size_t size);

}  // namespace kestrel::evtx
