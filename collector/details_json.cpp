#include "collector/details_json.h"

#include "collector/json_text.h"

namespace kestrel {

void AppendJsonHexKey(std::string_view key, const std::optional<std::uint64_t>& value, std::string& out,
                      JsonAbsent absent) {
    AppendJsonKey(key, out);
    if (!value) {
        out += absent == JsonAbsent::Null ? "null" : "\"\"";
        return;
    }
    out += '"';
    AppendHex(*value, out);
    out += '"';
}

void AppendJsonTimeKey(std::string_view key, std::int64_t utc, std::int32_t utcOffset, std::string& out) {
    AppendJsonKey(key, out);
    out += '"';
    AppendIsoTime(utc, utcOffset, out);
    out += '"';
}

void AppendJsonAccountKeys(const EventDetails& d, std::string& out, JsonAbsent absent) {
    AppendJsonKey("user", out);
    AppendJsonString(d.user, out);
    AppendJsonKey("domain", out);
    AppendJsonString(d.domain, out);
    AppendJsonNumberKey("logon_type", d.logonType, out, absent);
    AppendJsonTextKey("workstation", d.workstation, out, absent);
    AppendJsonTextKey("ip", d.ip, out, absent);
}

}  // namespace kestrel
