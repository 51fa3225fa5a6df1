#pragma once
// SystemTimeToFileTime, as a check of a broken-down time.
#include <cstdint>

namespace kestrel {

struct SystemTime {  // SYSTEMTIME
    std::uint16_t wYear;
    std::uint16_t wMonth;
    std::uint16_t wDayOfWeek;
    std::uint16_t wDay;
    std::uint16_t wHour;
    std::uint16_t wMinute;
    std::uint16_t wSecond;
    std::uint16_t wMilliseconds;
};

class SystemTimeService {
public:
    virtual ~SystemTimeService() = default;
    // True when the platform accepts the time; the converted value is not needed.
    virtual bool ToFileTime(const SystemTime& time) = 0;
};

// The rule SystemTimeToFileTime applies: years 1601 to 30827, a real date, and
// hours, minutes, seconds and milliseconds in range.
bool IsValidSystemTime(const SystemTime& time);

}  // namespace kestrel
