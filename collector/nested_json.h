#pragma once
// A JSON object of objects written as it goes: an inner object opens in the
// output only when its first value comes, so one that gets none leaves no
// trace, and texts that stand for "no value" leave out their key.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

class NestedJson {
public:
    // Keys go into out, after the '{' the caller wrote.
    explicit NestedJson(std::string& out) : out_(out) {}

    void Open(std::string_view key) { open_.push_back({key, false}); }
    void Close();

    // "key": inside every object opened so far; the caller writes the value.
    std::string& Key(std::string_view key);

    // A CP932 text as UTF-8; nothing when absent, empty or "-".
    void Text(std::string_view key, const std::optional<std::string_view>& cp932);
    void Number(std::string_view key, const std::optional<std::uint64_t>& value);
    // "0x3e7" as a text.
    void Hex(std::string_view key, const std::optional<std::uint64_t>& value);
    // A text written as it is given: ASCII that needs no escape.
    void Raw(std::string_view key, std::string_view json);

    // An absent, empty or "-" text.
    static bool IsNone(const std::optional<std::string_view>& cp932) {
        return !cp932 || cp932->empty() || *cp932 == "-";
    }

private:
    struct Level {
        std::string_view key;
        bool written;
    };
    std::string& out_;
    std::vector<Level> open_;
};

}  // namespace kestrel
