#include "engine/event_store.h"

#include <gtest/gtest.h>

#include "engine/log_reader.h"
#include "engine/message_text.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/output_checks.h"
#include "tests/native/test_time_zone.h"

namespace kestrel::testing {
namespace {

// What an event is handed on with, as one text.
std::string Handed(const LogEvent& e) {
    std::string text = std::string(e.computer) + "|" + e.source + "|" + e.timeText + "|" +
                       std::to_string(e.eventId) + "|" + std::to_string(e.record.RecordNumber);
    for (std::size_t i = 0; i < e.record.NumStrings; ++i) text.append("|").append(e.strings[i]);
    return text;
}

// A run keeps what it handed on; each event comes back the same, and its
// message text, worked out again with the same modules, is the run's.
TEST(EventStore, EventsComeBackAsHandedOnWithTheRunsMessageText) {
    TimeZone zone("Europe/Berlin");
    FakePlatform p;
    p.registry.SetText("SYSTEM\\CurrentControlSet\\Services\\EventLog\\security\\Src", "EventMessageFile",
                       "C:\\msg.dll");
    p.registry.SetText("SYSTEM\\CurrentControlSet\\Services\\EventLog\\security\\Src", "ParameterMessageFile",
                       "C:\\param.dll");
    p.modules.files["\\\\pc01\\C$\\msg.dll"].messages[4624] = "%6 of %7, type %9";
    p.modules.files["\\\\pc01\\C$\\param.dll"].messages[1833] = "はい";
    struct Event {
        const char* source;
        std::uint32_t id;
        std::time_t when;
        std::vector<std::string> strings;
    };
    // Newest first, across the night daylight saving began.
    const std::vector<Event> events = {
        {"Src",
         4624,
         Local(2013, 3, 31, 3, 0, 1),
         {"S-1-5-18", "PC01$", "", "0x3e7", "", "alice", "%%1833", "", "3"}},
        {"Other", 4647, Local(2013, 3, 31, 1, 59, 59), {"S-1-5-21", "bob", "DOM", "0x1234"}},
        {"Src", 4624, Local(2013, 3, 30, 9), {"", "", "", "", "", "SYSTEM", "NT AUTHORITY", "0x3e7", "5"}},
        {"Other", 4634, Local(2013, 3, 30, 8), {"S-1-5-21", "bob", "DOM", "0x1234", "2"}},
    };
    std::uint32_t number = 100;
    for (const Event& e : events) {
        RecordShape shape;
        shape.source = e.source;
        shape.eventId = e.id;
        shape.recordNumber = number--;
        shape.timeGenerated = static_cast<std::uint32_t>(e.when);
        shape.strings = e.strings;
        p.eventLog.At("\\\\pc01").records.push_back(BuildRecord(shape));
    }

    EventStore store;
    std::vector<std::string> handed, messages;
    MemoryResultTable table;
    EventClassifier classifier(table);
    CollectJob job;
    job.FromLogStart = job.ToLogEnd = 1;
    std::string report;
    LogReader reader(p.Services(), job, report, [&](const LogEvent& event) {
        const int rows = table.ItemCount();
        store.Add(event, classifier.InsertEventMessage(event) == 1 ? rows : -1);
        handed.push_back(Handed(event));
        messages.push_back(event.message);
    });
    ASSERT_EQ(reader.ReadLog("pc01", "security", 0x18), ReadDone);
    ASSERT_EQ(handed.size(), 4u);
    EXPECT_EQ(messages[0], "alice of はい, type 3");

    // The service logon and the user's logoff (4647) became no row.
    EXPECT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(store.EventOfRow(0), 0u);
    EXPECT_EQ(store.EventOfRow(1), 3u);
    EXPECT_EQ(store.EventOfRow(2), std::nullopt);
    EXPECT_EQ(store.RowOf(1), -1);
    RebuiltEvent again;
    for (std::size_t i = 0; i < handed.size(); ++i) {
        SCOPED_TRACE(i);
        store.Rebuild(i, again);
        EXPECT_EQ(Handed(again.Event()), handed[i]);
        EXPECT_EQ(MessageTextAgain({p.registry, p.modules, p.memory, p.errors, p.fatal}, again.Event()),
                  messages[i]);
    }
    EXPECT_EQ(p.modules.loaded, 0);
    EXPECT_TRUE(p.memory.live.empty());
}

// Texts that events share are kept once: a run of a site is mostly such texts.
TEST(EventStore, SharedTextsAreKeptOnce) {
    std::vector<std::string> texts = CsvFields(
        "S-1-5-21-1,alice,KESTREL,0x0,S-1-5-21-2,bob,DOM,,3,User32,Negotiate,PC01,"
        "{00000000-0000-0000-0000-000000000000},-,-,0,0x1f4,C:\\Windows\\System32\\svchost.exe,127.0.0.1,0");
    EventLogRecord record{};
    record.NumStrings = static_cast<std::uint16_t>(texts.size());
    InsertionTable strings{};
    EventStore store;
    for (int i = 0; i < 10000; ++i) {
        const std::string logonId = "0x" + std::to_string(100000 + i);
        texts[7] = logonId;
        for (std::size_t k = 0; k < texts.size(); ++k) strings[k] = texts[k].c_str();
        char message[] = "";
        store.Add({record, "\\\\PC01", "Microsoft-Windows-Security-Auditing", message, "security",
                   "2024/03/14 09:00:00  ", 4624, strings},
                  i);
    }
    // The strings' places and the event's numbers, and the one new text.
    EXPECT_LT(store.Bytes() / store.Count(), 240u);
}

}  // namespace
}  // namespace kestrel::testing
