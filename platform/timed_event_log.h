#pragma once
// The event-log service with a limit on how long one call may take. A
// computer that is switched off holds a call for the service's own timeout
// (20 to 45 s), and one that hangs holds it for ever. Each Open and Read runs
// on a thread of its own; when it has not answered in time the caller gets
// ERROR_TIMEOUT (1460) and goes on. The call is left to its thread, which
// owns everything it can still touch: the service (shared), a buffer of its
// own, the handle it reads or opens, which it closes when it ends. Nothing
// waits for it; the program may end while it still runs.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "platform/error_service.h"
#include "platform/event_log_service.h"

namespace kestrel {

class TimedEventLog final : public EventLogService {
public:
    // limitMs: how long a call may take, in milliseconds.
    TimedEventLog(std::shared_ptr<EventLogService> service, ErrorService& errors, std::uint32_t limitMs);
    ~TimedEventLog() override;

    Handle Open(const char* uncServerName, const char* logName) override;
    bool Read(Handle log, std::uint32_t flags, std::uint32_t recordOffset, void* buffer,
              std::uint32_t bufferSize, std::uint32_t& bytesRead, std::uint32_t& minBytesNeeded) override;
    void Close(Handle log) override;
    evtx::PassedOver DamagePassedOver(Handle log) override;

    // Calls that did not answer in time and have not ended since.
    std::size_t CallsLeft() const { return calls_->left.load(); }

private:
    struct Log;
    struct Calls {
        std::atomic<std::size_t> left{0};
    };
    std::shared_ptr<Log> Find(Handle log);

    std::shared_ptr<EventLogService> service_;
    ErrorService& errors_;
    std::uint32_t limitMs_;
    std::shared_ptr<Calls> calls_ = std::make_shared<Calls>();
    std::mutex mutex_;
    std::map<std::uintptr_t, std::shared_ptr<Log>> logs_;
    std::uintptr_t lastHandle_ = 0;
};

}  // namespace kestrel
