#pragma once
// The file header of an .evtx log and where its chunks lie, in the order in
// which their records are read (newest first, or oldest first). A chunk whose header is sound
// and agrees with its first and last record is known from those few bytes;
// any other is read and searched once here. The header's own chunk count is
// not trusted: every 64 KiB block after the header is looked at, the last one
// even when the file ends inside it.
#include <cstdint>
#include <vector>

#include "evtx/byte_source.h"
#include "evtx/fault.h"

namespace kestrel::evtx {

enum class Order : std::uint8_t { NewestFirst, OldestFirst };

struct ChunkInfo {
    std::uint64_t fileOffset = 0;
    std::uint32_t size = 0;
    std::uint64_t newestId = 0;  // 0: no record
    std::uint64_t oldestId = 0;
    bool headerSound = false;  // signature and checksum checked when the log was opened
    bool empty = false;        // nothing but zeros: room the log has not used yet
};

class LogIndex {
public:
    // False, with the reason, when the source is no event log at all. With
    // two threads or more, a large log is indexed by two.
    bool Open(ByteSource& source, Order order, Fault& why, unsigned threads = 1);

    const std::vector<ChunkInfo>& Chunks() const { return chunks_; }

private:
    std::vector<ChunkInfo> chunks_;
};

}  // namespace kestrel::evtx
