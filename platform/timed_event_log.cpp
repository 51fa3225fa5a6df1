#include "platform/timed_event_log.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/win32_errors.h"

namespace kestrel {

struct TimedEventLog::Log {
    std::mutex mutex;
    Handle handle = nullptr;  // the service's
    bool busy = false;        // a call left to its thread still reads it
    bool closeAsked = false;  // closed meanwhile: that call closes it as it ends
};

namespace {

// One call's answer, shared by the caller and the call's thread; whichever
// is first to give up on the other decides who cleans up.
struct Answer {
    std::mutex mutex;
    std::condition_variable done;
    bool answered = false;
    bool abandoned = false;
    std::uint32_t error = 0;
    // Open:
    EventLogService::Handle handle = nullptr;
    // Read:
    bool read = false;
    std::uint32_t bytesRead = 0, minBytesNeeded = 0;
    std::vector<unsigned char> bytes;  // the call's own buffer
};

// Runs call on a thread of its own (or here, when no thread can be had) and
// waits for its answer up to limit. False when it did not come: the answer is
// then the thread's to clean up.
template <typename Call>
bool Answered(const std::shared_ptr<Answer>& answer, std::uint32_t limitMs, Call call) {
    try {
        std::thread(call).detach();
    } catch (const std::system_error&) {
        call();
    }
    std::unique_lock<std::mutex> lock(answer->mutex);
    if (answer->done.wait_for(lock, std::chrono::milliseconds(limitMs), [&] { return answer->answered; }))
        return true;
    answer->abandoned = true;
    return false;
}

}  // namespace

TimedEventLog::TimedEventLog(std::shared_ptr<EventLogService> service, ErrorService& errors,
                             std::uint32_t limitMs)
    : service_(std::move(service)), errors_(errors), limitMs_(limitMs) {}

TimedEventLog::~TimedEventLog() = default;

EventLogService::Handle TimedEventLog::Open(const char* uncServerName, const char* logName) {
    auto answer = std::make_shared<Answer>();
    // The caller's texts may be gone by the time a late call uses them.
    auto server = uncServerName != nullptr ? std::make_shared<std::string>(uncServerName) : nullptr;
    auto name = logName != nullptr ? std::make_shared<std::string>(logName) : nullptr;
    ErrorService* errors = &errors_;  // asked only while the caller waits
    const bool answered =
        Answered(answer, limitMs_, [answer, service = service_, calls = calls_, server, name, errors] {
            const Handle handle =
                service->Open(server ? server->c_str() : nullptr, name ? name->c_str() : nullptr);
            std::lock_guard<std::mutex> lock(answer->mutex);
            if (answer->abandoned) {
                if (handle != nullptr) service->Close(handle);
                --calls->left;
                return;
            }
            answer->handle = handle;
            answer->error = handle == nullptr ? errors->LastError() : 0;
            answer->answered = true;
            answer->done.notify_one();
        });
    if (!answered) {
        ++calls_->left;
        errors_.SetLastError(kErrorTimeout);
        return nullptr;
    }
    if (answer->handle == nullptr) {
        errors_.SetLastError(answer->error);
        return nullptr;
    }
    auto log = std::make_shared<Log>();
    log->handle = answer->handle;
    std::lock_guard<std::mutex> lock(mutex_);
    const std::uintptr_t handle = ++lastHandle_;
    logs_.emplace(handle, std::move(log));
    return reinterpret_cast<Handle>(handle);
}

std::shared_ptr<TimedEventLog::Log> TimedEventLog::Find(Handle log) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = logs_.find(reinterpret_cast<std::uintptr_t>(log));
    return found == logs_.end() ? nullptr : found->second;
}

bool TimedEventLog::Read(Handle handle, std::uint32_t flags, std::uint32_t recordOffset, void* buffer,
                         std::uint32_t bufferSize, std::uint32_t& bytesRead, std::uint32_t& minBytesNeeded) {
    bytesRead = minBytesNeeded = 0;
    const std::shared_ptr<Log> log = Find(handle);
    if (log == nullptr) {
        errors_.SetLastError(kErrorInvalidHandle);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(log->mutex);
        if (log->busy) {  // a read that did not answer still holds it
            errors_.SetLastError(kErrorTimeout);
            return false;
        }
    }
    auto answer = std::make_shared<Answer>();
    answer->bytes.resize(bufferSize);
    ErrorService* errors = &errors_;
    const bool answered =
        Answered(answer, limitMs_,
                 [answer, log, service = service_, calls = calls_, flags, recordOffset, bufferSize, errors] {
                     std::uint32_t bytes = 0, needed = 0;
                     const bool read = service->Read(log->handle, flags, recordOffset, answer->bytes.data(),
                                                     bufferSize, bytes, needed);
                     std::lock_guard<std::mutex> lock(answer->mutex);
                     if (answer->abandoned) {
                         std::lock_guard<std::mutex> logLock(log->mutex);
                         log->busy = false;
                         if (log->closeAsked) service->Close(log->handle);
                         --calls->left;
                         return;
                     }
                     answer->read = read;
                     answer->bytesRead = bytes;
                     answer->minBytesNeeded = needed;
                     answer->error = read ? 0 : errors->LastError();
                     answer->answered = true;
                     answer->done.notify_one();
                 });
    if (!answered) {
        {
            std::lock_guard<std::mutex> lock(log->mutex);
            log->busy = true;
        }
        ++calls_->left;
        errors_.SetLastError(kErrorTimeout);
        return false;
    }
    minBytesNeeded = answer->minBytesNeeded;
    if (!answer->read) {
        errors_.SetLastError(answer->error);
        return false;
    }
    // A count past the buffer stays as the service gave it: the reader calls that damage.
    bytesRead = answer->bytesRead;
    if (bytesRead > 0) std::memcpy(buffer, answer->bytes.data(), std::min(bytesRead, bufferSize));
    return true;
}

void TimedEventLog::Close(Handle handle) {
    std::shared_ptr<Log> log;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = logs_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (found == logs_.end()) return;
        log = std::move(found->second);
        logs_.erase(found);
    }
    std::lock_guard<std::mutex> lock(log->mutex);
    if (log->busy) {
        log->closeAsked = true;
    } else {
        service_->Close(log->handle);
    }
}

evtx::PassedOver TimedEventLog::DamagePassedOver(Handle handle) {
    const std::shared_ptr<Log> log = Find(handle);
    if (log == nullptr) return {};
    std::lock_guard<std::mutex> lock(log->mutex);
    // A read left running may hold what the service would look at.
    return log->busy ? evtx::PassedOver{} : service_->DamagePassedOver(log->handle);
}

}  // namespace kestrel
