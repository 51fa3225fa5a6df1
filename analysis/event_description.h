#pragma once
// The fields that the details of a row show, as CP932 texts: where the event
// came from, who, how, and why a logon failed. Empty where the event has no
// such value.
#include <string>

#include "analysis/event_details.h"
#include "engine/log_event.h"

namespace kestrel {

struct EventDescription {
    std::string origin;        // the computer that wrote the record
    std::string time;          // "2024/03/14 13:27:30 (UTC+09:00)"
    std::string recordNumber;  // decimal
    std::string eventId;       // "4625"
    std::string kind;          // the table's "ログオン", "ログオン失敗" or "ログオフ"
    std::string user, domain;
    std::string logonType;  // "3 (ﾈｯﾄﾜｰｸ)", the number alone when it has no name
    std::string workstation, address, port;
    std::string logonId, status, subStatus;  // "0x3e7"
    std::string failureReason;               // failed logons only
};

// The kind as the window names it ("ログオン失敗", "Kerberos 事前認証の失敗").
const char* EventKindText(EventKind kind);

// False for an event that is no logon, failed logon or logoff.
bool DescribeEvent(const LogEvent& event, EventDescription& out);

}  // namespace kestrel
