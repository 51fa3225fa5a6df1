#include "base/json_object.h"

namespace kestrel {

JsonObject::JsonObject(std::string& out, StringWriter string) : out_(out), string_(string) { out_ += '{'; }

std::string& JsonObject::Key(std::string_view key) {
    if (!first_) out_ += ',';
    first_ = false;
    out_.append(1, '"').append(key).append("\":");
    return out_;
}

JsonObject& JsonObject::String(std::string_view key, std::string_view text) {
    string_(text, Key(key));
    return *this;
}

JsonObject& JsonObject::StringOrNull(std::string_view key, const std::optional<std::string_view>& text) {
    return text ? String(key, *text) : Null(key);
}

JsonObject& JsonObject::Bool(std::string_view key, bool value) {
    Key(key) += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::Null(std::string_view key) {
    Key(key) += "null";
    return *this;
}

JsonObject& JsonObject::Raw(std::string_view key, std::string_view json) {
    Key(key) += json;
    return *this;
}

JsonObject JsonObject::Object(std::string_view key) {
    Key(key) += '{';
    return JsonObject(out_, string_, true);
}

}  // namespace kestrel
