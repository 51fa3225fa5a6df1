#pragma once
// Where the fields of an .evtx file lie: the file header, the 64 KiB chunks
// with their own header, and the records inside a chunk.
#include <cstddef>
#include <cstdint>

#include "base/byte_cursor.h"

namespace kestrel::evtx::layout {

// The file header: one 4 KiB block, of which the first 128 bytes are used.
inline constexpr std::size_t kFileHeaderBlock = 4096;
inline constexpr std::size_t kFileHeaderUsed = 128;
inline constexpr char kFileSignature[8] = {'E', 'l', 'f', 'F', 'i', 'l', 'e', '\0'};
inline constexpr HeaderField<std::uint64_t> kFileFirstChunk{8};
inline constexpr HeaderField<std::uint64_t> kFileLastChunk{16};
inline constexpr HeaderField<std::uint64_t> kFileNextRecordId{24};
inline constexpr HeaderField<std::uint32_t> kFileHeaderSize{32};
inline constexpr HeaderField<std::uint16_t> kFileMinorVersion{36};
inline constexpr HeaderField<std::uint16_t> kFileMajorVersion{38};
inline constexpr HeaderField<std::uint16_t> kFileHeaderBlockSize{40};
inline constexpr HeaderField<std::uint16_t> kFileChunkCount{42};
inline constexpr HeaderField<std::uint32_t> kFileFlags{120};
inline constexpr HeaderField<std::uint32_t> kFileChecksum{124};  // CRC-32 of bytes 0-119

// A chunk: a 512-byte header, then records up to the free-space offset.
inline constexpr std::uint32_t kChunkSize = 0x10000;
inline constexpr std::uint32_t kChunkHeaderSize = 512;
inline constexpr char kChunkSignature[8] = {'E', 'l', 'f', 'C', 'h', 'n', 'k', '\0'};
inline constexpr HeaderField<std::uint64_t> kChunkFirstRecordNumber{8};
inline constexpr HeaderField<std::uint64_t> kChunkLastRecordNumber{16};
inline constexpr HeaderField<std::uint64_t> kChunkFirstRecordId{24};
inline constexpr HeaderField<std::uint64_t> kChunkLastRecordId{32};
inline constexpr HeaderField<std::uint32_t> kChunkHeaderUsed{40};
inline constexpr HeaderField<std::uint32_t> kChunkLastRecordOffset{44};
inline constexpr HeaderField<std::uint32_t> kChunkFreeSpaceOffset{48};
inline constexpr HeaderField<std::uint32_t> kChunkRecordsChecksum{52};  // CRC-32 of the records
inline constexpr HeaderField<std::uint32_t> kChunkFlags{120};
inline constexpr HeaderField<std::uint32_t> kChunkHeaderChecksum{124};  // bytes 0-119 and 128-511
inline constexpr std::size_t kChunkChecksumGap = 120;                   // the checksum skips 120-127
inline constexpr std::size_t kChunkStringTable = 128;                   // 64 offsets of common names
inline constexpr std::size_t kChunkTemplateTable = 384;                 // 32 offsets of templates

// A record: a 24-byte header, binary XML, and its size again in the last 4 bytes.
inline constexpr std::uint32_t kRecordSignature = 0x00002a2a;
inline constexpr std::uint32_t kRecordHeaderSize = 24;
inline constexpr std::uint32_t kRecordTrailerSize = 4;
inline constexpr HeaderField<std::uint32_t> kRecordMagic{0};
inline constexpr HeaderField<std::uint32_t> kRecordSize{4};
inline constexpr HeaderField<std::uint64_t> kRecordId{8};
inline constexpr HeaderField<std::uint64_t> kRecordWritten{16};  // FILETIME

// A template definition: next-in-bucket offset, GUID, size of its binary XML.
inline constexpr std::uint32_t kTemplateHeaderSize = 24;
inline constexpr HeaderField<std::uint32_t> kTemplateDataSize{20};

}  // namespace kestrel::evtx::layout
