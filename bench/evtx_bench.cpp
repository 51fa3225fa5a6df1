// BM_EvtxRead: everything an EVENTLOGRECORD carries, extracted from every
// record of security.evtx held in memory (items = records), opening included,
// on one thread.
// BM_EvtxReadRecords: the same from chunks read once, templates known.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "evtx/byte_source.h"
#include "evtx/chunk.h"
#include "evtx/log_index.h"
#include "evtx/record_reader.h"

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
    kestrel::evtx::MemoryBytes source(bytes.data(), bytes.size());
    std::size_t records = 0;
    const auto touch = [](const kestrel::evtx::Event& event, std::vector<unsigned char>&) {
        benchmark::DoNotOptimize(event.strings.data());
    };
    for (auto _ : state) {
        kestrel::evtx::RecordReader reader(source, touch, 1);  // templates are parsed anew
        kestrel::evtx::Fault why;
        reader.Open(why);
        const unsigned char* record = nullptr;
        std::size_t size = 0;
        std::uint64_t id = 0;
        while (reader.Next(record, size, id)) ++records;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(records));
}
BENCHMARK(BM_EvtxRead)->Unit(benchmark::kMillisecond);

void BM_EvtxReadRecords(benchmark::State& state) {
    static const std::vector<unsigned char> bytes = SecurityLog();
    kestrel::evtx::MemoryBytes source(bytes.data(), bytes.size());
    kestrel::evtx::LogIndex index;
    kestrel::evtx::Fault why;
    if (bytes.empty() || !index.Open(source, kestrel::evtx::Order::NewestFirst, why)) {
        state.SkipWithError("security.evtx not found (set KESTREL_SHARED_DIR)");
        return;
    }
    std::vector<std::unique_ptr<kestrel::evtx::Chunk>> chunks;
    kestrel::evtx::PassedOver passed;
    for (const kestrel::evtx::ChunkInfo& info : index.Chunks()) {
        chunks.push_back(std::make_unique<kestrel::evtx::Chunk>());
        source.ReadAt(info.fileOffset, chunks.back()->Reset(info.fileOffset, info.size), info.size);
        chunks.back()->Scan(passed);
    }
    kestrel::evtx::DecodeScratch scratch;
    kestrel::evtx::Event event;
    std::size_t records = 0;
    for (auto _ : state) {
        for (auto& chunk : chunks) {
            for (const kestrel::evtx::RecordRef& record : chunk->Records()) {
                if (chunk->Read(record, scratch, event, why)) ++records;
            }
        }
        benchmark::DoNotOptimize(event.strings.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(records));
}
BENCHMARK(BM_EvtxReadRecords)->Unit(benchmark::kMillisecond);

}  // namespace
