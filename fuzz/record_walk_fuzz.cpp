// The reader's walk over batches of event records that another computer sent.
// The first byte picks the window and type options; the rest is split into
// batches at 0xFE 0xFE 0xFE 0xFE markers and served newest first.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/log_reader.h"
#include "tests/fakes/fake_platform.h"

using namespace kestrel;
using namespace kestrel::testing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t options = data[0];
    ++data;
    --size;

    FakePlatform platform;
    auto& log = platform.eventLog.At("\\\\pc");
    static constexpr std::uint8_t kMarker[] = {0xFE, 0xFE, 0xFE, 0xFE};
    std::size_t start = 0;
    for (std::size_t i = 0; i + 4 <= size; ++i) {
        if (std::memcmp(data + i, kMarker, 4) == 0) {
            log.rawBatches.emplace_back(data + start, data + i);
            start = i + 4;
            i += 3;
        }
    }
    log.rawBatches.emplace_back(data + start, data + size);

    CollectJob job;
    job.FromLogStart = options & 1;
    job.ToLogEnd = (options >> 1) & 1;
    job.FromTime = 1300000000;
    job.ToTime = 1400000000;
    std::string report;
    MemoryResultTable table;
    table.recordCalls = false;
    EventClassifier classifier(table);
    LogReader reader(platform.Services(), job, report, classifier);
    reader.ReadLog("pc", "security", (options >> 2) & 0x1F);
    return 0;
}
