#pragma once
// The fixed part of an event record as the classic event-log API lays it out
// (EVENTLOGRECORD). Kept here so that the engine never needs <windows.h>.
#include <cstddef>
#include <cstdint>

namespace kestrel {

struct EventLogRecord {
    std::uint32_t Length;
    std::uint32_t Reserved;
    std::uint32_t RecordNumber;
    std::uint32_t TimeGenerated;
    std::uint32_t TimeWritten;
    std::uint32_t EventID;
    std::uint16_t EventType;
    std::uint16_t NumStrings;
    std::uint16_t EventCategory;
    std::uint16_t ReservedFlags;
    std::uint32_t ClosingRecordNumber;
    std::uint32_t StringOffset;
    std::uint32_t UserSidLength;
    std::uint32_t UserSidOffset;
    std::uint32_t DataLength;
    std::uint32_t DataOffset;
};
static_assert(sizeof(EventLogRecord) == 56, "EVENTLOGRECORD is 56 bytes");
static_assert(offsetof(EventLogRecord, StringOffset) == 36);

inline constexpr std::uint32_t kEventLogRecordSignature = 0x654c664c;  // "LfLe"

// Event types.
inline constexpr std::uint16_t kEventTypeError = 0x0001;
inline constexpr std::uint16_t kEventTypeWarning = 0x0002;
inline constexpr std::uint16_t kEventTypeInformation = 0x0004;
inline constexpr std::uint16_t kEventTypeAuditSuccess = 0x0008;
inline constexpr std::uint16_t kEventTypeAuditFailure = 0x0010;

// ReadEventLog flags.
inline constexpr std::uint32_t kSequentialRead = 0x0001;
inline constexpr std::uint32_t kSeekRead = 0x0002;
inline constexpr std::uint32_t kForwardsRead = 0x0004;
inline constexpr std::uint32_t kBackwardsRead = 0x0008;

}  // namespace kestrel
