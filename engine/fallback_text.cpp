#include "engine/fallback_text.h"

#include <cstring>
#include <string_view>

namespace kestrel {

void BuildFallbackText(std::string& out, const char* source, std::uint32_t eventId,
                       const InsertionTable& strings, std::size_t count) {
    static constexpr std::string_view kHead = "ｿｰｽ (";
    static constexpr std::string_view kMiddle = ") 内のｲﾍﾞﾝﾄ ID (";
    static constexpr std::string_view kTail =
        ") に関する説明が見つかりません。次の挿入文字列が含まれています:";
    if (count > strings.size()) count = strings.size();

    // Measured first, then copied once: this runs for nearly every kept event.
    std::size_t lengths[kInsertionTableSize];
    std::size_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        lengths[i] = strings[i] != nullptr ? std::strlen(strings[i]) : 0;
        total += lengths[i] + 1;
    }
    out.assign(kHead);
    out.append(source);
    out.append(kMiddle);
    out.append(std::to_string(eventId & 0xFFFF));
    out.append(kTail);
    const std::size_t start = out.size();
    out.resize(start + (count == 0 ? 0 : total - 1));
    char* at = out.data() + start;
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0) *at++ = ',';
        if (lengths[i] != 0) std::memcpy(at, strings[i], lengths[i]);
        at += lengths[i];
    }
}

}  // namespace kestrel
