// BM_EvtxRead: everything an EVENTLOGRECORD carries, extracted from every
// record of security.evtx held in memory (items = records), opening included.
// BM_EvtxReadRecords: the same from a file opened once, templates known.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/offline/evtx_reader.h"

namespace {

std::vector<unsigned char> SecurityLog() {
    const char* shared = std::getenv("KESTREL_SHARED_DIR");
    const std::filesystem::path folder =
        shared != nullptr ? std::filesystem::path(shared)
                          : std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "shared";
    std::ifstream in(folder / "evtx" / "security.evtx", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void BM_EvtxRead(benchmark::State& state) {
    static const std::vector<unsigned char> bytes = SecurityLog();
    if (bytes.empty()) {
        state.SkipWithError("security.evtx not found (set KESTREL_SHARED_DIR)");
        return;
    }
    kestrel::evtx::Event event;
    std::size_t records = 0;
    for (auto _ : state) {
        kestrel::evtx::File file;  // a fresh file each time: templates are parsed anew
        file.Open(bytes.data(), bytes.size());
        for (std::size_t i = 0; i < file.RecordCount(); ++i) {
            if (file.Read(i, event)) ++records;
        }
        benchmark::DoNotOptimize(event.strings.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(records));
}
BENCHMARK(BM_EvtxRead)->Unit(benchmark::kMillisecond);

void BM_EvtxReadRecords(benchmark::State& state) {
    static const std::vector<unsigned char> bytes = SecurityLog();
    kestrel::evtx::File file;
    if (bytes.empty() || !file.Open(bytes.data(), bytes.size())) {
        state.SkipWithError("security.evtx not found (set KESTREL_SHARED_DIR)");
        return;
    }
    kestrel::evtx::Event event;
    std::size_t records = 0;
    for (auto _ : state) {
        for (std::size_t i = 0; i < file.RecordCount(); ++i) {
            if (file.Read(i, event)) ++records;
        }
        benchmark::DoNotOptimize(event.strings.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(records));
}
BENCHMARK(BM_EvtxReadRecords)->Unit(benchmark::kMillisecond);

}  // namespace
