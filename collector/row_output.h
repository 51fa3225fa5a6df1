#pragma once
// One line a row of the table: CSV with the table's columns (and, with
// details, where the logon came from and why it failed), or a JSON object.
#include "analysis/event_details.h"
#include "collector/csv_line.h"
#include "collector/event_output.h"
#include "collector/json_text.h"
#include "collector/output_text.h"

namespace kestrel {

class CsvRowOutput final : public EventOutput {
public:
    // messages: with details, the event's message text in a last column.
    CsvRowOutput(TextConverter convert, bool details, const CsvStyle& style = kCollectorCsv,
                 bool messages = false)
        : convert_(convert), style_(style), detailed_(details), messages_(messages) {}

    // The heading line.
    static void AppendHeader(TextConverter convert, bool details, std::string& out, bool messages = false);

    void BeginComputer(std::size_t, const std::string& computer) override { computer_ = computer; }
    using EventOutput::Event;
    void Event(const LogEvent& event, const TableRow* row, const EventDetails* details,
               std::string& out) override;

private:
    TextConverter convert_;
    CsvStyle style_;
    bool detailed_;
    bool messages_;
    std::string computer_;
    EventDetails details_;
    std::string field_;
};

class JsonRowOutput final : public EventOutput {
public:
    // messages: a last key, message, with the event's message text.
    // absent: how a key without a value is written.
    explicit JsonRowOutput(bool messages = false, JsonAbsent absent = JsonAbsent::Null)
        : messages_(messages), absent_(absent) {}

    void BeginComputer(std::size_t, const std::string& computer) override { computer_ = computer; }
    using EventOutput::Event;
    void Event(const LogEvent& event, const TableRow* row, const EventDetails* details,
               std::string& out) override;

    // What Event writes between the braces of a row's object.
    void AppendRowKeys(const LogEvent& event, const EventDetails& details, std::string& out);

private:
    void AppendLogonKeys(const EventDetails& details, std::string& out);

    bool messages_;
    JsonAbsent absent_;
    std::string computer_;
    EventDetails details_;
    std::string field_;
};

}  // namespace kestrel
