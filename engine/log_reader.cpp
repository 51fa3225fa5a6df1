#include "engine/log_reader.h"

#include <cstdio>

#include "engine/damage_reason.h"
#include "platform/win32_errors.h"

namespace kestrel {
namespace {

constexpr std::uint32_t kBackwardsSequentialRead = kSequentialRead | kBackwardsRead;
// A service that keeps answering "success, no bytes" would keep the reader
// asking for ever; this many such answers in a row count as a damaged log.
constexpr int kMaxEmptyReads = 64;

}  // namespace

bool FillInsertionTable(const EventLogRecordView& record, InsertionTable& table) {
    table.fill(nullptr);
    std::uint32_t stringOffset = 0;
    std::uint16_t numStrings = 0;
    if (!record.Read(event_record::kStringOffset, stringOffset) ||
        !record.Read(event_record::kNumStrings, numStrings)) {
        return false;
    }
    ByteCursor<> strings = record.Bytes();
    if (!strings.Seek(stringOffset)) return false;
    const std::size_t count = numStrings < table.size() ? numStrings : table.size();
    std::size_t size = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (!TakeText(strings, table[i], size)) return false;
    }
    return true;
}

bool FillInsertionTable(const EventLogRecord& record, InsertionTable& table) {
    return FillInsertionTable(
        EventLogRecordView(reinterpret_cast<const unsigned char*>(&record), record.Length), table);
}

LogReader::LogReader(const ReaderServices& services, const CollectJob& job, std::string& runReport,
                     EventClassifier& classifier, const std::atomic<bool>* stop)
    : LogReader(
          services, job, runReport,
          [&classifier](const LogEvent& event) { classifier.InsertEventMessage(event); }, stop) {}

LogReader::LogReader(const ReaderServices& services, const CollectJob& job, std::string& runReport,
                     EventMessageText::HandOnFunction handOn, const std::atomic<bool>* stop)
    : services_(services),
      job_(job),
      report_(runReport),
      stop_(stop),
      handOn_(std::move(handOn)),
      messageText_({services.registry, services.modules, services.memory, services.errors, services.fatal},
                   runReport, handOn_) {}

ReadResult LogReader::ReadLog(std::string computerName, const std::string& logName, std::uint32_t typeMask) {
    computer_ = "\\\\" + computerName;
    log_ = logName;
    source_.clear();
    olderRun_ = 0;
    timeBackwards_ = 0;
    passedOver_ = 0;
    const ReadResult result = ReadRecords(typeMask);
    // The category block is kept from record to record, not from call to call.
    return messageText_.ReleaseCategoryBlock() ? result : ReadFailed;
}

ReadResult LogReader::ReadRecords(std::uint32_t typeMask) {
    // Released when the owner goes only if the log does not open.
    ReadBuffer buffer(services_.memory, services_.fatal, "ｴﾗｰ 202");
    if (!buffer.Allocate(kInitialReadBufferSize)) {
        AppendLine("ｴﾗｰ 001", "ﾒﾓﾘ不足です。", false);
        return ReadFailed;
    }
    OpenedLog log(services_.eventLog, computer_.c_str(), log_.c_str());
    if (!log) {
        const std::uint32_t error = services_.errors.LastError();
        AppendLine("ｴﾗｰ 002", "ｲﾍﾞﾝﾄのｵｰﾌﾟﾝに失敗しました。", false);
        AppendCause("原因 003:", error);
        return ReadFailed;
    }
    return EndRead(ReadBatches(log.Handle(), buffer, typeMask), log, buffer);
}

