#include "engine/classification.h"

#include <array>
#include <cstring>

namespace kestrel {
namespace {

constexpr const char* kLogon = "ログオン";
constexpr const char* kLogonFailed = "ログオン失敗";
constexpr const char* kLogoff = "ログオフ";

const char* Entry(const InsertionTable& strings, std::size_t index) {
    return strings[index] != nullptr ? strings[index] : "";
}

bool IsLeftOutServiceAccount(const char* user) {
    return std::strcmp(user, "SYSTEM") == 0 || std::strcmp(user, "LOCAL SERVICE") == 0 ||
           std::strcmp(user, "NETWORK SERVICE") == 0;
}

// "%lu" of a 16-bit number, without the cost of the formatted-output machinery.
std::array<char, 8> DecimalText(std::uint32_t value) {
    std::array<char, 8> text{};
    char digits[8];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && count < 7);
    for (int i = 0; i < count; ++i) text[static_cast<std::size_t>(i)] = digits[count - 1 - i];
    return text;
}

int ImageOf(std::uint16_t eventType) {
    if (eventType == kEventTypeAuditSuccess) return kImageAuditSuccess;
    if (eventType == kEventTypeAuditFailure) return kImageAuditFailure;
    return kImageNeutral;
}

}  // namespace

const char* LogonTypeText(const char* logonType) {
    if (std::strcmp(logonType, "2") == 0) return "ローカル";
    if (std::strcmp(logonType, "3") == 0) return "ネットワーク";
    return "";
}

int EventClassifier::InsertEventMessage(const LogEvent& event) {
    const char* kind;
    int kindColumn;
    std::size_t userIndex, domainIndex, logonTypeIndex = 0;
    switch (event.eventId) {
        case 4624:
            kind = kLogon, kindColumn = kColumnLogon, userIndex = 5, domainIndex = 6, logonTypeIndex = 8;
            if (IsLeftOutServiceAccount(Entry(event.strings, userIndex))) return 0;
            break;
        case 4625:
            kind = kLogonFailed, kindColumn = kColumnLogon, userIndex = 5, domainIndex = 6,
            logonTypeIndex = 10;
            break;
        case 4634:
            kind = kLogoff, kindColumn = kColumnLogoff, userIndex = 1, domainIndex = 2;
            break;
        default:
            return 0;
    }

    const int row = table_.ItemCount();
    table_.InsertItem(row, ImageOf(event.record.EventType));
    table_.SetItemText(row, kColumnDomain, Entry(event.strings, domainIndex));
    table_.SetItemText(row, kColumnUser, Entry(event.strings, userIndex));
    table_.SetItemText(row, kindColumn, kind);
    if (logonTypeIndex != 0) {
        table_.SetItemText(row, kColumnLogonType, LogonTypeText(Entry(event.strings, logonTypeIndex)));
    }
    table_.SetItemText(row, kColumnTime, event.timeText);
    table_.SetItemText(row, kColumnEventId, DecimalText(event.eventId & 0xFFFF).data());
    table_.RedrawItems(0, table_.ItemCount());
    return 1;
}

}  // namespace kestrel
