#include "engine/fallback_text.h"

namespace kestrel {

void BuildFallbackText(std::string& out, const char* source, std::uint32_t eventId,
                       const InsertionTable& strings, std::size_t count) {
    out.assign("ｿｰｽ (");
    out.append(source);
    out.append(") 内のｲﾍﾞﾝﾄ ID (");
    out.append(std::to_string(eventId & 0xFFFF));
    out.append(") に関する説明が見つかりません。次の挿入文字列が含まれています:");
    if (count > strings.size()) count = strings.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0) out.push_back(',');
        if (strings[i] != nullptr) out.append(strings[i]);
    }
}

}  // namespace kestrel
