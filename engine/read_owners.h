#pragma once
// What one read of a log holds: the block it reads into and the open log.
// Each is given back when its owner goes, on whatever path the read ends.
#include <cstddef>
#include <cstdint>

#include "platform/event_log_service.h"
#include "platform/fatal_stop.h"
#include "platform/memory_service.h"

namespace kestrel {

inline constexpr const char* kReleaseFailedText = "ﾒﾓﾘの開放に失敗しました。";

// A block that cannot be given back is a fatal stop, named by the place of
// the read that gave it back (its caption).
class ReadBuffer {
public:
    // `caption` names a release when the owner goes with the block still held.
    ReadBuffer(MemoryService& memory, FatalStop& fatal, const char* caption)
        : memory_(memory), fatal_(fatal), caption_(caption) {}
    ~ReadBuffer() { Release(caption_); }
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;

    // A zero-filled block of `bytes` in place of none; false when memory is short.
    bool Allocate(std::uint32_t bytes) {
        data_ = memory_.AllocateZeroed(bytes);
        size_ = data_ != nullptr ? bytes : 0;
        return data_ != nullptr;
    }
    // True when nothing was held or it went back.
    bool Release(const char* caption) {
        void* block = data_;
        data_ = nullptr;
        size_ = 0;
        if (block == nullptr || memory_.Release(block)) return true;
        fatal_.Stop(kReleaseFailedText, caption);
        return false;
    }
    void* Data() const { return data_; }
    std::uint32_t Size() const { return size_; }

private:
    MemoryService& memory_;
    FatalStop& fatal_;
    const char* caption_;
    void* data_ = nullptr;
    std::uint32_t size_ = 0;
};

class OpenedLog {
public:
    OpenedLog(EventLogService& service, const char* uncServerName, const char* logName)
        : service_(service), handle_(service.Open(uncServerName, logName)) {}
    ~OpenedLog() { Close(); }
    OpenedLog(const OpenedLog&) = delete;
    OpenedLog& operator=(const OpenedLog&) = delete;

    explicit operator bool() const { return handle_ != nullptr; }
    EventLogService::Handle Handle() const { return handle_; }
    void Close() {
        if (handle_ != nullptr) service_.Close(handle_);
        handle_ = nullptr;
    }

private:
    EventLogService& service_;
    EventLogService::Handle handle_;
};

}  // namespace kestrel
