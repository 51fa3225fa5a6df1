#pragma once
// Which events a run reads: the table's logons, failed logons and logoffs, or
// those and the events around them that a domain controller, an
// administrator's logon or a Remote Desktop session writes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// Every event a set can hold, the table's three first.
inline constexpr std::uint16_t kReadableEvents[] = {4624, 4625, 4634, 4648, 4672, 4740,
                                                    4768, 4769, 4771, 4776, 4778, 4779};

class EventSet {
public:
    static EventSet Logon();  // 4624, 4625, 4634
    static EventSet All();
    // "logon", "all" or a comma list of readable event IDs; empty, with the
    // message, for anything else.
    static std::optional<EventSet> Parse(std::string_view text, std::string& error);

    bool Has(std::uint32_t eventId) const;
    // Holds an event beyond the table's three.
    bool BeyondLogon() const { return (bits_ & ~kLogonBits) != 0; }

private:
    static constexpr std::uint16_t kLogonBits = 0b111;
    explicit EventSet(std::uint16_t bits) : bits_(bits) {}

    std::uint16_t bits_;  // one for each of kReadableEvents
};

}  // namespace kestrel
