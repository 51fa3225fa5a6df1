#pragma once
// CRC-32 (IEEE 802.3, reflected, as zlib computes it): the checksum of .evtx
// file headers, chunk headers and chunk record areas.
#include <cstddef>
#include <cstdint>

namespace kestrel {

// Continues `crc` (the checksum of the bytes before) over `size` more bytes.
std::uint32_t Crc32(const unsigned char* data, std::size_t size, std::uint32_t crc = 0);

}  // namespace kestrel