LogReader::ReadEnd LogReader::ReadBatches(EventLogService::Handle log, ReadBuffer& buffer,
                                          std::uint32_t typeMask) {
    int emptyReads = 0;
    for (;;) {
        if (StopRequested()) return {ReadEnd::Stopped};
        std::uint32_t bytesRead = 0;
        std::uint32_t needed = 0;
        if (services_.eventLog.Read(log, kBackwardsSequentialRead, 0, buffer.Data(), buffer.Size(), bytesRead,
                                    needed)) {
            if (bytesRead > buffer.Size()) return {ReadEnd::Error, kErrorEventlogFileCorrupt};
            if (bytesRead == 0) {
                if (++emptyReads > kMaxEmptyReads) return {ReadEnd::Error, kErrorEventlogFileCorrupt};
                continue;
            }
            emptyReads = 0;
            switch (WalkBatch(buffer, bytesRead, typeMask)) {
                case Batch::Continue:
                    continue;
                case Batch::ReachedStart:
                    return {ReadEnd::ReachedStart};
                case Batch::Corrupt:
                    return {ReadEnd::Error, kErrorEventlogFileCorrupt};
                case Batch::Stop:  // the message step has written its lines
                    return {ReadEnd::Failed};
            }
        }
        const std::uint32_t error = services_.errors.LastError();
        if (error == kErrorInsufficientBuffer && needed > buffer.Size()) {
            if (!buffer.Release("ｴﾗｰ 102")) return {ReadEnd::Failed};
            if (!buffer.Allocate(needed)) {
                AppendLine("ｴﾗｰ 014", "ﾒﾓﾘ不足です。", true);
                return {ReadEnd::Failed};
            }
            continue;
        }
        if (error == kErrorHandleEof) return {ReadEnd::EndOfLog};
        return {ReadEnd::Error, error};
    }
}

// How the read ended decides whether a block that cannot be given back fails
// it; at the start of the window the block goes back before the log closes.
ReadResult LogReader::EndRead(const ReadEnd& end, OpenedLog& log, ReadBuffer& buffer) {
    if (end.how == ReadEnd::ReachedStart) {
        const bool released = buffer.Release("ｴﾗｰ 101");
        CloseLog(log);
        return released ? ReadDone : ReadFailed;
    }
    CloseLog(log);
    const bool released = buffer.Release("ｴﾗｰ 102");
    switch (end.how) {
        case ReadEnd::Stopped:
            return ReadDone;
        case ReadEnd::EndOfLog:
            return released ? ReadDone : ReadFailed;
        case ReadEnd::Error:
            AppendLine("ｴﾗｰ 015", "ｲﾍﾞﾝﾄの読み込みに失敗しました。", true);
            AppendCause("原因 016:", end.error);
            return ReadFailed;
        default:
            return ReadFailed;
    }
}

// Records come from another computer: each is taken from the batch by a
// checked cursor, and every read of it is checked against its own bytes.
LogReader::Batch LogReader::WalkBatch(const ReadBuffer& buffer, std::uint32_t bytes, std::uint32_t typeMask) {
    ByteCursor<> batch(static_cast<const unsigned char*>(buffer.Data()), bytes);
    while (batch.Left() > 0) {
        EventLogRecordView record;
        if (!EventLogRecordView::Take(batch, record)) return Batch::Corrupt;
        const char* name = nullptr;
        std::size_t nameSize = 0;
        if (!record.SourceName(name, nameSize)) return Batch::Corrupt;
        source_.assign(name, nameSize);

        const Batch outcome = ProcessRecord(record, typeMask);
        if (outcome != Batch::Continue) return outcome;
        if (StopRequested()) return Batch::Continue;
    }
    return olderRun_ >= kOlderRunToStop ? Batch::ReachedStart : Batch::Continue;
}

LogReader::Batch LogReader::ProcessRecord(const EventLogRecordView& record, std::uint32_t typeMask) {
    std::uint32_t timeGenerated = 0;
    std::uint16_t eventType = 0;
    if (!record.Read(event_record::kTimeGenerated, timeGenerated) ||
        !record.Read(event_record::kEventType, eventType)) {
        return Batch::Corrupt;
    }
    LocalMoment moment;
    if (!clock_.Convert(static_cast<std::time_t>(timeGenerated), moment)) {
        // Local time cannot place the record: it cannot be put in the window.
        AppendLine("ｴﾗｰ 017", "時刻の変換処理に失敗しました。", true);
        AppendCause("原因 018:", kErrorInvalidParameter);
        return Batch::Continue;
    }
    const SystemTime systemTime{static_cast<std::uint16_t>(moment.local.tm_year + 1900),
                                static_cast<std::uint16_t>(moment.local.tm_mon + 1),
                                static_cast<std::uint16_t>(moment.local.tm_wday),
                                static_cast<std::uint16_t>(moment.local.tm_mday),
                                static_cast<std::uint16_t>(moment.local.tm_hour),
                                static_cast<std::uint16_t>(moment.local.tm_min),
                                static_cast<std::uint16_t>(moment.local.tm_sec),
                                0};
    if (!services_.systemTime.ToFileTime(systemTime)) {
        const std::uint32_t error = services_.errors.LastError();
        AppendLine("ｴﾗｰ 017", "時刻の変換処理に失敗しました。", true);
        AppendCause("原因 018:", error);
    }

    if (!job_.FromLogStart && moment.eventDay < job_.FromTime) {
        NoteOlderRecord(record);
        return Batch::Continue;
    }
    NoteBackInWindow();
    if (!job_.ToLogEnd && moment.eventDay > job_.ToTime + 86399) return Batch::Continue;
    if ((eventType & typeMask) == 0 && eventType != 0) return Batch::Continue;

    if (!FillInsertionTable(record, strings_)) return Batch::Corrupt;
    EventLogRecord fixed;
    if (!record.CopyFixedPart(fixed)) return Batch::Corrupt;
    if (!resolveMessages_) {
        const char* origin = "";
        std::size_t originSize = 0;
        if (!record.ComputerName(origin, originSize)) origin = "";
        char message[1] = "";
        handOn_(LogEvent{fixed, computer_.c_str(), source_.c_str(), message, log_.c_str(), moment.timeText,
                         fixed.EventID, strings_, origin});
        return Batch::Continue;
    }
    handedOn_ = false;
    const KeptRecord kept{fixed, computer_.c_str(), log_.c_str(), source_.c_str(), moment.timeText, record};
    if (messageText_.ResolveCategoryText(kept) == EventMessageText::Step::Stop) return Batch::Stop;
    messageText_.ResolveEventText(kept, strings_, handedOn_);
    return Batch::Continue;
}

