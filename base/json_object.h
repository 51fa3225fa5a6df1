#pragma once
// One JSON object written into a string as it goes: {"key":value,...}, a
// comma before every key but the first. Keys are the program's own ASCII and
// go out as they are; texts go through the caller's string writer, which
// converts and escapes them (the collector's writes CP932 as escaped UTF-8).
#include <charconv>
#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

class JsonObject {
public:
    // Appends text to out as a quoted, escaped JSON string.
    using StringWriter = void (*)(std::string_view text, std::string& out);

    // Writes the '{'.
    JsonObject(std::string& out, StringWriter string);

    // "key": and the value.
    JsonObject& String(std::string_view key, std::string_view text);
    JsonObject& StringOrNull(std::string_view key, const std::optional<std::string_view>& text);
    template <std::integral Integer>
    JsonObject& Number(std::string_view key, Integer value) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        Key(key).append(digits, end);
        return *this;
    }
    JsonObject& Bool(std::string_view key, bool value);
    JsonObject& Null(std::string_view key);
    // An array of texts: ["a","b"].
    template <typename Texts>
    JsonObject& Strings(std::string_view key, const Texts& texts) {
        std::string& out = Key(key);
        out += '[';
        bool first = true;
        for (const auto& text : texts) {
            if (!first) out += ',';
            first = false;
            string_(text, out);
        }
        out += ']';
        return *this;
    }
    // A value already JSON, written as it is.
    JsonObject& Raw(std::string_view key, std::string_view json);
    // "key": alone, for the caller to append the value to the string returned.
    std::string& Key(std::string_view key);
    // An object inside this one, under key; End it before going on here.
    JsonObject Object(std::string_view key);

    // Writes the '}'.
    void End() { out_ += '}'; }

private:
    JsonObject(std::string& out, StringWriter string, bool) : out_(out), string_(string) {}

    std::string& out_;
    StringWriter string_;
    bool first_ = true;
};

}  // namespace kestrel
