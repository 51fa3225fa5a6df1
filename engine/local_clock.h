#pragma once
// Local time of an event: the broken-down time, its time text and its event
// day. The C library's conversions cost more than everything else a record
// needs, so whole hours of one UTC offset and the last date's event day are
// remembered; the results are those of the plain conversions.
#include <ctime>
#include <optional>

#include "platform/local_time.h"

namespace kestrel {

struct LocalMoment {
    std::tm local;          // the broken-down local time
    char timeText[22];      // "YYYY/MM/DD hh:mm:ss  ", zero-terminated
    std::time_t eventDay;   // 00:00:00 local time on the local date
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
    bool CacheHour(std::time_t t, const std::tm& local);
    bool EventDay(const std::tm& local, std::time_t& day);

    LocalTimeFunctions functions_;

    bool hourKnown_ = false;
    std::time_t hourStart_ = 0;
    std::tm hourLocal_{};  // at hourStart_
    char hourText_[22] = {};

    bool dayKnown_ = false;
    int dayYear_ = 0, dayMonth_ = 0, dayOfMonth_ = 0;
    std::time_t eventDay_ = 0;
};

// The time text of a broken-down local time (four-digit year, two blanks at the end).
void FormatTimeText(const std::tm& local, char (&text)[22]);

}  // namespace kestrel
