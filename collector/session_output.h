#pragma once
// Logon sessions as CSV or JSON lines, one a session as its logon is read.
#include <optional>

#include "analysis/event_details.h"
#include "analysis/session_pairing.h"
#include "collector/csv_line.h"
#include "collector/event_output.h"
#include "collector/output_text.h"

namespace kestrel {

class SessionOutput final : public EventOutput {
public:
    // json: JSON lines; otherwise CSV through convert, fields in style.
    // marked: administrator's sessions and Remote Desktop's disconnects and
    // reconnects in four more fields (4672, 4778 and 4779 are read).
    SessionOutput(bool json, TextConverter convert, const CsvStyle& style = kCollectorCsv,
                  bool marked = false)
        : json_(json), marked_(marked), convert_(convert), style_(style) {}

    static void AppendHeader(TextConverter convert, std::string& out, bool marked = false);

    void BeginComputer(std::size_t, const std::string& computer) override;
    using EventOutput::Event;
    void Event(const LogEvent& event, const TableRow* row, const EventDetails* details,
               std::string& out) override;

private:
    void Write(const LogonSession& session, std::string& out);
    void WriteMarks(const LogonSession& session, std::string& out);

    bool json_;
    bool marked_;
    TextConverter convert_;
    CsvStyle style_;
    std::string computer_;
    SessionPairing pairing_;
    EventDetails details_;
};

}  // namespace kestrel
