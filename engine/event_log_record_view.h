#pragma once
// An event record of a read batch seen as bytes. The batch comes from another
// computer and need not be aligned, so no EventLogRecord is ever formed over
// it: every field is read at its offset through a checked cursor, and a read
// that does not fit fails instead of leaving the record's bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "base/byte_cursor.h"
#include "platform/event_log_record.h"

namespace kestrel {

// Where the fields of the fixed part lie.
namespace event_record {

inline constexpr HeaderField<std::uint32_t> kLength{offsetof(EventLogRecord, Length)};
inline constexpr HeaderField<std::uint32_t> kRecordNumber{offsetof(EventLogRecord, RecordNumber)};
inline constexpr HeaderField<std::uint32_t> kTimeGenerated{offsetof(EventLogRecord, TimeGenerated)};
inline constexpr HeaderField<std::uint32_t> kEventId{offsetof(EventLogRecord, EventID)};
inline constexpr HeaderField<std::uint16_t> kEventType{offsetof(EventLogRecord, EventType)};
inline constexpr HeaderField<std::uint16_t> kNumStrings{offsetof(EventLogRecord, NumStrings)};
inline constexpr HeaderField<std::uint32_t> kStringOffset{offsetof(EventLogRecord, StringOffset)};
inline constexpr std::size_t kFixedSize = sizeof(EventLogRecord);

// A field read with the wrong width would still compile.
static_assert(std::is_same_v<decltype(EventLogRecord::Length), std::uint32_t>);
static_assert(std::is_same_v<decltype(EventLogRecord::RecordNumber), std::uint32_t>);
static_assert(std::is_same_v<decltype(EventLogRecord::TimeGenerated), std::uint32_t>);
static_assert(std::is_same_v<decltype(EventLogRecord::EventID), std::uint32_t>);
static_assert(std::is_same_v<decltype(EventLogRecord::EventType), std::uint16_t>);
static_assert(std::is_same_v<decltype(EventLogRecord::NumStrings), std::uint16_t>);
static_assert(std::is_same_v<decltype(EventLogRecord::StringOffset), std::uint32_t>);

}  // namespace event_record

// A NUL-terminated text at the cursor; moves past its terminator. False when
// no terminator comes before the end.
inline bool TakeText(ByteCursor<>& bytes, const char*& text, std::size_t& size) {
    const unsigned char* const from = bytes.Data() + bytes.Pos();
    const void* nul = std::memchr(from, 0, bytes.Left());
    if (nul == nullptr) return bytes.Fail(ReadFault::Reason::Truncated, bytes.Pos());
    size = static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - from);
    const unsigned char* at = nullptr;
    if (!bytes.Take(size + 1, at)) return false;
    text = reinterpret_cast<const char*>(at);
    return true;
}

// Exactly one record's Length bytes, where they lie.
class EventLogRecordView {
public:
    EventLogRecordView() = default;
    // Bytes already known to hold one record (built in place by the caller).
    EventLogRecordView(const unsigned char* data, std::size_t size) : bytes_(data, size) {}

    // Takes the record at the batch's position and moves past it. False when
    // the bytes there are no whole record: shorter than its fixed part, longer
    // than what is left, not whole DWORDs, or with strings starting past it.
    static bool Take(ByteCursor<>& batch, EventLogRecordView& record) {
        const std::size_t start = batch.Pos();
        std::uint32_t length = 0;
        if (!batch.At(start + event_record::kLength.offset, length)) return false;
        if (length < event_record::kFixedSize || length % 4 != 0) return false;
        const unsigned char* at = nullptr;
        if (!batch.Take(length, at)) return false;
        record.bytes_ = ByteCursor<>(at, length, start);
        std::uint32_t stringOffset = 0;
        if (!record.Read(event_record::kStringOffset, stringOffset)) return false;
        if (stringOffset > length) return false;
        return true;
    }

    template <typename T>
    bool Read(HeaderField<T> field, T& value) const {
        return bytes_.At(field, value);
    }

    // A cursor at the start of the record, for texts inside it.
    ByteCursor<> Bytes() const { return bytes_; }

    // The fixed part copied out, aligned, for code that takes the struct.
    bool CopyFixedPart(EventLogRecord& fixed) const {
        ByteCursor<> bytes = bytes_;
        const unsigned char* at = nullptr;
        if (!bytes.Take(sizeof fixed, at)) return false;
        std::memcpy(&fixed, at, sizeof fixed);
        return true;
    }

    // The source name, the first text after the fixed part.
    bool SourceName(const char*& name, std::size_t& size) const {
        ByteCursor<> bytes = bytes_;
        return bytes.Seek(event_record::kFixedSize) && TakeText(bytes, name, size);
    }

    // The name of the computer that wrote the record, the text after the source name.
    bool ComputerName(const char*& name, std::size_t& size) const {
        ByteCursor<> bytes = bytes_;
        return bytes.Seek(event_record::kFixedSize) && TakeText(bytes, name, size) &&
               TakeText(bytes, name, size);
    }

private:
    ByteCursor<> bytes_{nullptr, 0};
};

}  // namespace kestrel
