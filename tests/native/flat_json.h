#pragma once
// JSON lines as the tests read them: each object's values by their dotted
// paths ("event.code", "winlog.logon.id"), so that a line of one format can
// be held against a line of another.
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::testing {

struct JsonValue {
    enum Type { String, Number, Null, Array } type = Null;
    std::string text;              // a string unescaped (UTF-8), a number as written
    std::vector<JsonValue> items;  // an array's
};

using FlatJson = std::map<std::string, JsonValue>;

// The values of one line's object; false for text that is no JSON object,
// has a key twice or escapes what the collector does not.
bool ParseFlatJson(std::string_view line, FlatJson& out);

// Each line's object; a line that is none fails the test that reads it.
std::vector<FlatJson> ParseJsonLines(const std::string& text);

}  // namespace kestrel::testing
