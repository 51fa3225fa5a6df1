#pragma once
// ReadLog: reads one event log of one computer newest first, keeps the records
// inside the run's date window and type selection, and hands each kept record
// on once. Problems become numbered lines of the run report.
#include <atomic>
#include <cstdint>
#include <string>

#include "engine/app_settings.h"
#include "engine/classification.h"
#include "engine/event_log_record_view.h"
#include "engine/local_clock.h"
#include "engine/log_event.h"
#include "engine/message_text.h"
#include "platform/error_service.h"
#include "platform/event_log_service.h"
#include "platform/fatal_stop.h"
#include "platform/memory_service.h"
#include "platform/message_module_service.h"
#include "platform/registry_service.h"
#include "platform/system_time.h"

namespace kestrel {

enum ReadResult : int { ReadFailed = 0, ReadDone = 1 };

inline constexpr std::uint32_t kInitialReadBufferSize = 320000;
inline constexpr const char* kReleaseFailedText = "ﾒﾓﾘの開放に失敗しました。";

struct ReaderServices {
    EventLogService& eventLog;
    MemoryService& memory;
    ErrorService& errors;
    SystemTimeService& systemTime;
    FatalStop& fatal;
    RegistryService& registry;
    MessageModuleService& modules;
};

// Enters pointers to the record's insertion strings (the first 256 of them)
// into table and clears the rest. False when a string runs past the record.
bool FillInsertionTable(const EventLogRecordView& record, InsertionTable& table);
// The same for a record whose bytes follow its fixed part.
bool FillInsertionTable(const EventLogRecord& record, InsertionTable& table);

class LogReader {
public:
    // stop, when given, ends a read early once it is set (the program is closing).
    LogReader(const ReaderServices& services, const CollectJob& job, std::string& runReport,
              EventClassifier& classifier, const std::atomic<bool>* stop = nullptr);
    // Each kept event goes to handOn instead (the collector sees every event,
    // those the table drops too).
    LogReader(const ReaderServices& services, const CollectJob& job, std::string& runReport,
              EventMessageText::HandOnFunction handOn, const std::atomic<bool>* stop = nullptr);

    ReadResult ReadLog(std::string computerName, const std::string& logName, std::uint32_t typeMask);

    // Other local-time conversions than the C library's (tests).
    void UseLocalTime(LocalTimeFunctions functions) { clock_ = LocalClock(functions); }

private:
    enum class Batch { Continue, ReachedStart, Corrupt, Stop };

    ReadResult ReadRecords(std::uint32_t typeMask);
    Batch WalkBatch(std::uint32_t bytes, std::uint32_t typeMask);
    Batch ProcessRecord(const EventLogRecordView& record, std::uint32_t typeMask);

    bool ReleaseBuffer(const char* caption);
    void CloseLog();
    ReadResult FailRead(std::uint32_t error);
    void AppendLine(const char* code, const char* text, bool withSource);
    void AppendCause(const char* code, std::uint32_t error);
    bool StopRequested() const { return stop_ != nullptr && stop_->load(std::memory_order_relaxed); }

    ReaderServices services_;
    const CollectJob& job_;
    std::string& report_;
    const std::atomic<bool>* stop_;

    // State of the current call.
    std::string computer_;  // UNC form
    std::string log_;
    std::string source_;  // source of the record examined last
    void* buffer_ = nullptr;
    std::uint32_t bufferSize_ = 0;
    EventLogService::Handle handle_ = nullptr;
    bool handedOn_ = false;

    LocalClock clock_;
    InsertionTable strings_{};
    EventMessageText messageText_;
};

}  // namespace kestrel
