#include "engine/local_clock.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/native/test_time_zone.h"

namespace kestrel::testing {
namespace {

// What the plain conversions give: local time, its text, and the event day.
LocalMoment Plain(std::time_t t) {
    LocalMoment m{};
    std::tm local{};
    localtime_r(&t, &local);
    m.local = local;
    FormatTimeText(local, m.timeText);
    std::tm copy = local;
    const std::time_t again = std::mktime(&copy);
    std::tm date{};
    localtime_r(&again, &date);
    std::tm midnight{};
    midnight.tm_year = date.tm_year;
    midnight.tm_mon = date.tm_mon;
    midnight.tm_mday = date.tm_mday;
    midnight.tm_isdst = -1;
    m.eventDay = std::mktime(&midnight);
    return m;
}

// The remembered hours and days must never change a result: walk times in
// the order a log gives them (newest first, with jumps) across transitions.
TEST(LocalClock, SameResultsAsThePlainConversions) {
    for (const char* zone : {"Europe/Berlin", "America/Sao_Paulo", "Australia/Lord_Howe", "Asia/Tokyo",
                             "America/St_Johns", "UTC"}) {
        SCOPED_TRACE(zone);
        TimeZone tz(zone);
        LocalClock clock;
        int mismatches = 0;
        const std::time_t newest = Local(2019, 12, 31);
        // Twice over, as a log whose chunks repeat the same times: the
        // second pass finds its hours remembered.
        for (int pass = 0; pass < 2; ++pass) {
            for (std::time_t t = newest; t > newest - 2 * 366 * 86400 && mismatches < 5; t -= 797) {
                for (std::time_t probe : {t, t - 1, t + 3599}) {
                    LocalMoment got{};
                    ASSERT_TRUE(clock.Convert(probe, got));
                    const LocalMoment want = Plain(probe);
                    if (std::strcmp(got.timeText, want.timeText) != 0 || got.eventDay != want.eventDay ||
                        got.local.tm_wday != want.local.tm_wday ||
                        got.local.tm_isdst != want.local.tm_isdst) {
                        ADD_FAILURE() << probe << ": " << got.timeText << " vs " << want.timeText;
                        ++mismatches;
                    }
                }
            }
        }
    }
}

TEST(LocalClock, TimeTextHasFourDigitYearAndTwoBlanks) {
    TimeZone tz("UTC");
    LocalClock clock;
    LocalMoment m{};
    ASSERT_TRUE(clock.Convert(1370077507, m));  // 2013-06-01 09:05:07 UTC
    EXPECT_STREQ(m.timeText, "2013/06/01 09:05:07  ");
    EXPECT_EQ(std::strlen(m.timeText), 21u);
    ASSERT_TRUE(clock.Convert(0xFFFFFFFFu, m));
    EXPECT_STREQ(m.timeText, "2106/02/07 06:28:15  ");
}

}  // namespace
}  // namespace kestrel::testing
