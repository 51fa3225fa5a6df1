#pragma once
// A row as a JSON line that Timesketch imports as it is: its own message,
// datetime, timestamp and timestamp_desc, then the keys of --format jsonl,
// each keeping one JSON type from line to line (a text without a value is
// "", a number without one leaves its key out), since Timesketch fixes a
// key's type at the first line that has it.
#include <string>

#include "analysis/event_details.h"
#include "collector/event_output.h"
#include "collector/row_output.h"

namespace kestrel {

class TimesketchRowOutput final : public EventOutput {
public:
    // messages: the event's message text as event_message, message being
    // the line's own.
    explicit TimesketchRowOutput(bool messages) : messages_(messages) {}

    void BeginComputer(std::size_t index, const std::string& computer) override {
        computer_ = computer;
        keys_.BeginComputer(index, computer);
    }
    using EventOutput::Event;
    void Event(const LogEvent& event, const TableRow* row, const EventDetails* details,
               std::string& out) override;

    // The CP932 line a timeline shows: "ログオン失敗 admin@PC01 from
    // 203.0.113.9 (パスワードが違います)".
    static void AppendMessage(const EventDetails& details, const std::string& computer, std::string& out);

private:
    bool messages_;
    std::string computer_;
    JsonRowOutput keys_{false, JsonAbsent::Typed};
    EventDetails details_;
    std::string message_;
};

}  // namespace kestrel
