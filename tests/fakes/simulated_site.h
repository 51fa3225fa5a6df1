#pragma once
// A site of many computers as the collector meets it through the network:
// every call of the event-log service and every load of a message module
// answers after a set latency, some computers never answer at all, some
// cannot be reached. For the tests and the benchmark of kestrel-collect at
// scale; safe to call from many threads.
#include <atomic>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/error_service.h"
#include "platform/event_log_service.h"
#include "platform/memory_service.h"
#include "platform/message_module_service.h"
#include "platform/registry_service.h"

namespace kestrel::testing {

struct SiteShape {
    std::size_t computers = 10;        // named PC0001, PC0002, ...
    std::uint32_t callMs = 0;          // each open and read
    std::size_t deadEvery = 0;         // every n-th computer never answers; 0: none
    std::size_t unreachableEvery = 0;  // every n-th one fails to open (1722)
    std::size_t stuckEvery = 0;        // every n-th one never answers the read after its records
    std::uint32_t events = 20;         // 4624s in each log
    std::uint32_t moduleLoadMs = 0;
    std::time_t end = 1710471600;  // the newest event, 2024-03-15 12:00 in Tokyo; one a minute before it
};

std::string SiteComputer(std::size_t index);  // "PC0001" for 0

class SimulatedEventLog final : public EventLogService {
public:
    SimulatedEventLog(const SiteShape& shape, ErrorService& errors);

    Handle Open(const char* uncServerName, const char* logName) override;
    bool Read(Handle log, std::uint32_t flags, std::uint32_t recordOffset, void* buffer,
              std::uint32_t bufferSize, std::uint32_t& bytesRead, std::uint32_t& minBytesNeeded) override;
    void Close(Handle log) override;

    // The time the calls of the computers that answer take one after another.
    std::uint64_t AnsweringCallsMs() const;

private:
    struct Cursor {
        std::size_t computer = 0;
        std::size_t next = 0;  // record
    };
    void Wait() const;

    SiteShape shape_;
    ErrorService& errors_;
    std::vector<std::vector<unsigned char>> records_;  // one log's, newest first; every computer's alike
};

// The Security source registered with one message module and one module of
// parameter messages; every message is "<user> logged on" style text.
class SimulatedRegistry final : public RegistryService {
public:
    std::int32_t OpenKey(const char* path, Key& key) override;
    std::int32_t QueryValue(Key key, const char* name, void* buffer, std::uint32_t& size) override;
    void CloseKey(Key) override {}
};

class SimulatedModules final : public MessageModuleService {
public:
    SimulatedModules(const SiteShape& shape, MemoryService& memory, ErrorService& errors)
        : shape_(shape), memory_(memory), errors_(errors) {}

    Module LoadDataFile(const char* path) override;
    void Free(Module) override {}
    char* Format(Module module, std::uint32_t messageId, std::uint32_t minSize,
                 const char* const* arguments) override;
    std::uint32_t ExpandEnvironment(const char* text, char* out, std::uint32_t outSize) override;

    std::atomic<std::uint64_t> loads{0};

private:
    SiteShape shape_;
    MemoryService& memory_;
    ErrorService& errors_;
};

}  // namespace kestrel::testing
