// ReadLog and InsertEventMessage over realistic batches into an in-memory table.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "engine/log_reader.h"
#include "platform/native/native_messages.h"
#include "platform/native/native_services.h"
#include "platform/win32_errors.h"
#include "tests/fakes/fake_services.h"

namespace kestrel::testing {
namespace {

// Serves the same prepared batches on every open, then the end of the log.
class BatchLog final : public EventLogService {
public:
    BatchLog(ErrorService& errors, const std::vector<std::vector<unsigned char>>& batches)
        : errors_(errors), batches_(batches) {}
    Handle Open(const char*, const char*) override {
        next_ = 0;
        return this;
    }
    bool Read(Handle, std::uint32_t, std::uint32_t, void* buffer, std::uint32_t size,
              std::uint32_t& bytesRead, std::uint32_t&) override {
        if (next_ == batches_.size()) {
            errors_.SetLastError(kErrorHandleEof);
            return false;
        }
        const auto& batch = batches_[next_++];
        std::memcpy(buffer, batch.data(), std::min<std::size_t>(batch.size(), size));
        bytesRead = static_cast<std::uint32_t>(batch.size());
        return true;
    }
    void Close(Handle) override {}

private:
    ErrorService& errors_;
    const std::vector<std::vector<unsigned char>>& batches_;
    std::size_t next_ = 0;
};

// About 700 bytes and 21 insertion strings a record; every third record a
// logon, failed logon or logoff; one record every four seconds, newest first.
std::vector<std::vector<unsigned char>> MakeBatches(std::time_t newest, int count, std::size_t& records) {
    static constexpr std::uint32_t kIds[] = {4624, 4672, 4688, 4625, 4648, 4672, 4634, 4688, 5156};
    std::vector<std::vector<unsigned char>> batches(1);
    records = 0;
    for (int i = 0; i < count; ++i) {
        RecordShape shape;
        shape.timeGenerated = static_cast<std::uint32_t>(newest - 4 * i);
        shape.eventId = kIds[i % 9];
        shape.eventType = shape.eventId == 4625 ? kEventTypeAuditFailure : kEventTypeAuditSuccess;
        for (int s = 0; s < 21; ++s) {
            std::string sid = "S-1-5-21-3623811015-3361044348-";
            sid += std::to_string(s);
            shape.strings.push_back(sid);
        }
        shape.strings[5] = "user";
        shape.strings[5] += std::to_string(i % 50);
        shape.strings[6] = "CONTOSO";
        shape.strings[8].assign(1, '3');  // not = "3": GCC 12 warns wrongly at -O3
        shape.strings[20] = std::string(80, 'x');
        const auto record = BuildRecord(shape);
        if (batches.back().size() + record.size() > kInitialReadBufferSize) batches.emplace_back();
        batches.back().insert(batches.back().end(), record.begin(), record.end());
        ++records;
    }
    return batches;
}

void BM_ReadLog(benchmark::State& state) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    HeapMemory memory;
    NativeErrors errors;
    NativeSystemTime systemTime(errors);
    FakeFatalStop fatal;
    const std::time_t newest = 1370077507;  // 2013-06-01
    std::size_t records = 0;
    const auto batches = MakeBatches(newest, 20000, records);
    BatchLog log(errors, batches);
    // The source is not registered here, as for the Linux collector: every
    // kept record asks the registry and falls back.
    NoRegistry registry;
    NoMessageModules modules(errors);
    const ReaderServices services{log, memory, errors, systemTime, fatal, registry, modules};
    CollectJob job;
    job.FromTime = newest - 30 * 86400;
    job.ToTime = newest;
    std::string report;
    MemoryResultTable table;
    table.recordCalls = false;
    EventClassifier classifier(table);
    LogReader reader(services, job, report, classifier);

    for (auto _ : state) {
        table.rows.clear();
        benchmark::DoNotOptimize(reader.ReadLog("pc01", "security", 0x18));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * records));
    state.counters["rows"] = static_cast<double>(table.rows.size());
    state.counters["bytes_per_record"] =
        static_cast<double>(batches[0].size()) / static_cast<double>(batches[0].size() / 700);
}
BENCHMARK(BM_ReadLog)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kestrel::testing
