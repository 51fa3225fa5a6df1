// Records per second through the category and message steps with the real
// message module over \\localhost\C$: the cost of loading the modules per
// event. Run under Wine: kestrel_message_timing [records]
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "engine/log_reader.h"
#include "tests/fakes/fake_services.h"
#include "tests/win/messages/message_fixture.h"

using namespace kestrel;
using namespace kestrel::testing;

namespace {

double RecordsPerSecond(EventMessageText& text, const std::string& source, std::uint16_t category,
                        int count) {
    RecordShape shape;
    shape.source = source;
    shape.category = category;
    shape.strings = {"S-1-5-18", "PC01$", "WORKGROUP", "0x3e7", "S-1-5-21-1",
                     "%%1842",   "DOM",   "0x1234",    "2",     "User32"};
    const auto bytes = BuildRecord(shape);
    const auto& record = *reinterpret_cast<const EventLogRecord*>(bytes.data());
    const KeptRecord kept{record, "\\\\localhost", "security", source.c_str(), "2013/06/01 09:05:07  "};
    InsertionTable strings{};
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    for (int round = 0; round < 2; ++round) {  // the first round warms up
        QueryPerformanceCounter(&start);
        for (int i = 0; i < count; ++i) {
            FillInsertionTable(record, strings);
            bool handedOn = false;
            if (text.ResolveCategoryText(kept) != EventMessageText::Step::Done) return 0;
            text.ResolveEventText(kept, strings, handedOn);
        }
        QueryPerformanceCounter(&end);
    }
    const double seconds =
        static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    return count / seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    ModuleOnDriveC module;
    RegisteredSource source(UniqueSourceName("KestrelTiming"));
    if (!module.ok() || !source.ok()) {
        std::fprintf(stderr, "cannot place the module or register the source\n");
        return 1;
    }
    source.Set("CategoryMessageFile", module.path());
    source.Set("ParameterMessageFile", module.path());
    source.Set("EventMessageFile", module.path());

    RealServices services;
    std::string report;
    std::size_t handOns = 0;
    EventMessageText text(services.Services(), report, [&](const LogEvent&) { ++handOns; });

    const double withCategory = RecordsPerSecond(text, source.source(), 3, count);
    const double categoryZero = RecordsPerSecond(text, source.source(), 0, count);
    text.ReleaseCategoryBlock();
    std::printf("records: %d per run, hand-ons: %zu, report bytes: %zu\n", count, handOns, report.size());
    std::printf("category, parameter and event module (3 loads): %.0f records/s\n", withCategory);
    std::printf("parameter and event module, category 0 (2 loads): %.0f records/s\n", categoryZero);
    return report.empty() && handOns == 4u * static_cast<std::size_t>(count) ? 0 : 1;
}
