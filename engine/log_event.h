#pragma once
// One kept event as the reader hands it on. Everything points into the
// reader's own storage and is valid only during the hand-on.
#include <array>
#include <cstdint>

#include "platform/event_log_record.h"

namespace kestrel {

inline constexpr std::size_t kInsertionTableSize = 256;

// The insertion strings of the event being processed; unused entries are null.
using InsertionTable = std::array<const char*, kInsertionTableSize>;

struct LogEvent {
    const EventLogRecord& record;
    const char* computer;  // UNC form
    const char* source;
    char* message;  // the receiver may overwrite characters in place
    const char* logName;
    const char* timeText;
    std::uint32_t eventId;
    const InsertionTable& strings;
    // The record's own computer-name field: for forwarded events, the
    // computer the event came from. Empty when the record has none.
    const char* origin = "";
};

}  // namespace kestrel
