#pragma once
// Forwarders to the Win32 services. Each call goes straight to its API
// function; the last error stays where Windows put it.
#include <windows.h>

#include "platform/error_service.h"
#include "platform/event_log_service.h"
#include "platform/fatal_stop.h"
#include "platform/memory_service.h"
#include "platform/system_time.h"

namespace kestrel {

class Win32EventLog final : public EventLogService {
public:
    Handle Open(const char* uncServerName, const char* logName) override;
    bool Read(Handle log, std::uint32_t flags, std::uint32_t recordOffset, void* buffer,
              std::uint32_t bufferSize, std::uint32_t& bytesRead, std::uint32_t& minBytesNeeded) override;
    void Close(Handle log) override;
};

class Win32Memory final : public MemoryService {
public:
    void* AllocateZeroed(std::size_t bytes) override;
    bool Release(void* block) override;
};

class Win32Errors final : public ErrorService {
public:
    std::uint32_t LastError() override;
    void SetLastError(std::uint32_t code) override;
    std::string SystemText(std::uint32_t code) override;
};

class Win32SystemTime final : public SystemTimeService {
public:
    bool ToFileTime(const SystemTime& time) override;
};

// The message box is owned by the window the owner function names at the
// moment of the stop (the main frame's, once it exists).
class Win32FatalStop final : public FatalStop {
public:
    using OwnerFunction = HWND (*)();
    explicit Win32FatalStop(OwnerFunction owner = nullptr) : owner_(owner) {}
    void Stop(const char* text, const char* caption) override;

private:
    OwnerFunction owner_;
};

}  // namespace kestrel
