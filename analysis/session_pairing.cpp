#include "analysis/session_pairing.h"

namespace kestrel {
namespace {

SessionEnd MarkOf(const EventDetails& d) { return {d.recordId, d.eventId, d.utc, d.utcOffset}; }

}  // namespace

std::optional<LogonSession> SessionPairing::Add(const EventDetails& d, bool kept) {
    switch (d.kind) {
        case EventKind::Logoff:
            if (d.logonId) logoffs_[*d.logonId] = MarkOf(d);
            return std::nullopt;
        case EventKind::SpecialPrivileges:
            if (d.logonId) privileges_[*d.logonId] = MarkOf(d);
            return std::nullopt;
        case EventKind::SessionDisconnected:
        case EventKind::SessionReconnected:
            if (d.logonId) {
                Remote& remote = remote_[*d.logonId];
                if (d.kind == EventKind::SessionReconnected) {
                    ++remote.reconnects;
                } else if (remote.disconnects++ == 0) {
                    remote.lastDisconnect = MarkOf(d);  // the newest comes first
                }
            }
            return std::nullopt;
        default:
            break;
    }
    if (d.eventId != 4624) return std::nullopt;
    LogonSession session;
    session.logon = &d;
    TakeAdded(d, session);
    if (!kept) return std::nullopt;
    return session;
}

// What was seen of the logon's ID since it came, which an older logon with
// the same ID (used again after a restart) must not take.
void SessionPairing::TakeAdded(const EventDetails& d, LogonSession& session) {
    if (!d.logonId) return;
    const std::uint64_t id = *d.logonId;
    // Later means a higher record number; the reader's order promises it,
    // and this keeps a log read in another order from pairing backwards.
    if (const auto found = logoffs_.find(id); found != logoffs_.end()) {
        if (found->second.recordId > d.recordId) session.end = found->second;
        logoffs_.erase(found);
    }
    if (const auto found = privileges_.find(id); found != privileges_.end()) {
        const SessionEnd& mark = found->second;
        session.admin =
            mark.recordId > d.recordId && mark.utc >= d.utc && mark.utc - d.utc <= kPrivilegesAtLogonSeconds;
        privileges_.erase(found);
    }
    if (const auto found = remote_.find(id); found != remote_.end()) {
        session.disconnects = found->second.disconnects;
        session.reconnects = found->second.reconnects;
        session.lastDisconnect = found->second.lastDisconnect;
        remote_.erase(found);
    }
}

}  // namespace kestrel
