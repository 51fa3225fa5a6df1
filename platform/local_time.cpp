#include "platform/local_time.h"

namespace kestrel {

std::optional<std::tm> ToLocalTime(std::time_t t) {
    std::tm out{};
#ifdef _WIN32
    if (localtime_s(&out, &t) != 0) return std::nullopt;
#else
    if (localtime_r(&t, &out) == nullptr) return std::nullopt;
#endif
    return out;
}

std::optional<std::time_t> FromLocalTime(std::tm& local) {
    const std::time_t t = std::mktime(&local);
    if (t == static_cast<std::time_t>(-1)) return std::nullopt;
    return t;
}

}  // namespace kestrel
