#pragma once
// A row as one JSON object a line in the Elastic Common Schema, with the
// field names and event actions that Elasticsearch's Windows security
// dashboards and detection rules read: event.*, user.*, source.*, related.*
// and, for what ECS has no field for, winlog.* with the event's data under
// its own field names.
#include <string>

#include "analysis/event_details.h"
#include "collector/event_output.h"

namespace kestrel {

class EcsRowOutput final : public EventOutput {
public:
    // channel: the log's name as winlog.channel gives it ("Security").
    // messages: the event's message text as message.
    EcsRowOutput(std::string channel, bool messages) : channel_(std::move(channel)), messages_(messages) {}

    void BeginComputer(std::size_t, const std::string& computer) override { computer_ = computer; }
    using EventOutput::Event;
    void Event(const LogEvent& event, const TableRow* row, const EventDetails* details,
               std::string& out) override;

private:
    std::string channel_;
    bool messages_;
    std::string computer_;
    EventDetails details_;
};

// "2024-03-15T00:21:42Z".
void AppendUtcTime(std::int64_t utc, std::string& out);

// An IPv4 or IPv6 address as an ECS ip field takes it (no zone, no port).
bool IsIpAddress(std::string_view text);

}  // namespace kestrel
