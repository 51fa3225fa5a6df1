#pragma once
// Logon sessions: each logon the table keeps, with the logoff that ended it.
// Events come newest first, a computer at a time, so a logon's logoff has been
// seen before the logon itself: each session is complete when its logon comes,
// and is handed out then, while the logon's details are still valid.
#include <cstdint>
#include <optional>
#include <unordered_map>

#include "analysis/event_details.h"

namespace kestrel {

// The logoff that ended a session: 4634, or 4647 when the user logged off.
struct SessionEnd {
    std::uint32_t recordId = 0;
    std::uint16_t eventId = 0;
    std::int64_t utc = 0;
    std::int32_t utcOffset = 0;
};

struct LogonSession {
    const EventDetails* logon = nullptr;  // the one just added
    std::optional<SessionEnd> end;        // none when it is not known
};

class SessionPairing {
public:
    // Before the events of another computer: logon IDs are its own.
    void BeginComputer() { logoffs_.clear(); }
    // The next older event; kept: the table kept it. A kept 4624 completes
    // a session, whose logon is `event`.
    std::optional<LogonSession> Add(const EventDetails& event, bool kept);

private:
    // The oldest logoff seen so far of each logon ID whose logon has not come
    // yet. A logon takes its entry away: an older logon with the same ID (the
    // ID was used again after a restart) has no known end.
    std::unordered_map<std::uint64_t, SessionEnd> logoffs_;
};

}  // namespace kestrel
