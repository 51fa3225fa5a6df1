// Logon sessions paired from events fed newest first, a computer at a time.
#include "analysis/session_pairing.h"

#include <gtest/gtest.h>

#include "collector/row_capture.h"
#include "engine/classification.h"
#include "tests/native/security_events.h"

namespace kestrel::testing {
namespace {

// Each session as "user end-record", "user -" without a known end.
std::vector<std::string> Sessions(std::vector<std::vector<Event>> computers) {
    RowCapture capture;
    EventClassifier classifier(capture);
    SessionPairing pairing;
    std::vector<std::string> sessions;
    EventDetails d;
    for (std::vector<Event>& newestFirst : computers) {
        pairing.BeginComputer();
        for (Event& event : newestFirst) {
            const LogEvent e = event.Get();
            const bool kept = classifier.InsertEventMessage(e) == 1;
            if (const auto s = ReadEventDetails(e, d) ? pairing.Add(d, kept) : std::nullopt)
                sessions.push_back(std::string(s->logon->user) + ' ' +
                                   (s->end ? std::to_string(s->end->recordId) : "-"));
        }
    }
    return sessions;
}

TEST(SessionPairing, ServiceLogonsOpenNoSessionButTakeTheirId) {
    EXPECT_EQ(Sessions({{
                  Logoff(4634, 30, "0x3e7", kMoment + 100), Logon(20, "SYSTEM", "0x3e7"),
                  Logon(10, "system", "0x3e7"),  // kept: the table compares case-sensitively
              }}),
              std::vector<std::string>{"system -"});
}

TEST(SessionPairing, LogonIdsAreEachComputersOwn) {
    EXPECT_EQ(Sessions({
                  {Logoff(4634, 50, "0x200", kMoment + 100)},  // its logon is before the window
                  {Logoff(4647, 60, "0x300", kMoment + 100), Failed("0xc000006d", "0xc000006a"),
                   Logon(40, "sato", "0x300"), Logon(20, "suzuki", "0x200")},
              }),
              (std::vector<std::string>{"sato 60", "suzuki -"}));
}

}  // namespace
}  // namespace kestrel::testing