void LogReader::NoteOlderRecord(const EventLogRecordView& record) {
    if (olderRun_++ > 0) return;
    olderFirstNumber_ = 0;
    record.Read(event_record::kRecordNumber, olderFirstNumber_);
    olderFirstSource_ = source_;
}

void LogReader::NoteBackInWindow() {
    if (olderRun_ == 0) return;
    if (++timeBackwards_ <= kReportLinesPerLog) {
        AppendPrefix("情報 060", &olderFirstSource_);
        report_.append("ﾚｺｰﾄﾞ番号 ")
            .append(std::to_string(olderFirstNumber_))
            .append(" で時刻が逆行しています。(開始日より前の時刻のｲﾍﾞﾝﾄ ")
            .append(std::to_string(olderRun_))
            .append(" 件の後にも期間内のｲﾍﾞﾝﾄがあるため、読み込みを続けました。)\r\n");
    }
    olderRun_ = 0;
}

void LogReader::CloseLog(OpenedLog& log) {
    ReportPassedOver(log.Handle());
    log.Close();
}

void LogReader::ReportPassedOver(EventLogService::Handle log) {
    if (timeBackwards_ > kReportLinesPerLog) {
        AppendPrefix("情報 061", nullptr);
        report_.append("ほかに ")
            .append(std::to_string(timeBackwards_ - kReportLinesPerLog))
            .append(" か所で時刻が逆行しています。\r\n");
    }
    const evtx::PassedOver damage = services_.eventLog.DamagePassedOver(log);
    passedOver_ = damage.Count();
    for (std::size_t i = 0; i < damage.Kept().size() && i < kReportLinesPerLog; ++i) {
        char offset[24];
        std::snprintf(offset, sizeof offset, "0x%llx",
                      static_cast<unsigned long long>(damage.Kept()[i].offset));
        AppendPrefix("ｴﾗｰ 062", nullptr);
        report_.append("ﾛｸﾞの破損した部分を読み飛ばしました。(ｵﾌｾｯﾄ ")
            .append(offset)
            .append(": ")
            .append(DamageReasonText(damage.Kept()[i].reason))
            .append(")\r\n");
    }
    if (passedOver_ > kReportLinesPerLog) {
        AppendPrefix("ｴﾗｰ 063", nullptr);
        report_.append("ほかに ")
            .append(std::to_string(passedOver_ - kReportLinesPerLog))
            .append(" か所の破損した部分を読み飛ばしました。\r\n");
    }
}

void LogReader::AppendPrefix(const char* code, const std::string* source) {
    report_.append(code).append(":[").append(computer_).append("][").append(log_);
    if (source != nullptr) report_.append("][").append(*source);
    report_.append("]:");
}

void LogReader::AppendLine(const char* code, const char* text, bool withSource) {
    AppendPrefix(code, withSource ? &source_ : nullptr);
    report_.append(text).append("\r\n");
}

void LogReader::AppendCause(const char* code, std::uint32_t error) {
    report_.append(code).append(services_.errors.SystemText(error));
}

}  // namespace kestrel
