#pragma once
// One line a row of the table: CSV with the table's columns (and, with
// details, where the logon came from and why it failed), or a JSON object.
#include "analysis/event_details.h"
#include "collector/csv_line.h"
#include "collector/event_output.h"
#include "collector/output_text.h"

namespace kestrel {

class CsvRowOutput final : public EventOutput {
public:
    CsvRowOutput(TextConverter convert, bool details, const CsvStyle& style = kCollectorCsv)
        : convert_(convert), style_(style), detailed_(details) {}

    // The heading line.
    static void AppendHeader(TextConverter convert, bool details, std::string& out);

    void BeginComputer(std::size_t, const std::string& computer) override { computer_ = computer; }
    void Event(const LogEvent& event, const std::array<std::string, 8>* row, std::string& out) override;

private:
    TextConverter convert_;
    CsvStyle style_;
    bool detailed_;
    std::string computer_;
    EventDetails details_;
    std::string field_;
};

class JsonRowOutput final : public EventOutput {
public:
    void BeginComputer(std::size_t, const std::string& computer) override { computer_ = computer; }
    void Event(const LogEvent& event, const std::array<std::string, 8>* row, std::string& out) override;

private:
    std::string computer_;
    EventDetails details_;
    std::string field_;
};

}  // namespace kestrel
