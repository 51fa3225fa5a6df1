#pragma once
// The busiest stretch of failures, one finder for the summary's guessing
// (the most failures of an account) and spraying (the most users failing
// from an address).
#include <cstddef>
#include <cstdint>

namespace kestrel {

struct BusiestWindow {
    std::size_t first = 0, last = 0;  // the failures it holds
    std::size_t score = 0;            // 0: no window found
};

// Failures 0 to count - 1 in time order, second(i) the whole second of
// failure i. A window holds the failures whose times differ by less than its
// length: times are whole seconds, so ten minutes from 09:00:00 run to
// 09:09:59, and a failure at 09:10:00 starts the next. A window ends after
// the last failure of a second, so one second's failures are never split.
// enter(i) and leave(i) keep the caller's count of the window; every failure
// that enters leaves by the end. score(first, last) is the window's; the one
// scoring highest wins, of equal ones the earliest.
template <typename Second, typename Enter, typename Leave, typename Score>
BusiestWindow FindBusiestWindow(std::size_t count, std::int64_t windowSeconds, Second second, Enter enter,
                                Leave leave, Score score) {
    BusiestWindow best;
    std::size_t first = 0;
    for (std::size_t last = 0; last < count; ++last) {
        enter(last);
        if (last + 1 < count && second(last + 1) == second(last)) continue;
        for (; second(last) - second(first) >= windowSeconds; ++first) leave(first);
        const std::size_t windowScore = score(first, last);
        if (windowScore > best.score) best = {first, last, windowScore};
    }
    for (; first < count; ++first) leave(first);
    return best;
}

}  // namespace kestrel
