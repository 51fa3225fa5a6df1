#pragma once
// Grows a Security log for benchmarks: the sound chunks of a log, copied over
// and over with fresh record identifiers and recomputed checksums.
#include <cstdint>
#include <cstdio>
#include <string>

namespace kestrel::grow {

// A chunk (layout::kChunkSize bytes) that can be copied: its signature, both
// checksums, and at least one record, the records chaining from the header up
// to the free-space offset.
bool ChunkIsSound(const unsigned char* chunk);

// Numbers the records of a sound chunk from `firstId` on, sets the header's
// record numbers and checksums; returns the identifier after the last.
std::uint64_t Renumber(unsigned char* chunk, std::uint64_t firstId);

// Sets the chunk fields and the checksum of a file header (layout::kFileHeaderBlock bytes).
void FinishFileHeader(unsigned char* header, std::uint64_t chunks, std::uint64_t nextRecordId);

struct GrowResult {
    std::string error;  // empty when the log was written
    std::uint64_t sourceChunks = 0;
    std::uint64_t soundChunks = 0;
    std::uint64_t records = 0;  // written
};

// Writes a log of `chunks` chunks to `out`, one chunk in memory at a time.
GrowResult GrowLog(std::FILE* in, std::FILE* out, std::uint64_t chunks);

}  // namespace kestrel::grow
