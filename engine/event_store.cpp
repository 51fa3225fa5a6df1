#include "engine/event_store.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "engine/local_clock.h"

namespace kestrel {
namespace {

constexpr std::uint32_t kEmpty = 0xFFFFFFFF;

std::size_t RoundUp4(std::size_t n) { return (n + 3) / 4 * 4; }

}  // namespace

void EventStore::Add(const LogEvent& event, int row) {
    if (events_.empty()) log_ = event.logName != nullptr ? event.logName : "";
    Kept kept{};
    kept.recordNumber = event.record.RecordNumber;
    kept.timeGenerated = event.record.TimeGenerated;
    kept.eventId = event.eventId;
    const auto local = LocalSecondsOf(event.timeText != nullptr ? event.timeText : "");
    kept.utcOffset = local ? static_cast<std::int32_t>(*local - event.record.TimeGenerated) : 0;
    kept.eventType = event.record.EventType;
    kept.computer = Intern(event.computer != nullptr ? event.computer : "");
    kept.source = Intern(event.source != nullptr ? event.source : "");
    kept.origin = Intern(event.origin != nullptr ? event.origin : "");
    kept.firstString = static_cast<std::uint32_t>(strings_.size());
    kept.row = row;
    const std::size_t count = std::min<std::size_t>(event.record.NumStrings, event.strings.size());
    for (std::size_t i = 0; i < count; ++i) {
        strings_.push_back(Intern(event.strings[i] != nullptr ? event.strings[i] : ""));
    }
    if (row >= 0) {
        if (rowEvents_.size() <= static_cast<std::size_t>(row)) rowEvents_.resize(row + 1, kEmpty);
        rowEvents_[static_cast<std::size_t>(row)] = static_cast<std::uint32_t>(events_.size());
    }
    events_.push_back(kept);
}

void EventStore::Clear() { *this = EventStore(); }

std::optional<std::size_t> EventStore::EventOfRow(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rowEvents_.size()) return std::nullopt;
    const std::uint32_t index = rowEvents_[static_cast<std::size_t>(row)];
    if (index == kEmpty) return std::nullopt;
    return index;
}

std::size_t EventStore::StringsEnd(std::size_t index) const {
    return index + 1 < events_.size() ? events_[index + 1].firstString : strings_.size();
}

EventStore::Text EventStore::Intern(std::string_view text) {
    if ((texts_ + 1) * 2 > slots_.size()) {
        std::vector<Text> old(std::max<std::size_t>(64, slots_.size() * 2), kEmpty);
        old.swap(slots_);
        for (const Text place : old) {
            if (place == kEmpty) continue;
            std::size_t i = std::hash<std::string_view>{}(TextAt(place)) & (slots_.size() - 1);
            while (slots_[i] != kEmpty) i = (i + 1) & (slots_.size() - 1);
            slots_[i] = place;
        }
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = std::hash<std::string_view>{}(text)&mask;; i = (i + 1) & mask) {
        if (slots_[i] == kEmpty) {
            slots_[i] = static_cast<Text>(pool_.size());
            pool_.append(text).push_back('\0');
            ++texts_;
            return slots_[i];
        }
        if (TextAt(slots_[i]) == text) return slots_[i];
    }
}

void EventStore::Rebuild(std::size_t index, RebuiltEvent& out) const {
    const Kept& kept = events_[index];
    out.computer_ = TextAt(kept.computer);
    out.source_ = TextAt(kept.source);
    out.origin_ = TextAt(kept.origin);
    out.log_ = log_;
    FormatLocalSeconds(std::int64_t{kept.timeGenerated} + kept.utcOffset, out.timeText_);

    // The fixed part, source and computer names, the strings, no data, and
    // the length again at the end, as the service lays a record out.
    const std::size_t first = kept.firstString, end = StringsEnd(index);
    const std::size_t stringOffset =
        RoundUp4(sizeof(EventLogRecord) + out.source_.size() + out.origin_.size() + 2);
    std::size_t stringBytes = 0;
    for (std::size_t i = first; i < end; ++i) stringBytes += TextAt(strings_[i]).size() + 1;
    const std::size_t length = RoundUp4(stringOffset + stringBytes) + 4;
    out.record_.assign((length + 7) / 8, 0);
    auto* bytes = reinterpret_cast<unsigned char*>(out.record_.data());
    std::memcpy(bytes + sizeof(EventLogRecord), out.source_.c_str(), out.source_.size() + 1);
    std::memcpy(bytes + sizeof(EventLogRecord) + out.source_.size() + 1, out.origin_.c_str(),
                out.origin_.size() + 1);
    out.strings_.fill(nullptr);
    std::size_t at = stringOffset;
    for (std::size_t i = first; i < end; ++i) {
        const std::string_view text = TextAt(strings_[i]);
        std::memcpy(bytes + at, text.data(), text.size());
        out.strings_[i - first] = reinterpret_cast<const char*>(bytes + at);
        at += text.size() + 1;
    }
    EventLogRecord record{};
    record.Length = static_cast<std::uint32_t>(length);
    record.Reserved = kEventLogRecordSignature;
    record.RecordNumber = kept.recordNumber;
    record.TimeGenerated = kept.timeGenerated;
    record.TimeWritten = kept.timeGenerated;
    record.EventID = kept.eventId;
    record.EventType = kept.eventType;
    record.NumStrings = static_cast<std::uint16_t>(end - first);
    record.StringOffset = static_cast<std::uint32_t>(stringOffset);
    record.UserSidOffset = record.StringOffset;
    record.DataOffset = static_cast<std::uint32_t>(length - 4);
    std::memcpy(bytes, &record, sizeof record);
    std::memcpy(bytes + length - 4, &record.Length, 4);

    out.message_[0] = '\0';
    out.event_.emplace(LogEvent{out.Record(), out.computer_.c_str(), out.source_.c_str(), out.message_,
                                out.log_.c_str(), out.timeText_, kept.eventId, out.strings_,
                                out.origin_.c_str()});
}

std::size_t EventStore::Bytes() const {
    return events_.capacity() * sizeof(Kept) + strings_.capacity() * sizeof(Text) +
           rowEvents_.capacity() * sizeof(std::uint32_t) + pool_.capacity() +
           slots_.capacity() * sizeof(Text);
}

}  // namespace kestrel
