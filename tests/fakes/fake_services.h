#pragma once
// Stand-ins for the platform services and the ports, each able to fail on demand.
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "engine/ports.h"
#include "platform/error_service.h"
#include "platform/event_log_record.h"
#include "platform/event_log_service.h"
#include "platform/fatal_stop.h"
#include "platform/memory_service.h"
#include "platform/system_time.h"

namespace kestrel::testing {

// One event record in the EVENTLOGRECORD layout.
struct RecordShape {
    std::uint32_t recordNumber = 0;
    std::uint32_t timeGenerated = 0;
    std::uint32_t eventId = 4624;
    std::uint16_t eventType = kEventTypeAuditSuccess;
    std::uint16_t category = 0;
    std::string source = "Microsoft-Windows-Security-Auditing";
    std::vector<std::string> strings;
};
std::vector<unsigned char> BuildRecord(const RecordShape& shape);

class FakeErrors final : public ErrorService {
public:
    std::uint32_t LastError() override { return last; }
    void SetLastError(std::uint32_t code) override { last = code; }
    // "text of N" and CR LF, so that report lines can be checked byte for byte.
    std::string SystemText(std::uint32_t code) override;
    std::uint32_t last = 0;
};

class FakeMemory final : public MemoryService {
public:
    void* AllocateZeroed(std::size_t bytes) override;
    bool Release(void* block) override;
    ~FakeMemory() override;

    int allocations = 0;
    int failAllocation = 0;  // the n-th allocation (1-based) fails; 0: none
    int failRelease = 0;     // the n-th release fails; 0: none
    int releases = 0;
    std::vector<std::size_t> sizes;  // of every allocation asked for
    std::map<void*, std::size_t> live;
};

class FakeSystemTime final : public SystemTimeService {
public:
    explicit FakeSystemTime(FakeErrors& errors) : errors_(errors) {}
    bool ToFileTime(const SystemTime& time) override;
    bool fail = false;
    std::uint32_t failError = 87;
    std::vector<SystemTime> seen;

private:
    FakeErrors& errors_;
};

class FakeFatalStop final : public FatalStop {
public:
    void Stop(const char* text, const char* caption) override {
        stops.push_back(std::string(caption) + "|" + text);
    }
    std::vector<std::string> stops;
};

// Logs per UNC computer name and log name; records are served newest first in
// the order given.
class FakeEventLog final : public EventLogService {
public:
    explicit FakeEventLog(FakeErrors& errors) : errors_(errors) {}

    struct Log {
        std::vector<std::vector<unsigned char>> records;  // newest first
        std::uint32_t openError = 0;                      // nonzero: Open fails with it
        int failReadNumber = 0;                           // the n-th read (1-based) fails with readError
        std::uint32_t readError = 0;
        std::vector<std::vector<unsigned char>> rawBatches;  // served as they are, first
        evtx::PassedOver passedOver;                         // what the service says it passed over
    };
    std::map<std::string, Log> logs;  // key: UNC name + "|" + log name

    Log& At(const std::string& unc, const std::string& log = "security") { return logs[unc + "|" + log]; }

    Handle Open(const char* uncServerName, const char* logName) override;
    bool Read(Handle log, std::uint32_t flags, std::uint32_t recordOffset, void* buffer,
              std::uint32_t bufferSize, std::uint32_t& bytesRead, std::uint32_t& minBytesNeeded) override;
    void Close(Handle log) override;
    evtx::PassedOver DamagePassedOver(Handle log) override;

    std::vector<std::string> calls;  // "open \\\\pc|security", "read 320000", "close"
    int openHandles = 0;

private:
    struct Cursor {
        Log* log;
        std::size_t next = 0;
        std::size_t nextRaw = 0;
        int reads = 0;
    };
    FakeErrors& errors_;
    std::deque<Cursor> cursors_;
};

struct Row {
    int image = -1;
    std::string texts[8];
};

class MemoryResultTable final : public ResultTablePort {
public:
    int ItemCount() override { return static_cast<int>(rows.size()); }
    void InsertItem(int index, int image) override;
    void SetItemText(int row, int column, const char* text) override;
    void RedrawItems(int first, int last) override;
    void DeleteAllItems() override;

    std::vector<Row> rows;
    std::vector<std::string> calls;  // "insert 0 3", "text 0 5 DOMAIN", "redraw 0 1", "clear"
    bool recordCalls = true;
};

class FakeComputerList final : public ComputerListPort {
public:
    std::vector<std::string> ComputerNames() override { return names; }
    std::vector<std::string> names;
};

class FakeReportDialog final : public ReportPort {
public:
    explicit FakeReportDialog(const std::string& report) : report_(report) {}
    void ShowReport() override { shown.push_back(report_); }
    std::vector<std::string> shown;  // the report as each showing saw it

private:
    const std::string& report_;
};

}  // namespace kestrel::testing
