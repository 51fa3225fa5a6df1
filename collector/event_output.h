#pragma once
// What kestrel-collect writes for the events of a run: rows, sessions or a
// summary, as CSV or JSON lines. Each reading job has its own output object;
// text goes into the job's buffer, which the run writes out in list order.
#include <array>
#include <cstddef>
#include <string>

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
    // table kept the event, and is null when it dropped it.
    virtual void Event(const LogEvent& event, const TableRow* row, std::string& out) = 0;
};

}  // namespace kestrel
