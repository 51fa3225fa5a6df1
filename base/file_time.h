#pragma once
// FILETIME: 100-nanosecond ticks since 1601-01-01 UTC, the time of Windows
// and of .evtx files.
#include <cstdint>

namespace kestrel {

inline constexpr std::uint64_t kFileTimeTicksPerSecond = 10000000;
inline constexpr std::uint64_t kFileTimeSecondsTo1970 = 11644473600;  // 1601-01-01 to 1970-01-01
inline constexpr std::int64_t kFileTimeDaysTo1970 = 134774;
static_assert(kFileTimeSecondsTo1970 == static_cast<std::uint64_t>(kFileTimeDaysTo1970) * 86400);

// Seconds since 1970 as a classic record holds them: 0 for anything before,
// the largest 32-bit number for anything past it.
constexpr std::uint32_t FileTimeToUnixSeconds(std::uint64_t fileTime) {
    constexpr std::uint64_t kEpoch = kFileTimeSecondsTo1970 * kFileTimeTicksPerSecond;
    if (fileTime <= kEpoch) return 0;
    const std::uint64_t seconds = (fileTime - kEpoch) / kFileTimeTicksPerSecond;
    return seconds > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(seconds);
}

}  // namespace kestrel
