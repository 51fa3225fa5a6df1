#pragma once
// Security events as the reader hands them on, with their insertion strings
// in their published places, for the tests of what is read from them.
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/event_details.h"
#include "engine/log_event.h"

namespace kestrel::testing {

// 2024-03-15 00:21:42 UTC, which Tokyo calls 09:21:42.
inline constexpr std::uint32_t kMoment = 1710462102;

// One event as the reader hands it on.
class Event {
public:
    Event(std::uint32_t id, std::uint32_t recordId, std::vector<std::string> strings,
          std::uint32_t utc = kMoment, std::string timeText = "")
        : texts_(std::move(strings)), timeText_(std::move(timeText)) {
        // Tokyo's time text unless a test gives another zone's.
        if (timeText_.empty()) {
            AppendLocalTimeText(utc, 9 * 3600, timeText_);
            timeText_ += "  ";
        }
        record_.EventID = id;
        record_.RecordNumber = recordId;
        record_.TimeGenerated = utc;
        record_.EventType = id == 4625 ? kEventTypeAuditFailure : kEventTypeAuditSuccess;
        table_.fill(nullptr);
        for (std::size_t i = 0; i < texts_.size(); ++i) table_[i] = texts_[i].c_str();
    }
    LogEvent Get() {
        return LogEvent{record_,           "\\\\PC01",      "src",  message_.data(), "security",
                        timeText_.c_str(), record_.EventID, table_, origin.c_str()};
    }
    std::string origin = "pc01.kestrel.local";

private:
    EventLogRecord record_{};
    std::vector<std::string> texts_;
    std::string timeText_;
    std::string message_ = "message";
    InsertionTable table_{};
};

// Strings of a 4624 in their published order: user 5, domain 6, logon ID 7,
// type 8, workstation 11, address 18, port 19.
inline Event Logon(std::uint32_t recordId, std::string user, std::string logonId, std::string type = "10",
                   std::uint32_t utc = kMoment) {
    std::vector<std::string> s(21, "-");
    s[5] = std::move(user), s[6] = "KESTREL", s[7] = std::move(logonId), s[8] = std::move(type);
    s[11] = "PC07", s[18] = "192.168.1.7", s[19] = "51234";
    return Event(4624, recordId, s, utc);
}

// 4634 (user 1, domain 2, logon ID 3, type 4) or 4647 (no type).
inline Event Logoff(std::uint32_t id, std::uint32_t recordId, std::string logonId, std::uint32_t utc) {
    std::vector<std::string> s = {"S-1-5-21-1", "tanaka", "KESTREL", std::move(logonId)};
    if (id == 4634) s.push_back("10");
    return Event(id, recordId, s, utc);
}

// 4625: user 5, domain 6, status 7, sub-status 9, type 10, workstation 13,
// address 19, port 20.
inline Event Failed(std::string status, std::string subStatus, std::vector<std::string> more = {}) {
    std::vector<std::string> s(21, "-");
    s[5] = "admin", s[6] = "", s[7] = std::move(status), s[9] = std::move(subStatus), s[10] = "3";
    s[13] = "ATTACKER", s[19] = "203.0.113.9", s[20] = "0";
    for (std::size_t i = 0; i + 1 < more.size(); i += 2) s[std::stoul(more[i])] = more[i + 1];
    return Event(4625, 77, s);
}

}  // namespace kestrel::testing
