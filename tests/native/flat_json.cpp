#include "tests/native/flat_json.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kestrel::testing {
namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool Object(const std::string& prefix, FlatJson& out) {
        if (!Take('{')) return false;
        if (Take('}')) return true;
        do {
            JsonValue key;
            if (!String(key)) return false;
            if (!Take(':')) return false;
            const std::string path = prefix + key.text;
            Blanks();
            if (Peek() == '{') {
                if (!Object(path + ".", out)) return false;
                continue;
            }
            JsonValue value;
            if (!Value(value) || !out.emplace(path, std::move(value)).second) return false;
        } while (Take(','));
        return Take('}');
    }

    bool AtEnd() {
        Blanks();
        return at_ == text_.size();
    }

private:
    void Blanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t')) ++at_;
    }
    char Peek() { return at_ < text_.size() ? text_[at_] : '\0'; }
    bool Take(char c) {
        Blanks();
        if (Peek() != c) return false;
        ++at_;
        return true;
    }

    bool Value(JsonValue& v) {
        Blanks();
        const char c = Peek();
        if (c == '"') return String(v);
        if (c == '[') {
            v.type = JsonValue::Array;
            ++at_;
            if (Take(']')) return true;
            do {
                JsonValue item;
                if (!Value(item)) return false;
                v.items.push_back(std::move(item));
            } while (Take(','));
            return Take(']');
        }
        if (text_.substr(at_, 4) == "null") {
            at_ += 4;
            return true;  // a value's type is Null until told
        }
        const std::size_t start = at_;
        while (at_ < text_.size() &&
               std::string_view("-+.eE0123456789").find(text_[at_]) != std::string_view::npos)
            ++at_;
        v.type = JsonValue::Number;
        v.text = text_.substr(start, at_ - start);
        return at_ > start;
    }

    // What the collector writes: UTF-8 as it is, \" \\ and \u00XX escaped.
    bool String(JsonValue& v) {
        if (!Take('"')) return false;
        v.type = JsonValue::String;
        while (at_ < text_.size() && text_[at_] != '"') {
            const char c = text_[at_++];
            if (static_cast<unsigned char>(c) < 0x20) return false;  // JSON escapes every control
            if (c != '\\') {
                v.text += c;
            } else if (Peek() == '"' || Peek() == '\\' || Peek() == '/') {
                v.text += text_[at_++];
            } else if (Peek() == 'u' && at_ + 5 <= text_.size() && text_.substr(at_ + 1, 2) == "00") {
                v.text += static_cast<char>(std::stoi(std::string(text_.substr(at_ + 3, 2)), nullptr, 16));
                at_ += 5;
            } else {
                return false;
            }
        }
        return Take('"');
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

bool ParseFlatJson(std::string_view line, FlatJson& out) {
    Reader reader(line);
    return reader.Object("", out) && reader.AtEnd();
}

std::vector<FlatJson> ParseJsonLines(const std::string& text) {
    std::vector<FlatJson> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        FlatJson& json = lines.emplace_back();
        EXPECT_TRUE(ParseFlatJson(line, json)) << line.substr(0, 200);
    }
    return lines;
}

}  // namespace kestrel::testing
