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
#include "engine/read_owners.h"
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

// Read newest first, a log only gets older, so the first record before the
// start date could end the read. But a clock set back, a restored virtual
// machine or one damaged time field puts older records among newer ones, and
// ending there would hide every record behind them. The read therefore ends
// at the end of a batch that closes with at least this many records in a row
// before the start date: an ordinary log reads no batch more than it must,
// and an older run that newer records follow is a place where the time went
// backwards, passed over and reported ("情報 060").
inline constexpr std::uint32_t kOlderRunToStop = 16;
// A log gives at most this many lines of each kind of trouble, then one line
// with the count of the rest.
inline constexpr std::uint64_t kReportLinesPerLog = 3;

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

    // How many damaged stretches the last ReadLog passed over (each is in
    // the report): its rows may be incomplete.
    std::uint64_t PassedOverCount() const { return passedOver_; }

    // Other local-time conversions than the C library's (tests).
    void UseLocalTime(LocalTimeFunctions functions) { clock_ = LocalClock(functions); }

    // Without message text, each kept event is handed on as the record holds
    // it, with an empty message: no registry key, no message module and no
    // parameter message is asked for. For a reader that prints no message.
    void ResolveMessageText(bool resolve) { resolveMessages_ = resolve; }

private:
    enum class Batch { Continue, ReachedStart, Corrupt, Stop };
    struct ReadEnd {
        enum How { Stopped, ReachedStart, EndOfLog, Error, Failed } how;
        std::uint32_t error = 0;  // Error: the system's error code
    };

    ReadResult ReadRecords(std::uint32_t typeMask);
    ReadEnd ReadBatches(EventLogService::Handle log, ReadBuffer& buffer, std::uint32_t typeMask);
    ReadResult EndRead(const ReadEnd& end, OpenedLog& log, ReadBuffer& buffer);
    Batch WalkBatch(const ReadBuffer& buffer, std::uint32_t bytes, std::uint32_t typeMask);
    Batch ProcessRecord(const EventLogRecordView& record, std::uint32_t typeMask);

    void NoteOlderRecord(const EventLogRecordView& record);
    void NoteBackInWindow();

    // Reports what the read passed over, then closes the log.
    void CloseLog(OpenedLog& log);
    void ReportPassedOver(EventLogService::Handle log);
    void AppendPrefix(const char* code, const std::string* source);
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
    bool handedOn_ = false;
    // Records in a row before the start date, and the first of them.
    std::uint32_t olderRun_ = 0;
    std::uint32_t olderFirstNumber_ = 0;
    std::string olderFirstSource_;
    std::uint64_t timeBackwards_ = 0;  // places where the time went backwards
    std::uint64_t passedOver_ = 0;

    LocalClock clock_;
    InsertionTable strings_{};
    EventMessageText::HandOnFunction handOn_;
    bool resolveMessages_ = true;
    EventMessageText messageText_;
};

}  // namespace kestrel
