#pragma once
// The C library's local-time conversions, thread-safe on both platforms.
#include <ctime>
#include <optional>

namespace kestrel {

// localtime; empty when the time cannot be represented.
std::optional<std::tm> ToLocalTime(std::time_t t);
// mktime; empty when it fails. The fields of local are normalised in place.
std::optional<std::time_t> FromLocalTime(std::tm& local);

}  // namespace kestrel
