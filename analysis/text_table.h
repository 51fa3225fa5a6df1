#pragma once
// Texts kept once each and known by a small index, in the order they came:
// the summary holds millions of failures as indexes, not as names.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrel {

class TextTable {
public:
    // The text's index; a text new to the table gets the next one.
    std::uint32_t Add(std::string_view text) {
        const auto found = index_.find(text);
        if (found != index_.end()) return found->second;
        const auto index = static_cast<std::uint32_t>(texts_.size());
        texts_.emplace_back(text);
        index_.emplace(std::string(text), index);
        return index;
    }

    const std::string& operator[](std::uint32_t index) const { return texts_[index]; }
    std::size_t Size() const { return texts_.size(); }
    const std::vector<std::string>& Texts() const { return texts_; }

private:
    // Looked up by a view, without making a string of it first.
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    std::vector<std::string> texts_;
    std::unordered_map<std::string, std::uint32_t, Hash, std::equal_to<>> index_;
};

}  // namespace kestrel
