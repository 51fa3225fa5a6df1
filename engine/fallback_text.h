#pragma once
// The message text of an event whose own text cannot be had: the source, the
// low 16 bits of the event ID and the insertion strings joined by ",".
#include <cstdint>
#include <string>

#include "engine/log_event.h"

namespace kestrel {

void BuildFallbackText(std::string& out, const char* source, std::uint32_t eventId,
                       const InsertionTable& strings, std::size_t count);

}  // namespace kestrel
