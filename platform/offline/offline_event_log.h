#pragma once
// The event-log service over exported logs: a folder with one sub-folder per
// computer, each holding that computer's logs as <log>.evtx (names compared
// without regard to case). It answers as the live service does: an unknown
// computer is unreachable (1722), a missing log is a missing file (2), and a
// read hands out whole records newest first in the EVENTLOGRECORD layout.
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/error_service.h"
#include "platform/event_log_service.h"
#include "platform/offline/evtx_reader.h"

namespace kestrel {

class OfflineEventLog final : public EventLogService {
public:
    OfflineEventLog(ErrorService& errors, std::filesystem::path folder);
    ~OfflineEventLog() override;

    Handle Open(const char* uncServerName, const char* logName) override;
    bool Read(Handle log, std::uint32_t flags, std::uint32_t recordOffset, void* buffer,
              std::uint32_t bufferSize, std::uint32_t& bytesRead,
              std::uint32_t& minBytesNeeded) override;
    void Close(Handle log) override;

private:
    struct OpenLog;
    ErrorService& errors_;
    std::filesystem::path folder_;
    std::mutex mutex_;
    std::set<OpenLog*> open_;
};

// One record in the EVENTLOGRECORD layout: the fixed part, source and computer
// names, the insertion strings, the data, and the length again at the end.
void EncodeEventLogRecord(const evtx::Event& event, std::vector<unsigned char>& out);

// Byte-string names equal without regard to the case of ASCII letters; the
// bytes of a double-byte character are compared as they are.
bool SameNameIgnoringCase(const std::string& a, const std::string& b);

}  // namespace kestrel
