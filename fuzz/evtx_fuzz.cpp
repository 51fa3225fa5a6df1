// The .evtx reader over any bytes: taken as a whole file when they begin like
// one, otherwise as a chunk behind a file header. Every record found is read
// and laid out as the event-log service hands it on.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/offline/evtx_reader.h"
#include "platform/offline/offline_event_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<unsigned char> file;
    if (size >= 8 && std::memcmp(data, "ElfFile", 8) == 0) {
        file.assign(data, data + size);
    } else {
        file.assign(4096, 0);
        std::memcpy(file.data(), "ElfFile", 8);
        file.insert(file.end(), data, data + size);
    }
    kestrel::evtx::File log;
    if (!log.Open(file.data(), file.size())) return 0;
    kestrel::evtx::Event event;
    std::vector<unsigned char> record;
    for (std::size_t i = 0; i < log.RecordCount(); ++i) {
        if (log.Read(i, event)) kestrel::EncodeEventLogRecord(event, record);
    }
    return 0;
}
