#pragma once
// Which event-log service a run reads from: when the environment variable
// KESTREL_LOG_DIR names a folder, the exported logs in it (see
// offline_event_log.h); otherwise the live service, unchanged.
#include <filesystem>
#include <memory>
#include <optional>

#include "platform/error_service.h"
#include "platform/event_log_service.h"

namespace kestrel {

inline constexpr const char* kLogDirVariable = "KESTREL_LOG_DIR";

// The folder KESTREL_LOG_DIR names, if it is set and is a folder.
std::optional<std::filesystem::path> OfflineLogFolder();

class EventLogChoice {
public:
    // `live` may be null (the native build has no live service).
    EventLogChoice(EventLogService* live, ErrorService& errors);
    // The exported logs in folder, or the live service without one.
    EventLogChoice(EventLogService* live, ErrorService& errors,
                   const std::optional<std::filesystem::path>& folder);
    ~EventLogChoice();

    EventLogService* Service() const { return offline_ ? offline_.get() : live_; }
    bool IsOffline() const { return offline_ != nullptr; }

private:
    EventLogService* live_;
    std::unique_ptr<EventLogService> offline_;
};

}  // namespace kestrel
