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

void AppendKey(Key key, const EventDetails& d, std::string& out, JsonAbsent absent) {
    auto text = [&](const char* name, const std::optional<std::string_view>& value) {
        AppendJsonTextKey(name, value, out, absent);
    };
    auto hex = [&](const char* name, const std::optional<std::uint64_t>& value) {
        AppendJsonHexKey(name, value, out, absent);
    };
    switch (key) {
        case User:
            return text("user", d.user);
        case Domain:
            return text("domain", d.domain);
        case SubjectUser:
            return text("subject_user", d.subjectUser);
        case SubjectDomain:
            return text("subject_domain", d.subjectDomain);
        case LogonId:
            return hex("logon_id", d.logonId);
        case TargetServer:
            return text("target_server", d.targetServer);
        case Process:
            return text("process", d.process);
        case Ip:
            return text("ip", d.ip);
        case Port:
            return AppendJsonNumberKey("port", d.port, out, absent);
        case Privileges:
            return text("privileges", d.privileges);
        case CallerComputer:
            return text("caller_computer", d.workstation);
        case Service:
            return text("service", d.service);
        case Status:
            return hex("status", d.status);
        case FailureReason: {
            std::string reason;
            if (IsFailure(d)) AppendFailureReason(d, reason);
            return text("failure_reason",
                        IsFailure(d) ? std::optional<std::string_view>(reason) : std::nullopt);
        }
        case TicketEncryption:
            return hex("ticket_encryption", d.ticketEncryption);
        case Workstation:
            return text("workstation", d.workstation);
        case SessionName:
            return text("session_name", d.sessionName);
        case ClientName:
            return text("client_name", d.workstation);
        case ClientAddress:
            return text("client_address", d.ip);
    }
}

}  // namespace

const char* JsonKindName(EventKind kind) { return KeysOf(kind).name; }

void AppendEventKeys(const EventDetails& details, std::string& out, JsonAbsent absent) {
    for (const Key key : KeysOf(details.kind).keys) AppendKey(key, details, out, absent);
}

}  // namespace kestrel
