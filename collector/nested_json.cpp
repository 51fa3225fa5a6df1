#include "collector/nested_json.h"

#include "analysis/event_details.h"
#include "collector/json_text.h"

namespace kestrel {

void NestedJson::Close() {
    if (open_.back().written) out_ += '}';
    open_.pop_back();
}

std::string& NestedJson::Key(std::string_view key) {
    for (Level& level : open_) {
        if (level.written) continue;
        AppendJsonKey(level.key, out_);
        out_ += '{';
        level.written = true;
    }
    AppendJsonKey(key, out_);
    return out_;
}

void NestedJson::Text(std::string_view key, const std::optional<std::string_view>& cp932) {
    if (!IsNone(cp932)) AppendJsonString(*cp932, Key(key));
}

void NestedJson::Number(std::string_view key, const std::optional<std::uint64_t>& value) {
    if (value) AppendJsonNumber(*value, Key(key));
}

void NestedJson::Hex(std::string_view key, const std::optional<std::uint64_t>& value) {
    if (!value) return;
    std::string& out = Key(key);
    out += '"';
    AppendHex(*value, out);
    out += '"';
}

void NestedJson::Raw(std::string_view key, std::string_view json) { Key(key) += json; }

}  // namespace kestrel
