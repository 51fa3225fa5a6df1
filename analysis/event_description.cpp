#include "analysis/event_description.h"

#include <cstdio>
#include <cstdlib>

#include "analysis/event_details.h"

namespace kestrel {
namespace {

// " (UTC+09:00)": the zone's offset at the event's moment.
void AppendUtcOffset(std::int32_t offset, std::string& out) {
    char text[24];
    const unsigned minutes = static_cast<unsigned>(std::abs(offset)) / 60;
    std::snprintf(text, sizeof text, " (UTC%c%02u:%02u)", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    out += text;
}

std::string Hex(const std::optional<std::uint64_t>& value) {
    std::string text;
    if (value) AppendHex(*value, text);
    return text;
}

}  // namespace

const char* EventKindText(EventKind kind) {
    switch (kind) {
        case EventKind::Logon:
            return "ログオン";
        case EventKind::FailedLogon:
            return "ログオン失敗";
        case EventKind::Logoff:
            return "ログオフ";
        case EventKind::ExplicitCredentials:
            return "明示的な資格情報の使用";
        case EventKind::SpecialPrivileges:
            return "特権の割り当て";
        case EventKind::Lockout:
            return "アカウントのロックアウト";
        case EventKind::KerberosTicket:
            return "Kerberos 認証チケットの要求";
        case EventKind::ServiceTicket:
            return "Kerberos サービスチケットの要求";
        case EventKind::PreAuthFailed:
            return "Kerberos 事前認証の失敗";
        case EventKind::NtlmValidation:
            return "NTLM 認証の確認";
        case EventKind::SessionReconnected:
            return "セッションの再接続";
        case EventKind::SessionDisconnected:
            break;
    }
    return "セッションの切断";
}

bool DescribeEvent(const LogEvent& event, EventDescription& out) {
    EventDetails d;
    if (!ReadEventDetails(event, d)) return false;
    out = EventDescription{};
    out.origin = d.origin;
    AppendLocalTimeText(d.utc, d.utcOffset, out.time);
    AppendUtcOffset(d.utcOffset, out.time);
    out.recordNumber = std::to_string(d.recordId);
    out.eventId = std::to_string(d.eventId);
    out.kind = EventKindText(d.kind);
    out.user = d.user;
    out.domain = d.domain;
    if (d.logonType) {
        out.logonType = std::to_string(*d.logonType);
        if (const char* name = LogonTypeName(*d.logonType))
            out.logonType.append(" (").append(name).append(")");
    }
    out.workstation = d.workstation.value_or("");
    out.address = d.ip.value_or("");
    if (d.port) out.port = std::to_string(*d.port);
    out.logonId = Hex(d.logonId);
    out.status = Hex(d.status);
    out.subStatus = Hex(d.subStatus);
    if (IsFailure(d)) AppendFailureReason(d, out.failureReason);
    return true;
}

}  // namespace kestrel
