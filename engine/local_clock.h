#pragma once
// Local time of an event: the broken-down time, its time text and its event
// day. The C library's conversions cost more than everything else a record
// needs, so whole hours of one UTC offset (the last two years or so of them)
// and the last date's event day are remembered; the results are those of the
// plain conversions.
#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/local_time.h"

namespace kestrel {

struct LocalMoment {
    std::tm local;         // the broken-down local time
    char timeText[22];     // "YYYY/MM/DD hh:mm:ss  ", zero-terminated
    std::time_t eventDay;  // 00:00:00 local time on the local date
};

// The conversions a clock uses: the C library's unless a test puts others.
struct LocalTimeFunctions {
    std::optional<std::tm> (*toLocal)(std::time_t) = ToLocalTime;
    std::optional<std::time_t> (*fromLocal)(std::tm&) = FromLocalTime;
};

class LocalClock {
public:
    explicit LocalClock(LocalTimeFunctions functions = {}) : functions_(functions) {}

    // False when local time cannot represent t.
    bool Convert(std::time_t t, LocalMoment& out);

private:
    // One local hour of one UTC offset, from its first second.
    struct Hour {
        bool known = false;
        std::time_t start = 0;
        std::tm local{};  // at start
        char text[22] = {};
    };
    // Hours are found by their start; sparse logs (a few events an hour) and
    // logs read again from the top come back to hours met before. They are
    // kept in blocks made as their hours are met: a week's range costs a few
    // kilobytes, not the whole table, in each of a run's many readers.
    static constexpr std::size_t kHours = 1 << 14;
    static constexpr std::size_t kHoursPerBlock = 1 << 8;

    Hour& SlotOf(std::time_t t);
    bool CacheHour(std::time_t t, const std::tm& local);
    bool EventDay(const std::tm& local, std::time_t& day);

    LocalTimeFunctions functions_;

    std::array<std::unique_ptr<Hour[]>, kHours / kHoursPerBlock> hourBlocks_;
    std::time_t phase_ = 0;  // where local hours begin within a UTC hour

    bool dayKnown_ = false;
    int dayYear_ = 0, dayMonth_ = 0, dayOfMonth_ = 0;
    std::time_t eventDay_ = 0;
};

// The time text of a broken-down local time (four-digit year, two blanks at the end).
void FormatTimeText(const std::tm& local, char (&text)[22]);

// A time text as seconds since 1970 of its local clock (as if local time
// were UTC); empty unless it begins "YYYY/MM/DD hh:mm:ss". Less the
// record's UTC seconds, the offset of the zone at that moment.
std::optional<std::int64_t> LocalSecondsOf(std::string_view timeText);
// The time text of such seconds, as FormatTimeText gives it.
void FormatLocalSeconds(std::int64_t local, char (&text)[22]);

}  // namespace kestrel
