#include "platform/error_service.h"

#include <cstdio>

namespace kestrel {

std::string UnknownErrorText(std::uint32_t code) {
    char text[48];
    std::snprintf(text, sizeof text, "ｴﾗｰｺｰﾄﾞ %lu\r\n", static_cast<unsigned long>(code));
    return text;
}

}  // namespace kestrel
