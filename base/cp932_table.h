#pragma once
// Code page 932's double-byte characters as Unicode, one row of 188 trail
// bytes (0x40-0x7E, 0x80-0xFC) for each lead byte 0x81-0x9F and 0xE0-0xFC;
// 0 where the pair is unassigned.
#include <cstdint>

namespace kestrel::cp932 {

inline constexpr int kTrailsPerRow = 188;
inline constexpr int kRows = 60;
extern const std::uint16_t kDoubleByteRows[kRows * kTrailsPerRow];

}  // namespace kestrel::cp932
