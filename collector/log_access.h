#pragma once
// How kestrel-collect reaches the logs: through the exported logs of a
// folder or the event-log service, with how many jobs and threads.
#include <cstddef>
#include <memory>
#include <string>

#include "collector/collect_main.h"
#include "collector/collect_options.h"

namespace kestrel {

struct LogAccess {
    std::shared_ptr<EventLogService> eventLog;  // null when there is none to read through
    unsigned jobs = 1;                          // computers read at once
    unsigned threads = 1;                       // threads reading one exported log
};

// For a run of that many computers; a null service with the message when
// there is none.
LogAccess ChooseLogAccess(const CollectOptions& options, CollectEnvironment& environment,
                          std::size_t computers, std::string& error);

}  // namespace kestrel
