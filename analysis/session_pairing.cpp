#include "analysis/session_pairing.h"

namespace kestrel {

std::optional<LogonSession> SessionPairing::Add(const EventDetails& d, bool kept) {
    if (d.kind == EventKind::Logoff) {
        if (d.logonId) logoffs_[*d.logonId] = {d.recordId, d.eventId, d.utc, d.utcOffset};
        return std::nullopt;
    }
    if (d.eventId != 4624) return std::nullopt;
    LogonSession session{&d, std::nullopt};
    const auto found = d.logonId ? logoffs_.find(*d.logonId) : logoffs_.end();
    if (found != logoffs_.end()) {
        // Later means a higher record number; the reader's order promises it,
        // and this keeps a log read in another order from pairing backwards.
        if (found->second.recordId > d.recordId) session.end = found->second;
        logoffs_.erase(found);
    }
    if (!kept) return std::nullopt;
    return session;
}

}  // namespace kestrel
