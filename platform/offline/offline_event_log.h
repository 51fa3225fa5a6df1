#pragma once
// The event-log service over exported logs: a folder with one sub-folder per
// computer, each holding that computer's logs as <log>.evtx (names compared
// without regard to case). It answers as the live service does, except that
// a computer without a folder is a missing path (3) rather than unreachable,
// so that the report says what is missing; a missing log is a missing file
// (2), and a read hands out whole records newest first in the EVENTLOGRECORD
// layout.
// A log is read a chunk at a time, decoded ahead on worker threads.
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "evtx/event.h"
#include "platform/error_service.h"
#include "platform/event_log_service.h"

namespace kestrel {

class OfflineEventLog final : public EventLogService {
public:
    // `decodeThreads` 0: one per core (at most four); 1: decoded by the reading thread.
    OfflineEventLog(ErrorService& errors, std::filesystem::path folder, unsigned decodeThreads = 0);
    ~OfflineEventLog() override;

    Handle Open(const char* uncServerName, const char* logName) override;
    bool Read(Handle log, std::uint32_t flags, std::uint32_t recordOffset, void* buffer,
              std::uint32_t bufferSize, std::uint32_t& bytesRead, std::uint32_t& minBytesNeeded) override;
    void Close(Handle log) override;
    evtx::PassedOver DamagePassedOver(Handle log) override;

private:
    struct OpenLog;
    std::shared_ptr<OpenLog> Find(Handle log);
    // The folder of a computer, from a listing of the log folder made at the
    // first Open: a run of thousands of computers lists it once, not once a
    // computer.
    bool FindComputerFolder(const std::string& computer, std::filesystem::path& found);

    ErrorService& errors_;
    std::filesystem::path folder_;
    unsigned decodeThreads_;
    std::mutex mutex_;
    // Handles are numbers never used twice, so a closed one stays invalid; a
    // reader holds its log alive while a Close on another thread removes it.
    std::map<std::uintptr_t, std::shared_ptr<OpenLog>> open_;
    std::uintptr_t lastHandle_ = 0;
    // By FoldedName; guarded by mutex_.
    std::optional<std::unordered_map<std::string, std::filesystem::path>> computerFolders_;
};

// One record in the EVENTLOGRECORD layout, appended to `out`: the fixed part,
// source and computer names, the insertion strings, the data, and the length
// again at the end.
void EncodeEventLogRecord(const evtx::Event& event, std::vector<unsigned char>& out);

// Byte-string names equal without regard to the case of ASCII letters; the
// bytes of a double-byte character are compared as they are.
bool SameNameIgnoringCase(const std::string& a, const std::string& b);

// The name with its ASCII letters in upper case, double-byte characters as
// they are: equal for names that SameNameIgnoringCase finds the same.
std::string FoldedName(const std::string& name);

}  // namespace kestrel
