#pragma once
// Logon sessions: each logon the table keeps, with the logoff that ended it.
// Records come newest first, so a logon's logoff has been read before the
// logon itself: each session is complete, and written, when its logon is read.
#include <cstdint>
#include <unordered_map>

#include "collector/csv_line.h"
#include "collector/event_details.h"
#include "collector/event_output.h"
#include "collector/output_text.h"

namespace kestrel {

class SessionOutput final : public EventOutput {
public:
    // json: JSON lines; otherwise CSV through convert, fields in style.
    SessionOutput(bool json, TextConverter convert, const CsvStyle& style = kCollectorCsv)
        : json_(json), convert_(convert), style_(style) {}

    static void AppendHeader(TextConverter convert, std::string& out);

    void BeginComputer(std::size_t, const std::string& computer) override;
    void Event(const LogEvent& event, const std::array<std::string, 8>* row, std::string& out) override;

private:
    struct Logoff {
        std::uint32_t recordId;
        std::uint16_t eventId;
        std::int32_t utcOffset;
        std::int64_t utc;
    };

    void Write(const EventDetails& logon, const Logoff* end, std::string& out);

    bool json_;
    TextConverter convert_;
    CsvStyle style_;
    std::string computer_;
    // The oldest logoff read so far of each logon ID whose logon has not been
    // read yet. A logon takes its entry away: an older logon with the same ID
    // (the ID was used again after a restart) has no known end.
    std::unordered_map<std::uint64_t, Logoff> logoffs_;
    EventDetails details_;
};

}  // namespace kestrel
