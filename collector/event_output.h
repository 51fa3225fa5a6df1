#pragma once
// What kestrel-collect writes for the events of a run: rows, sessions or a
// summary, as CSV or JSON lines. Each reading job has its own output object;
// text goes into the job's buffer, which the run writes out in list order.
#include <array>
#include <cstddef>
#include <string>

#include "analysis/event_details.h"
#include "engine/log_event.h"

namespace kestrel {

// A row's texts by the table's columns; column 0, the icon's, holds none.
using TableRow = std::array<std::string, 8>;

class EventOutput {
public:
    virtual ~EventOutput() = default;
    // Before a computer's log is read. index: its place in the list.
    virtual void BeginComputer(std::size_t index, const std::string& computer) = 0;
    // Every event the reader hands on; row holds the table's texts when the
    // table kept the event, and is null when it dropped it. details: the
    // event's details when the job has read them already, so that they are
    // read once; null when not, and the output reads them if it needs them.
    virtual void Event(const LogEvent& event, const TableRow* row, const EventDetails* details,
                       std::string& out) = 0;
    // The same, the details not read yet.
    void Event(const LogEvent& event, const TableRow* row, std::string& out) {
        Event(event, row, nullptr, out);
    }

protected:
    // The details given, or else the event's own read into `into`; null when
    // it has none.
    static const EventDetails* DetailsOf(const LogEvent& event, const EventDetails* details,
                                         EventDetails& into) {
        if (details != nullptr) return details;
        return ReadEventDetails(event, into) ? &into : nullptr;
    }
};

}  // namespace kestrel
