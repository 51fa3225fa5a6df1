#pragma once
// The JSON keys of a row of an event beyond the table's three (4648, 4672,
// 4740, 4768, 4769, 4771, 4776, 4778, 4779): after computer, time,
// record_id, event_id and kind, each event's own keys, then origin.
#include <string>

#include "analysis/event_details.h"
#include "collector/json_text.h"

namespace kestrel {

// The kind's name in JSON ("logon", "lockout", ...).
const char* JsonKindName(EventKind kind);

// The event's own keys, each after a comma.
void AppendEventKeys(const EventDetails& details, std::string& out, JsonAbsent absent = JsonAbsent::Null);

}  // namespace kestrel
