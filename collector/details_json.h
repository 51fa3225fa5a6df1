#pragma once
// The keys that rows and sessions share in their JSON lines.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/event_details.h"
#include "collector/json_text.h"

namespace kestrel {

// "key":"0x3e7", or "key":null ("" when typed).
void AppendJsonHexKey(std::string_view key, const std::optional<std::uint64_t>& value, std::string& out,
                      JsonAbsent absent = JsonAbsent::Null);

// "key":"2024-03-15T09:21:42+09:00".
void AppendJsonTimeKey(std::string_view key, std::int64_t utc, std::int32_t utcOffset, std::string& out);

// Who logged on and from where: user, domain, logon_type, workstation, ip.
void AppendJsonAccountKeys(const EventDetails& details, std::string& out,
                           JsonAbsent absent = JsonAbsent::Null);

}  // namespace kestrel
