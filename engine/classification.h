#pragma once
// Turns logons (4624), failed logons (4625) and logoffs (4634) into rows of the
// result table; every other event is dropped.
#include "engine/log_event.h"
#include "engine/ports.h"

namespace kestrel {

// Image indexes of the result view's image list.
inline constexpr int kImageNeutral = 0;
inline constexpr int kImageAuditSuccess = 3;
inline constexpr int kImageAuditFailure = 4;

// Columns of the result table.
enum ResultColumn {
    kColumnIcon = 0,
    kColumnTime = 1,
    kColumnLogon = 2,
    kColumnLogoff = 3,
    kColumnUser = 4,
    kColumnDomain = 5,
    kColumnEventId = 6,
    kColumnLogonType = 7,
};

class EventClassifier {
public:
    explicit EventClassifier(ResultTablePort& table) : table_(table) {}
    // 1 when a row was added, 0 when the event was dropped.
    int InsertEventMessage(const LogEvent& event);

private:
    ResultTablePort& table_;
};

// "ローカル" for "2", "ネットワーク" for "3", else empty.
const char* LogonTypeText(const char* logonType);

}  // namespace kestrel
