#include "collector/log_access.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <thread>

#include "platform/offline/offline_event_log.h"
#include "platform/timed_event_log.h"

namespace kestrel {
namespace {

unsigned Cores() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

// The exported logs of a folder, or the event-log service, each call of
// which may wait at most --timeout. Null with the message when there is none
// to read through.
std::shared_ptr<EventLogService> ChooseEventLog(const CollectOptions& options,
                                                CollectEnvironment& environment, unsigned threads,
                                                std::string& error) {
    const std::string logDir = !options.logDir.empty() ? options.logDir : environment.logDirVariable;
    if (!logDir.empty()) {
        std::error_code missing;
        if (std::filesystem::is_directory(logDir, missing)) {
            return std::make_shared<OfflineEventLog>(environment.errors, logDir, threads);
        }
        error = "the log folder " + logDir + " does not exist";
        return nullptr;
    }
    if (environment.liveEventLog == nullptr) {
        error = "this system has no event-log service: give --log-dir or KESTREL_LOG_DIR";
        return nullptr;
    }
    if (options.log != "security") {
        // Asked for a log it does not know, the event-log service opens the
        // Application log instead, and its rows would pass for the asked one's.
        error =
            "--log " + options.log +
            ": only the Security log is read through the event-log service; give --log-dir for exported logs";
        return nullptr;
    }
    // The program's own service outlives every call: it is not freed here.
    std::shared_ptr<EventLogService> live(environment.liveEventLog, [](EventLogService*) {});
    if (options.timeoutSeconds == 0) return live;
    return std::make_shared<TimedEventLog>(live, environment.errors, options.timeoutSeconds * 1000u);
}

}  // namespace

LogAccess ChooseLogAccess(const CollectOptions& options, CollectEnvironment& environment,
                          std::size_t computers, std::string& error) {
    LogAccess access;
    const bool offline = !options.logDir.empty() || !environment.logDirVariable.empty();
    // Through the service the time goes to the network, not to the cores.
    access.jobs = static_cast<unsigned>(std::min<std::size_t>(options.jobs != 0 ? options.jobs
                                                              : offline         ? Cores()
                                                                                : 32u,
                                                              computers));
    // Unless told, the cores are shared among the jobs.
    access.threads = options.threads != 0 ? options.threads : std::clamp(Cores() / access.jobs, 1u, 4u);
    access.eventLog = ChooseEventLog(options, environment, access.threads, error);
    return access;
}

}  // namespace kestrel
