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
    const EventDetails* logon = nullptr;            // the one just added
    std::optional<SessionEnd> end;                  // none when it is not known
    bool admin = false;                             // a 4672 at its logon gave it administrator's privileges
    std::uint32_t disconnects = 0, reconnects = 0;  // of Remote Desktop (4779, 4778)
    std::optional<SessionEnd> lastDisconnect;
};

class SessionPairing {
public:
    // Before the events of another computer: logon IDs are its own.
    void BeginComputer() {
        logoffs_.clear();
        privileges_.clear();
        remote_.clear();
    }
    // The next older event; kept: the table kept it. A kept 4624 completes
    // a session, whose logon is `event`.
    std::optional<LogonSession> Add(const EventDetails& event, bool kept);

    // A 4672 belongs to a logon written at most this long before it.
    static constexpr std::int64_t kPrivilegesAtLogonSeconds = 2;

private:
    struct Remote {
        std::uint32_t disconnects = 0, reconnects = 0;
        std::optional<SessionEnd> lastDisconnect;
    };
    void TakeAdded(const EventDetails& logon, LogonSession& session);

    // The oldest logoff seen so far of each logon ID whose logon has not come
    // yet. A logon takes its entry away: an older logon with the same ID (the
    // ID was used again after a restart) has no known end.
    std::unordered_map<std::uint64_t, SessionEnd> logoffs_;
    // Likewise the oldest 4672 of each logon ID, and the Remote Desktop
    // disconnects and reconnects since its logon.
    std::unordered_map<std::uint64_t, SessionEnd> privileges_;
    std::unordered_map<std::uint64_t, Remote> remote_;
};

}  // namespace kestrel
