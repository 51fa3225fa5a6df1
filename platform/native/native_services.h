#pragma once
// The services of the native build: the heap, a thread's own last error with a
// small table of texts, and the time check. There is no event-log service on
// Linux; offline logs stand in for it.
#include "platform/error_service.h"
#include "platform/fatal_stop.h"
#include "platform/memory_service.h"
#include "platform/system_time.h"

namespace kestrel {

class HeapMemory final : public MemoryService {
public:
    void* AllocateZeroed(std::size_t bytes) override;
    bool Release(void* block) override;
};

class NativeErrors final : public ErrorService {
public:
    std::uint32_t LastError() override;
    void SetLastError(std::uint32_t code) override;
    std::string SystemText(std::uint32_t code) override;
};

class NativeSystemTime final : public SystemTimeService {
public:
    explicit NativeSystemTime(ErrorService& errors) : errors_(errors) {}
    bool ToFileTime(const SystemTime& time) override;

private:
    ErrorService& errors_;
};

// No window to own a message box: the text goes to standard error.
class NativeFatalStop final : public FatalStop {
public:
    [[noreturn]] void Stop(const char* text, const char* caption) override;
};

}  // namespace kestrel
