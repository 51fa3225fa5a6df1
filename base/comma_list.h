#pragma once
// Texts joined with ", " for a person to read: "PC01, PC02, SV01".
#include <string>
#include <string_view>

namespace kestrel {

// Each item as text(item) makes it, ", " between them.
template <typename Items, typename Text>
std::string JoinWithCommas(Items&& items, Text text) {
    std::string joined;
    bool first = true;
    for (const auto& item : items) {
        if (!first) joined += ", ";
        first = false;
        joined += text(item);
    }
    return joined;
}

// Items that are texts already.
template <typename Items>
std::string JoinWithCommas(const Items& items) {
    return JoinWithCommas(items, [](std::string_view text) { return text; });
}

}  // namespace kestrel
