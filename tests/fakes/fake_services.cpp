#include "tests/fakes/fake_services.h"

#include <cstdlib>
#include <cstring>

#include "platform/win32_errors.h"

namespace kestrel::testing {

std::vector<unsigned char> BuildRecord(const RecordShape& shape) {
    auto roundUp = [](std::size_t n) { return (n + 3) / 4 * 4; };
    // Source, an empty computer name, padding; the strings; padding; the length again.
    const std::size_t stringOffset = roundUp(sizeof(EventLogRecord) + shape.source.size() + 2);
    std::size_t stringBytes = 0;
    for (const std::string& s : shape.strings) stringBytes += s.size() + 1;
    const std::size_t length = roundUp(stringOffset + stringBytes) + 4;

    std::vector<unsigned char> bytes(length, 0);
    std::memcpy(bytes.data() + sizeof(EventLogRecord), shape.source.data(), shape.source.size());
    std::size_t at = stringOffset;
    for (const std::string& s : shape.strings) {
        std::memcpy(bytes.data() + at, s.data(), s.size());
        at += s.size() + 1;
    }
    EventLogRecord record{};
    record.Length = static_cast<std::uint32_t>(length);
    record.Reserved = kEventLogRecordSignature;
    record.RecordNumber = shape.recordNumber;
    record.TimeGenerated = shape.timeGenerated;
    record.TimeWritten = shape.timeGenerated;
    record.EventID = shape.eventId;
    record.EventType = shape.eventType;
    record.NumStrings = static_cast<std::uint16_t>(shape.strings.size());
    record.EventCategory = shape.category;
    record.StringOffset = static_cast<std::uint32_t>(stringOffset);
    record.DataOffset = record.Length - 4;
    std::memcpy(bytes.data(), &record, sizeof record);
    std::memcpy(bytes.data() + length - 4, &record.Length, 4);
    return bytes;
}

std::string FakeErrors::SystemText(std::uint32_t code) { return "text of " + std::to_string(code) + "\r\n"; }

void* FakeMemory::AllocateZeroed(std::size_t bytes) {
    sizes.push_back(bytes);
    if (++allocations == failAllocation) return nullptr;
    void* block = std::calloc(1, bytes == 0 ? 1 : bytes);
    live[block] = bytes;
    return block;
}

bool FakeMemory::Release(void* block) {
    live.erase(block);
    std::free(block);
    return ++releases != failRelease;
}

FakeMemory::~FakeMemory() {
    for (auto& [block, size] : live) std::free(block);
}

bool FakeSystemTime::ToFileTime(const SystemTime& time) {
    seen.push_back(time);
    if (fail || !IsValidSystemTime(time)) {
        errors_.SetLastError(fail ? failError : kErrorInvalidParameter);
        return false;
    }
    return true;
}

EventLogService::Handle FakeEventLog::Open(const char* uncServerName, const char* logName) {
    const std::string key = std::string(uncServerName) + "|" + logName;
    calls.push_back("open " + key);
    auto it = logs.find(key);
    if (it == logs.end()) {
        errors_.SetLastError(kRpcServerUnavailable);
        return nullptr;
    }
    if (it->second.openError != 0) {
        errors_.SetLastError(it->second.openError);
        return nullptr;
    }
    cursors_.push_back(Cursor{&it->second});
    ++openHandles;
    return &cursors_.back();
}

bool FakeEventLog::Read(Handle handle, std::uint32_t flags, std::uint32_t recordOffset, void* buffer,
                        std::uint32_t bufferSize, std::uint32_t& bytesRead, std::uint32_t& minBytesNeeded) {
    calls.push_back("read " + std::to_string(flags) + " " + std::to_string(recordOffset) + " " +
                    std::to_string(bufferSize));
    auto& cursor = *static_cast<Cursor*>(handle);
    Log& log = *cursor.log;
    bytesRead = 0;
    minBytesNeeded = 0;
    if (++cursor.reads == log.failReadNumber) {
        errors_.SetLastError(log.readError);
        return false;
    }
    if (cursor.nextRaw < log.rawBatches.size()) {
        const auto& raw = log.rawBatches[cursor.nextRaw++];
        if (!raw.empty()) {
            std::memcpy(buffer, raw.data(), raw.size() < bufferSize ? raw.size() : bufferSize);
        }
        bytesRead = static_cast<std::uint32_t>(raw.size());
        return true;
    }
    if (cursor.next >= log.records.size()) {
        errors_.SetLastError(kErrorHandleEof);
        return false;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    while (cursor.next < log.records.size()) {
        const auto& record = log.records[cursor.next];
        if (bytesRead + record.size() > bufferSize) break;
        std::memcpy(out + bytesRead, record.data(), record.size());
        bytesRead += static_cast<std::uint32_t>(record.size());
        ++cursor.next;
    }
    if (bytesRead == 0) {
        minBytesNeeded = static_cast<std::uint32_t>(log.records[cursor.next].size());
        errors_.SetLastError(kErrorInsufficientBuffer);
        return false;
    }
    return true;
}

evtx::PassedOver FakeEventLog::DamagePassedOver(Handle log) {
    return static_cast<Cursor*>(log)->log->passedOver;
}

void FakeEventLog::Close(Handle) {
    calls.push_back("close");
    --openHandles;
}

void MemoryResultTable::InsertItem(int index, int image) {
    if (recordCalls) calls.push_back("insert " + std::to_string(index) + " " + std::to_string(image));
    Row row;
    row.image = image;
    if (index < 0 || index > static_cast<int>(rows.size())) index = static_cast<int>(rows.size());
    rows.insert(rows.begin() + index, row);
}

void MemoryResultTable::SetItemText(int row, int column, const char* text) {
    if (recordCalls) {
        calls.push_back("text " + std::to_string(row) + " " + std::to_string(column) + " " + text);
    }
    if (row >= 0 && row < static_cast<int>(rows.size()) && column >= 0 && column < 8) {
        rows[row].texts[column] = text;
    }
}

void MemoryResultTable::RedrawItems(int first, int last) {
    if (recordCalls) calls.push_back("redraw " + std::to_string(first) + " " + std::to_string(last));
}

void MemoryResultTable::DeleteAllItems() {
    if (recordCalls) calls.push_back("clear");
    rows.clear();
}

}  // namespace kestrel::testing
