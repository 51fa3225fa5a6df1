// The .evtx reader over any bytes: taken as a whole file when they begin like
// one, otherwise as chunks behind a file header. Every record found is read,
// newest first and oldest first, and laid out as the event-log service hands
// it on; whatever is passed over must carry its reason.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "evtx/byte_source.h"
#include "evtx/record_reader.h"
#include "platform/offline/offline_event_log.h"

namespace {

void ReadAll(kestrel::evtx::ByteSource& source, kestrel::evtx::Order order) {
    kestrel::evtx::RecordReader reader(source, kestrel::EncodeEventLogRecord, 1, order);
    kestrel::evtx::Fault why;
    if (!reader.Open(why)) return;
    const unsigned char* bytes = nullptr;
    std::size_t size = 0;
    std::uint64_t id = 0;
    while (reader.Next(bytes, size, id)) {
        std::uint32_t length = 0;
        std::memcpy(&length, bytes, sizeof length);
        if (length != size) std::abort();
    }
    for (const kestrel::evtx::Fault& fault : reader.Passed().Kept()) {
        if (fault.reason == kestrel::evtx::Reason::None) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<unsigned char> file;
    if (size >= 8 && std::memcmp(data, "ElfFile", 8) == 0) {
        file.assign(data, data + size);
    } else {
        file.assign(4096, 0);
        std::memcpy(file.data(), "ElfFile", 8);
        file.insert(file.end(), data, data + size);
    }
    kestrel::evtx::MemoryBytes source(file.data(), file.size());
    ReadAll(source, kestrel::evtx::Order::NewestFirst);
    ReadAll(source, kestrel::evtx::Order::OldestFirst);
    return 0;
}
