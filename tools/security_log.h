#pragma once
// Security events as the Microsoft-Windows-Security-Auditing provider writes
// them: the System part shared by every event, and the EventData fields of
// each event ID in their published order.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::sample {

enum class FieldKind { String, Sid, UInt32, HexInt32, HexInt64, Pointer, Guid };

struct FieldShape {
    std::u16string_view name;
    FieldKind kind;
};

struct EventShape {
    std::uint16_t id;
    std::uint8_t version;
    std::uint16_t task;
    std::vector<FieldShape> fields;
};

// The events the sample site uses: 4624, 4625, 4634, 4647, 4648, 4672, 4688,
// and on its domain controller 4740, 4768, 4769, 4771, 4776, 4778 and 4779.
// Null for any other ID.
const EventShape* FindEventShape(std::uint16_t id);

inline constexpr std::uint64_t kAuditSuccess = 0x8020000000000000ull;
inline constexpr std::uint64_t kAuditFailure = 0x8010000000000000ull;

struct SecurityEvent {
    std::uint64_t recordId = 0;
    std::uint64_t fileTime = 0;  // TimeCreated, 100 ns since 1601 (UTC)
    std::uint16_t id = 0;
    bool failure = false;  // audit failure rather than audit success
    std::uint32_t processId = 0;
    std::uint32_t threadId = 0;
    std::u16string activityId;  // Correlation ActivityID, "{...}"; empty for none
    // EventData in the order of the event's fields, as text: SIDs as
    // "S-1-...", numbers in decimal, hex values as "0x..." and GUIDs in braces.
    std::vector<std::u16string> data;
};

// A new event of a known ID with every field at its usual empty value
// ("-", 0x0, 0, the null SID or the null GUID).
SecurityEvent NewEvent(std::uint16_t id);

// Sets a field by name; false when the event has no such field.
bool SetField(SecurityEvent& event, std::u16string_view name, std::u16string value);

// The whole Security.evtx of one computer, records in the order given.
// Empty when an event cannot be written.
std::vector<std::uint8_t> WriteSecurityLog(std::u16string_view computerName,
                                           const std::vector<SecurityEvent>& events);

// An event in a collector's ForwardedEvents log: the source computer's name
// and the event as that computer wrote it, under the collector's record ID
// and the time the collector wrote it down.
struct ForwardedRecord {
    std::u16string computerName;
    std::uint64_t writtenTime = 0;
    SecurityEvent event;
};

// The whole ForwardedEvents.evtx of a collector, records in the order given.
// Empty when an event cannot be written.
std::vector<std::uint8_t> WriteForwardedLog(const std::vector<ForwardedRecord>& records);

std::string Utf8(std::u16string_view text);
std::u16string Utf16(std::string_view ascii);

}  // namespace kestrel::sample
