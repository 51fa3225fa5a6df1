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
            const auto s = ReadEventDetails(e, d) ? pairing.Add(d, kept) : std::nullopt;
            if (!s) continue;
            std::string text =
                std::string(s->logon->user) + ' ' + (s->end ? std::to_string(s->end->recordId) : "-");
            // Administrator's, and disconnects/reconnects with the last disconnect's record.
            if (s->admin) text += " admin";
            if (s->disconnects + s->reconnects > 0) {
                text += ' ' + std::to_string(s->disconnects) + '/' + std::to_string(s->reconnects) + ' ' +
                        (s->lastDisconnect ? std::to_string(s->lastDisconnect->recordId) : "-");
            }
            sessions.push_back(text);
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

// A 4672 written with its logon makes an administrator's session; Remote
// Desktop's disconnects (4779) and reconnects (4778) count in the session of
// their logon ID, the newest disconnect its last.
TEST(SessionPairing, AdministratorsAndRemoteDesktop) {
    const auto privileges = [](std::uint32_t record, const char* id, std::uint32_t utc) {
        return Event(4672, record, {"S-1-5-21-1", "admin", "KESTREL", id, "SeDebugPrivilege"}, utc);
    };
    const auto remote = [](std::uint32_t event, std::uint32_t record, std::uint32_t utc) {
        return Event(event, record, {"admin", "KESTREL", "0x500", "RDP-Tcp#3", "HOME", "198.51.100.7"}, utc);
    };
    EXPECT_EQ(Sessions({{
                            Logoff(4634, 90, "0x500", kMoment + 1000), remote(4778, 85, kMoment + 900),
                            remote(4779, 80, kMoment + 800), remote(4779, 70, kMoment + 500),
                            privileges(61, "0x500", kMoment), Logon(60, "admin", "0x500"),
                            privileges(41, "0x400", kMoment - 57),  // 3 s after its logon: not at it
                            Logon(40, "late", "0x400", "10", kMoment - 60),
                            Logon(30, "plain", "0x300", "10", kMoment - 100),
                            privileges(21, "0x200", kMoment - 200),  // a logon ID of this computer's past
                        },
                        {Logon(20, "other", "0x200", "10", kMoment - 200)}}),
              (std::vector<std::string>{"admin 90 admin 2/1 80", "late -", "plain -", "other -"}));
}

}  // namespace
}  // namespace kestrel::testing
