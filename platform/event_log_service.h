#pragma once
// The event-log service: OpenEventLogA, ReadEventLogA, CloseEventLog.
// Failures leave their reason in the calling thread's last error.
#include <cstdint>

#include "evtx/fault.h"

namespace kestrel {

class EventLogService {
public:
    using Handle = void*;

    virtual ~EventLogService() = default;

    // Null on failure.
    virtual Handle Open(const char* uncServerName, const char* logName) = 0;

    // On success bytesRead holds the number of bytes of whole records written to
    // buffer. On failure with ERROR_INSUFFICIENT_BUFFER, minBytesNeeded holds the
    // size the next record needs.
    virtual bool Read(Handle log, std::uint32_t flags, std::uint32_t recordOffset, void* buffer,
                      std::uint32_t bufferSize, std::uint32_t& bytesRead, std::uint32_t& minBytesNeeded) = 0;

    virtual void Close(Handle log) = 0;

    // The damaged stretches of the log that the reads so far passed over,
    // each with its reason and place. The live service hands on what Windows
    // gives and passes nothing over; exported logs are read by our own reader.
    virtual evtx::PassedOver DamagePassedOver(Handle /*log*/) { return {}; }
};

}  // namespace kestrel
