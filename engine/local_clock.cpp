#include "engine/local_clock.h"

#include <cstdio>
#include <cstring>

#include "base/civil_date.h"

namespace kestrel {
namespace {

void TwoDigits(char* at, int value) {
    at[0] = static_cast<char>('0' + value / 10 % 10);
    at[1] = static_cast<char>('0' + value % 10);
}

bool SameHour(const std::tm& a, const std::tm& b) {
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday &&
           a.tm_hour == b.tm_hour && a.tm_isdst == b.tm_isdst && a.tm_wday == b.tm_wday &&
           a.tm_yday == b.tm_yday;
}

}  // namespace

void FormatTimeText(const std::tm& local, char (&text)[22]) {
    const int year = local.tm_year + 1900;
    if (year < 1000 || year > 9999 || local.tm_mon < 0 || local.tm_mon > 11) {
        char wide[80];
        std::snprintf(wide, sizeof wide, "%02d/%02d/%02d %02d:%02d:%02d  ", year, local.tm_mon + 1,
                      local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
        std::memcpy(text, wide, sizeof text - 1);
        text[sizeof text - 1] = '\0';
        return;
    }
    TwoDigits(text, year / 100);
    TwoDigits(text + 2, year % 100);
    text[4] = '/';
    TwoDigits(text + 5, local.tm_mon + 1);
    text[7] = '/';
    TwoDigits(text + 8, local.tm_mday);
    text[10] = ' ';
    TwoDigits(text + 11, local.tm_hour);
    text[13] = ':';
    TwoDigits(text + 14, local.tm_min);
    text[16] = ':';
    TwoDigits(text + 17, local.tm_sec);
    text[19] = ' ';
    text[20] = ' ';
    text[21] = '\0';
}

LocalClock::Hour& LocalClock::SlotOf(std::time_t t) {
    const std::time_t shifted = t - phase_;
    const std::time_t hour = shifted / 3600 - (shifted % 3600 < 0 ? 1 : 0);  // rounded down
    const std::size_t slot = static_cast<std::size_t>(hour) & (kHours - 1);
    std::unique_ptr<Hour[]>& block = hourBlocks_[slot / kHoursPerBlock];
    if (!block) block = std::make_unique<Hour[]>(kHoursPerBlock);
    return block[slot % kHoursPerBlock];
}

bool LocalClock::Convert(std::time_t t, LocalMoment& out) {
    const Hour& hour = SlotOf(t);
    if (hour.known && t >= hour.start && t - hour.start < 3600) {
        const int seconds = static_cast<int>(t - hour.start);
        out.local = hour.local;
        out.local.tm_min = seconds / 60;
        out.local.tm_sec = seconds % 60;
        std::memcpy(out.timeText, hour.text, sizeof out.timeText);
        TwoDigits(out.timeText + 14, out.local.tm_min);
        TwoDigits(out.timeText + 17, out.local.tm_sec);
    } else {
        const auto local = functions_.toLocal(t);
        if (!local) return false;
        out.local = *local;
        FormatTimeText(out.local, out.timeText);
        CacheHour(t, out.local);
    }
    return EventDay(out.local, out.eventDay);
}

// Remembers the local hour of t when one UTC offset holds from its first to its
// last second, so that every second in it differs from the start only in
// minutes and seconds.
bool LocalClock::CacheHour(std::time_t t, const std::tm& local) {
    if (local.tm_sec > 59) return false;  // a leap second: no plain arithmetic
    const std::time_t start = t - (local.tm_min * 60 + local.tm_sec);
    const auto first = functions_.toLocal(start);
    const auto last = functions_.toLocal(start + 3599);
    if (!first || !last || !SameHour(*first, local) || !SameHour(*last, local) || first->tm_min != 0 ||
        first->tm_sec != 0 || last->tm_min != 59 || last->tm_sec != 59) {
        return false;
    }
    phase_ = (start % 3600 + 3600) % 3600;
    Hour& hour = SlotOf(start);
    hour.known = true;
    hour.start = start;
    hour.local = *first;
    FormatTimeText(hour.local, hour.text);
    return true;
}

// Back to a calendar time, broken down again, and the date's local midnight
// with daylight saving decided by the C library.
bool LocalClock::EventDay(const std::tm& local, std::time_t& day) {
    if (dayKnown_ && local.tm_year == dayYear_ && local.tm_mon == dayMonth_ && local.tm_mday == dayOfMonth_) {
        day = eventDay_;
        return true;
    }
    std::tm copy = local;
    const auto again = functions_.fromLocal(copy);
    if (!again) return false;
    const auto date = functions_.toLocal(*again);
    if (!date) return false;
    std::tm midnight{};
    midnight.tm_year = date->tm_year;
    midnight.tm_mon = date->tm_mon;
    midnight.tm_mday = date->tm_mday;
    midnight.tm_isdst = -1;
    const auto start = functions_.fromLocal(midnight);
    if (!start) return false;
    if (date->tm_year == local.tm_year && date->tm_mon == local.tm_mon && date->tm_mday == local.tm_mday) {
        dayKnown_ = true;
        dayYear_ = local.tm_year;
        dayMonth_ = local.tm_mon;
        dayOfMonth_ = local.tm_mday;
        eventDay_ = *start;
    }
    day = *start;
    return true;
}

std::optional<std::int64_t> LocalSecondsOf(std::string_view text) {
    static constexpr std::size_t kDigits[] = {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18};
    if (text.size() < 19) return std::nullopt;
    for (const std::size_t at : kDigits) {
        if (text[at] < '0' || text[at] > '9') return std::nullopt;
    }
    auto number = [&](std::size_t at, std::size_t digits) {
        unsigned value = 0;
        for (std::size_t i = 0; i < digits; ++i)
            value = value * 10 + static_cast<unsigned>(text[at + i] - '0');
        return value;
    };
    const std::int64_t days = DaysFromCivil(number(0, 4), number(5, 2), number(8, 2));
    return days * 86400 + number(11, 2) * 3600 + number(14, 2) * 60 + number(17, 2);
}

void FormatLocalSeconds(std::int64_t local, char (&text)[22]) {
    const std::int64_t days = (local >= 0 ? local : local - 86399) / 86400;
    const std::int64_t second = local - days * 86400;
    std::int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(days, year, month, day);
    std::tm tm{};
    tm.tm_year = static_cast<int>(year - 1900);
    tm.tm_mon = static_cast<int>(month) - 1;
    tm.tm_mday = static_cast<int>(day);
    tm.tm_hour = static_cast<int>(second / 3600);
    tm.tm_min = static_cast<int>(second / 60 % 60);
    tm.tm_sec = static_cast<int>(second % 60);
    FormatTimeText(tm, text);
}

}  // namespace kestrel
