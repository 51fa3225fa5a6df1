#include "collector/event_json.h"

#include <initializer_list>

#include "collector/details_json.h"
#include "collector/json_text.h"

namespace kestrel {
namespace {

enum class Key {
    User,
    Domain,
    SubjectUser,
    SubjectDomain,
    LogonId,
    TargetServer,
    Process,
    Ip,
    Port,
    Privileges,
    CallerComputer,
    Service,
    Status,
    FailureReason,
    TicketEncryption,
    Workstation,
    SessionName,
    ClientName,
    ClientAddress,
};

struct KindKeys {
    EventKind kind;
    const char* name;
    std::initializer_list<Key> keys;
};

using enum Key;
const KindKeys kKinds[] = {
    {EventKind::Logon, "logon", {}},
    {EventKind::FailedLogon, "failed_logon", {}},
    {EventKind::Logoff, "logoff", {}},
    {EventKind::ExplicitCredentials,
     "explicit_credentials",
     {SubjectUser, SubjectDomain, LogonId, User, Domain, TargetServer, Process, Ip, Port}},
    {EventKind::SpecialPrivileges, "special_privileges", {User, Domain, LogonId, Privileges}},
    {EventKind::Lockout, "lockout", {User, Domain, CallerComputer, SubjectUser}},
    {EventKind::KerberosTicket,
     "kerberos_tgt",
     {User, Domain, Ip, Port, Status, FailureReason, TicketEncryption}},
    {EventKind::ServiceTicket,
     "kerberos_service_ticket",
     {User, Domain, Service, Ip, Port, Status, FailureReason, TicketEncryption}},
    {EventKind::PreAuthFailed, "kerberos_preauth_failed", {User, Service, Ip, Port, Status, FailureReason}},
    {EventKind::NtlmValidation, "ntlm_validation", {User, Workstation, Status, FailureReason}},
    {EventKind::SessionReconnected,
     "session_reconnected",
     {User, Domain, LogonId, SessionName, ClientName, ClientAddress}},
    {EventKind::SessionDisconnected,
     "session_disconnected",
     {User, Domain, LogonId, SessionName, ClientName, ClientAddress}},
};

const KindKeys& KeysOf(EventKind kind) {
    for (const KindKeys& entry : kKinds) {
        if (entry.kind == kind) return entry;
    }
    return kKinds[0];
}

void AppendText(const char* key, const std::optional<std::string_view>& value, std::string& out) {
    AppendJsonKey(key, out);
    AppendJsonStringOrNull(value, out);
}

void AppendKey(Key key, const EventDetails& d, std::string& out) {
    switch (key) {
        case User:
            AppendJsonKey("user", out), AppendJsonString(d.user, out);
            return;
        case Domain:
            AppendJsonKey("domain", out), AppendJsonString(d.domain, out);
            return;
        case SubjectUser:
            AppendJsonKey("subject_user", out), AppendJsonString(d.subjectUser, out);
            return;
        case SubjectDomain:
            AppendJsonKey("subject_domain", out), AppendJsonString(d.subjectDomain, out);
            return;
        case LogonId:
            return AppendJsonHexKey("logon_id", d.logonId, out);
        case TargetServer:
            return AppendText("target_server", d.targetServer, out);
        case Process:
            return AppendText("process", d.process, out);
        case Ip:
            return AppendText("ip", d.ip, out);
        case Port:
            AppendJsonKey("port", out), AppendJsonNumberOrNull(d.port, out);
            return;
        case Privileges:
            return AppendText("privileges", d.privileges, out);
        case CallerComputer:
            return AppendText("caller_computer", d.workstation, out);
        case Service:
            return AppendText("service", d.service, out);
        case Status:
            return AppendJsonHexKey("status", d.status, out);
        case FailureReason: {
            AppendJsonKey("failure_reason", out);
            if (!IsFailure(d)) {
                out += "null";
                return;
            }
            std::string reason;
            AppendFailureReason(d, reason);
            return AppendJsonString(reason, out);
        }
        case TicketEncryption:
            return AppendJsonHexKey("ticket_encryption", d.ticketEncryption, out);
        case Workstation:
            return AppendText("workstation", d.workstation, out);
        case SessionName:
            return AppendText("session_name", d.sessionName, out);
        case ClientName:
            return AppendText("client_name", d.workstation, out);
        case ClientAddress:
            return AppendText("client_address", d.ip, out);
    }
}

}  // namespace

const char* JsonKindName(EventKind kind) { return KeysOf(kind).name; }

void AppendEventKeys(const EventDetails& details, std::string& out) {
    for (const Key key : KeysOf(details.kind).keys) AppendKey(key, details, out);
}

}  // namespace kestrel
