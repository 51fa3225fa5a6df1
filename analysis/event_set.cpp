#include "analysis/event_set.h"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace kestrel {
namespace {

// The bit of a readable event; 0 for another.
std::uint16_t BitOf(std::uint32_t eventId) {
    for (std::size_t i = 0; i < std::size(kReadableEvents); ++i) {
        if (kReadableEvents[i] == eventId) return static_cast<std::uint16_t>(1u << i);
    }
    return 0;
}

}  // namespace

EventSet EventSet::Logon() { return EventSet(kLogonBits); }

EventSet EventSet::All() { return EventSet((1u << std::size(kReadableEvents)) - 1); }

std::optional<EventSet> EventSet::Parse(std::string_view text, std::string& error) {
    if (text == "logon") return Logon();
    if (text == "all") return All();
    std::uint16_t bits = 0;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        const std::string_view id = text.substr(start, end - start);
        std::uint32_t number = 0;
        const auto [at, failed] = std::from_chars(id.data(), id.data() + id.size(), number);
        const std::uint16_t bit = failed == std::errc() && at == id.data() + id.size() ? BitOf(number) : 0;
        if (bit == 0) {
            // Appended piece by piece: GCC 12 at -O3 warns falsely on "'" + text.
            error.assign(1, '\'').append(id).append(
                "' is no event that can be read: give logon, all or IDs from ");
            for (const std::uint16_t readable : kReadableEvents) {
                error.append(std::to_string(readable));
                if (readable != std::end(kReadableEvents)[-1]) error.append(",");
            }
            return std::nullopt;
        }
        bits |= bit;
        start = end + 1;
    }
    return EventSet(bits);
}

bool EventSet::Has(std::uint32_t eventId) const { return (bits_ & BitOf(eventId)) != 0; }

}  // namespace kestrel
