#include "platform/system_time.h"

namespace kestrel {

bool IsValidSystemTime(const SystemTime& t) {
    if (t.wYear < 1601 || t.wYear > 30827) return false;
    if (t.wMonth < 1 || t.wMonth > 12) return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (t.wYear % 4 == 0 && t.wYear % 100 != 0) || t.wYear % 400 == 0;
    const int days = kDays[t.wMonth - 1] + (t.wMonth == 2 && leap ? 1 : 0);
    if (t.wDay < 1 || t.wDay > days) return false;
    return t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 && t.wMilliseconds < 1000;
}

}  // namespace kestrel
