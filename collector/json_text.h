#pragma once
// JSON texts from the program's CP932 strings. JSON is UTF-8 on every system,
// so the conversion is the program's own, not the system's code page.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// CP932 as UTF-8, as Windows maps code page 932; a byte or pair that is no
// character becomes "?".
void AppendCp932AsUtf8(std::string_view cp932, std::string& out);

// A JSON string of a CP932 text: quoted, escaped, UTF-8.
void AppendJsonString(std::string_view cp932, std::string& out);

// "key": with a comma before every key but an object's first.
void AppendJsonKey(std::string_view key, std::string& out);

void AppendJsonNumber(std::uint64_t value, std::string& out);

// The value, or null.
void AppendJsonNumberOrNull(const std::optional<std::uint32_t>& value, std::string& out);
void AppendJsonStringOrNull(const std::optional<std::string_view>& cp932, std::string& out);

// How a key without a value is written: null, or so that each key keeps one
// JSON type from line to line (a text "", a number left out with its key),
// for tools that fix a key's type at its first line.
enum class JsonAbsent { Null, Typed };

// "key":value, with an absent value as `absent` says.
void AppendJsonNumberKey(std::string_view key, const std::optional<std::uint32_t>& value, std::string& out,
                         JsonAbsent absent);
void AppendJsonTextKey(std::string_view key, const std::optional<std::string_view>& cp932, std::string& out,
                       JsonAbsent absent);

}  // namespace kestrel
