#pragma once
// The events a run handed on, kept in little memory for as long as their rows
// are shown: every text is kept once in a pool however many events share it
// (a domain, a SID, "-"), and an event keeps only numbers and places in the
// pool. An event can be had back whole as a LogEvent with its record rebuilt,
// for its details, its message text and the analyses of the run.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/log_event.h"

namespace kestrel {

// A kept event as it was handed on, in a record of its own whose insertion
// strings are the handed-on ones: the message step, run on it again, finds
// no parameter left to put in and formats the same text.
class RebuiltEvent {
public:
    RebuiltEvent() = default;
    // The event points into its own members.
    RebuiltEvent(const RebuiltEvent&) = delete;
    RebuiltEvent& operator=(const RebuiltEvent&) = delete;

    const LogEvent& Event() const { return *event_; }
    const EventLogRecord& Record() const { return *reinterpret_cast<const EventLogRecord*>(record_.data()); }
    const char* TimeText() const { return timeText_; }

private:
    friend class EventStore;
    std::vector<std::uint64_t> record_;  // whole words, so that the record is aligned
    InsertionTable strings_{};
    std::string computer_, source_, log_, origin_;
    char timeText_[22] = {};
    char message_[1] = {};
    std::optional<LogEvent> event_;
};

class EventStore {
public:
    // Before the events of the next computer of the run's list.
    void BeginComputer() { computerStarts_.push_back(static_cast<std::uint32_t>(events_.size())); }
    // Keeps the event; row is the table row it became, or -1.
    void Add(const LogEvent& event, int row);
    void Clear();

    // Where each computer's events begin, in the run's order.
    const std::vector<std::uint32_t>& ComputerStarts() const { return computerStarts_; }

    std::size_t Count() const { return events_.size(); }
    int RowOf(std::size_t index) const { return events_[index].row; }
    // The event that became row, if one did.
    std::optional<std::size_t> EventOfRow(int row) const;

    // Event index as it was handed on, into `out`, its message empty.
    void Rebuild(std::size_t index, RebuiltEvent& out) const;

    // What the store holds on the heap, for the memory figures.
    std::size_t Bytes() const;

private:
    using Text = std::uint32_t;  // where a text starts in the pool
    struct Kept {
        std::uint32_t recordNumber, timeGenerated, eventId;
        std::int32_t utcOffset;  // of the time text
        std::uint16_t eventType;
        Text computer, source, origin;
        std::uint32_t firstString;  // into strings_, up to the next event's
        std::int32_t row;
    };

    Text Intern(std::string_view text);
    std::string_view TextAt(Text text) const { return pool_.c_str() + text; }
    std::size_t StringsEnd(std::size_t index) const;

    std::vector<Kept> events_;
    std::vector<Text> strings_;             // the handed-on strings of each event in turn
    std::vector<std::uint32_t> rowEvents_;  // by row
    std::vector<std::uint32_t> computerStarts_;
    std::string log_;
    // NUL-ended texts, found again through an open-addressed table of their
    // places (kEmpty where free), kept at most half full.
    std::string pool_;
    std::vector<Text> slots_;
    std::size_t texts_ = 0;
};

}  // namespace kestrel
