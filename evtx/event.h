#pragma once
// One event in the terms of the classic event-log API (EVENTLOGRECORD), as the
// reader takes it out of an .evtx record; texts are CP932.
#include <cstdint>
#include <string>

namespace kestrel::evtx {

struct Event {
    std::uint64_t recordId = 0;
    std::uint32_t eventId = 0;        // qualifiers in the high 16 bits
    std::uint32_t timeGenerated = 0;  // seconds since 1970-01-01 UTC
    std::uint32_t timeWritten = 0;
    std::uint16_t eventType = 0;
    std::uint16_t category = 0;
    std::string source;
    std::string computer;
    std::string strings;  // the insertion strings, each followed by its NUL
    std::uint32_t stringCount = 0;
    std::string data;  // the bytes of EventData's Binary
};

}  // namespace kestrel::evtx
