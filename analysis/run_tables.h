#pragma once
// The sessions and the summary of a run, as the window lists them, built from
// the events the run kept by the same rules as kestrel-collect's --sessions
// and --summary. A run is followed as it goes: each update reads only the
// events kept since the one before.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/logon_summary.h"
#include "analysis/session_pairing.h"
#include "engine/event_store.h"

namespace kestrel {

// A cell as a list shows it, and for numbers and times the value it sorts by.
struct TableCell {
    std::string text;
    std::optional<std::int64_t> key;
};
using TableLine = std::vector<TableCell>;

class RunTables {
public:
    // Reads the events kept since the last update. The store must be the one
    // of the last update, grown, or another one: then all begins again.
    void Update(const EventStore& events);

    // Whether a run keeps an event that makes no row: a logon that opens no
    // row or a user's logoff (4647), which end or take a session; a 4672 or
    // a Remote Desktop event (4778, 4779), which mark one; a domain
    // controller's failure (4771, 4776) or lockout (4740) for the summary.
    static bool KeepsWithoutRow(std::uint32_t eventId);

    static const std::vector<const char*>& SessionHeadings();
    static const std::vector<const char*>& SummaryHeadings();

    // Each logon kept in the table, with its end; computers in list order,
    // each newest logon first.
    const std::vector<TableLine>& Sessions() const { return sessions_; }
    // Per computer and account; then the warnings, each one sentence naming
    // the events it counted, and a "ロックアウト:" line for each lockout.
    std::vector<TableLine> SummaryLines() const;
    std::vector<std::string> Warnings(const SummaryThresholds& thresholds) const;

private:
    void Read(const EventStore& events, std::size_t index);

    const EventStore* store_ = nullptr;
    std::size_t read_ = 0;      // events read
    std::size_t computer_ = 0;  // computers begun
    SessionPairing pairing_;
    LogonSummary summary_;
    std::vector<TableLine> sessions_;
    RebuiltEvent event_;
};

}  // namespace kestrel
