#include "platform/offline/event_log_choice.h"

#include <cstdlib>

#include "platform/offline/offline_event_log.h"

namespace kestrel {

std::optional<std::filesystem::path> OfflineLogFolder() {
#ifdef _WIN32
    // The wide form, so that a folder name outside the ANSI code page survives.
    const wchar_t* value = _wgetenv(L"KESTREL_LOG_DIR");
#else
    const char* value = std::getenv(kLogDirVariable);
#endif
    if (value == nullptr || *value == 0) return std::nullopt;
    std::filesystem::path folder(value);
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) return std::nullopt;
    return folder;
}

EventLogChoice::EventLogChoice(EventLogService* live, ErrorService& errors)
    : EventLogChoice(live, errors, OfflineLogFolder()) {}

EventLogChoice::EventLogChoice(EventLogService* live, ErrorService& errors,
                               const std::optional<std::filesystem::path>& folder)
    : live_(live) {
    if (folder) offline_ = std::make_unique<OfflineEventLog>(errors, *folder);
}

EventLogChoice::~EventLogChoice() = default;

}  // namespace kestrel
