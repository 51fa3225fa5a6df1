#pragma once
// The whole of kestrel-collect behind its command line, so that tests can run
// it with their own streams and services.
#include <ctime>
#include <ostream>
#include <string>
#include <vector>

#include "engine/log_reader.h"

namespace kestrel {

inline constexpr int kCollectAllRead = 0;
inline constexpr int kCollectSomeFailed = 1;
inline constexpr int kCollectUsageError = 2;

struct CollectEnvironment {
    std::time_t now;
    std::string logDirVariable;     // KESTREL_LOG_DIR, empty when unset
    EventLogService* liveEventLog;  // null where there is none (Linux)
    MemoryService& memory;
    ErrorService& errors;
    SystemTimeService& systemTime;
    FatalStop& fatal;
    RegistryService& registry;
    MessageModuleService& modules;
    // Standard error is a terminal: the progress line shows unless told not to.
    bool errIsTerminal = false;
    // With --messages, each computer's modules stay loaded while it is read;
    // false loads and frees one for every event (to measure what that costs).
    bool keepModulesLoaded = true;
};

int RunCollector(const std::vector<std::string>& arguments, CollectEnvironment& environment,
                 std::ostream& out, std::ostream& err);

}  // namespace kestrel
