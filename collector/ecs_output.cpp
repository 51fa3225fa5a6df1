#include "collector/ecs_output.h"

#include <initializer_list>
#include <variant>

#include "analysis/failure_codes.h"
#include "collector/json_text.h"
#include "collector/nested_json.h"

namespace kestrel {
namespace {

// A member of EventDetails that goes into winlog.event_data, by its kind.
using Text = std::string_view EventDetails::*;
using OptionalText = std::optional<std::string_view> EventDetails::*;
using Code = std::optional<std::uint64_t> EventDetails::*;  // written in hex
using Count = std::optional<std::uint32_t> EventDetails::*;

struct Data {
    const char* name;  // the event's own name of the field
    std::variant<Text, OptionalText, Code, Count> member;
};

// How ECS classes an event, and the fields of its data the line keeps.
struct EcsKind {
    EventKind kind;
    const char* action;
    const char* category;  // a JSON array
    const char* type;      // a JSON array
    std::initializer_list<Data> data;
};

using D = EventDetails;
constexpr const char* kAuthentication = R"(["authentication"])";
constexpr const char* kStart = R"(["start"])";
constexpr const char* kSession = R"(["authentication","session"])";
// 4778 and 4779 share their fields.
const std::initializer_list<Data> kSessionData = {
    {"AccountName", &D::user},        {"AccountDomain", &D::domain},   {"LogonID", &D::logonId},
    {"SessionName", &D::sessionName}, {"ClientName", &D::workstation}, {"ClientAddress", &D::ip}};
const EcsKind kKinds[] = {
    {EventKind::Logon,
     "logged-in",
     kAuthentication,
     kStart,
     {{"TargetUserName", &D::user},
      {"TargetDomainName", &D::domain},
      {"TargetUserSid", &D::userSid},
      {"TargetLogonId", &D::logonId},
      {"LogonType", &D::logonType},
      {"WorkstationName", &D::workstation},
      {"IpAddress", &D::ip},
      {"IpPort", &D::port}}},
    {EventKind::FailedLogon,
     "logon-failed",
     kAuthentication,
     kStart,
     {{"TargetUserName", &D::user},
      {"TargetDomainName", &D::domain},
      {"TargetUserSid", &D::userSid},
      {"Status", &D::status},
      {"SubStatus", &D::subStatus},
      {"LogonType", &D::logonType},
      {"WorkstationName", &D::workstation},
      {"IpAddress", &D::ip},
      {"IpPort", &D::port}}},
    {EventKind::Logoff,
     "logged-out",
     kAuthentication,
     R"(["end"])",
     {{"TargetUserName", &D::user},
      {"TargetDomainName", &D::domain},
      {"TargetUserSid", &D::userSid},
      {"TargetLogonId", &D::logonId},
      {"LogonType", &D::logonType}}},
    {EventKind::ExplicitCredentials,
     "logged-in-explicit",
     kAuthentication,
     kStart,
     {{"SubjectUserName", &D::subjectUser},
      {"SubjectDomainName", &D::subjectDomain},
      {"SubjectLogonId", &D::logonId},
      {"TargetUserName", &D::user},
      {"TargetDomainName", &D::domain},
      {"TargetServerName", &D::targetServer},
      {"ProcessName", &D::process},
      {"IpAddress", &D::ip},
      {"IpPort", &D::port}}},
    {EventKind::SpecialPrivileges,
     "logged-in-special",
     R"(["iam"])",
     R"(["admin"])",
     {{"SubjectUserName", &D::user},
      {"SubjectDomainName", &D::domain},
      {"SubjectUserSid", &D::userSid},
      {"SubjectLogonId", &D::logonId},
      {"PrivilegeList", &D::privileges}}},
    {EventKind::Lockout,
     "locked-out-user-account",
     R"(["iam"])",
     R"(["user","change"])",
     {{"TargetUserName", &D::user},
      {"TargetDomainName", &D::workstation},
      {"TargetSid", &D::userSid},
      {"SubjectUserName", &D::subjectUser},
      {"SubjectDomainName", &D::domain}}},
    {EventKind::KerberosTicket,
     "kerberos-authentication-ticket-requested",
     kAuthentication,
     kStart,
     {{"TargetUserName", &D::user},
      {"TargetDomainName", &D::domain},
      {"TargetSid", &D::userSid},
      {"ServiceName", &D::service},
      {"Status", &D::status},
      {"TicketEncryptionType", &D::ticketEncryption},
      {"IpAddress", &D::ip},
      {"IpPort", &D::port}}},
    {EventKind::ServiceTicket,
     "kerberos-service-ticket-requested",
     kAuthentication,
     kStart,
     {{"TargetUserName", &D::user},
      {"TargetDomainName", &D::domain},
      {"ServiceName", &D::service},
      {"TicketEncryptionType", &D::ticketEncryption},
      {"IpAddress", &D::ip},
      {"IpPort", &D::port},
      {"Status", &D::status}}},
    {EventKind::PreAuthFailed,
     "kerberos-preauth-failed",
     kAuthentication,
     kStart,
     {{"TargetUserName", &D::user},
      {"TargetSid", &D::userSid},
      {"ServiceName", &D::service},
      {"Status", &D::status},
      {"IpAddress", &D::ip},
      {"IpPort", &D::port}}},
    {EventKind::NtlmValidation,
     "credential-validated",
     kAuthentication,
     kStart,
     {{"TargetUserName", &D::user}, {"Workstation", &D::workstation}, {"Status", &D::status}}},
    {EventKind::SessionReconnected, "session-reconnected", kSession, kStart, kSessionData},
    {EventKind::SessionDisconnected, "session-disconnected", kSession, R"(["end"])", kSessionData},
};

const EcsKind& KindOf(EventKind kind) {
    for (const EcsKind& entry : kKinds) {
        if (entry.kind == kind) return entry;
    }
    return kKinds[0];
}

// Indexed by the logon type: the names winlog.logon.type gives them.
constexpr const char* kLogonTypes[] = {
    nullptr,
    nullptr,
    "Interactive",
    "Network",
    "Batch",
    "Service",
    nullptr,
    "Unlock",
    "NetworkCleartext",
    "NewCredentials",
    "RemoteInteractive",
    "CachedInteractive",
};

void Quoted(std::string_view text, std::string& out) {
    out += '"';
    out += text;
    out += '"';
}

void AppendDecimalText(NestedJson& json, const char* key, const std::optional<std::uint32_t>& value) {
    if (!value) return;
    std::string& out = json.Key(key);
    out += '"';
    AppendJsonNumber(*value, out);
    out += '"';
}

// The event's data under its own field names, texts as Windows keeps them.
void AppendEventData(const EventDetails& d, NestedJson& json) {
    json.Open("event_data");
    for (const Data& data : KindOf(d.kind).data) {
        if (const Text* text = std::get_if<Text>(&data.member)) {
            json.Text(data.name, d.**text);
        } else if (const OptionalText* optional = std::get_if<OptionalText>(&data.member)) {
            json.Text(data.name, d.**optional);
        } else if (const Code* code = std::get_if<Code>(&data.member)) {
            json.Hex(data.name, d.**code);
        } else {
            AppendDecimalText(json, data.name, d.*std::get<Count>(data.member));
        }
    }
    json.Close();
}

// A status code as the failure table words it, its hex when the table has none.
void AppendCodeText(NestedJson& json, const char* key, const EventDetails& d,
                    const std::optional<std::uint64_t>& code) {
    if (!code) return;
    const bool kerberos = d.kind == EventKind::KerberosTicket || d.kind == EventKind::ServiceTicket ||
                          d.kind == EventKind::PreAuthFailed;
    std::string text;
    if (const char* known = FailureText(kerberos ? FailureCodes::Kerberos : FailureCodes::NtStatus, *code)) {
        text = known;
    } else {
        AppendHex(*code, text);
    }
    json.Text(key, text);
}

void AppendLogon(const EventDetails& d, NestedJson& json) {
    json.Open("logon");
    json.Hex("id", d.logonId);
    if (d.logonType && *d.logonType < std::size(kLogonTypes) && kLogonTypes[*d.logonType] != nullptr) {
        Quoted(kLogonTypes[*d.logonType], json.Key("type"));
    }
    if (IsFailure(d)) {
        json.Open("failure");
        std::string reason;
        AppendFailureReason(d, reason);
        json.Text("reason", reason);
        AppendCodeText(json, "status", d, d.status);
        AppendCodeText(json, "sub_status", d, d.subStatus);
        json.Close();
    }
    json.Close();
}

// The distinct users and the address the event names, for related.*.
void AppendRelated(const EventDetails& d, NestedJson& json) {
    json.Open("related");
    const bool subject = !NestedJson::IsNone(d.subjectUser) && d.subjectUser != d.user;
    if (!NestedJson::IsNone(d.user) || subject) {
        std::string& out = json.Key("user");
        out += '[';
        if (!NestedJson::IsNone(d.user)) AppendJsonString(d.user, out);
        if (subject) {
            if (out.back() != '[') out += ',';
            AppendJsonString(d.subjectUser, out);
        }
        out += ']';
    }
    if (d.ip && IsIpAddress(*d.ip)) {
        std::string& out = json.Key("ip");
        out += '[';
        AppendJsonString(*d.ip, out);
        out += ']';
    }
    json.Close();
}

void AppendEventFields(const EventDetails& d, NestedJson& json) {
    const EcsKind& kind = KindOf(d.kind);
    json.Open("event");
    AppendDecimalText(json, "code", d.eventId);
    Quoted(kind.action, json.Key("action"));
    json.Raw("category", kind.category);
    json.Raw("type", kind.type);
    Quoted(IsFailure(d) ? "failure" : "success", json.Key("outcome"));
    json.Raw("kind", R"("event")");
    json.Raw("provider", R"("Microsoft-Windows-Security-Auditing")");
    json.Close();
}

// Who and from where, in ECS's own fields.
void AppendAccountFields(const EventDetails& d, NestedJson& json) {
    json.Open("user");
    json.Text("name", d.user);
    json.Text("domain", d.domain);
    json.Text("id", d.userSid);
    json.Close();
    json.Open("source");
    if (d.ip && IsIpAddress(*d.ip)) json.Text("ip", d.ip);
    json.Number("port", d.port);
    json.Text("domain", d.workstation);
    json.Close();
    json.Open("process");
    json.Text("executable", d.process);
    json.Close();
    AppendRelated(d, json);
}

// Digits with at most `most` of them, ending at a character not taken.
std::size_t Digits(std::string_view text, std::size_t at, bool hex, std::size_t most) {
    std::size_t n = 0;
    while (at + n < text.size() && n <= most) {
        const char c = text[at + n];
        const bool digit =
            (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
        if (!digit) break;
        ++n;
    }
    return n <= most ? n : 0;
}

bool IsIpv4(std::string_view text) {
    std::size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && (at >= text.size() || text[at++] != '.')) return false;
        const std::size_t n = Digits(text, at, false, 3);
        if (n == 0 || (n > 1 && text[at] == '0')) return false;
        if (std::stoi(std::string(text.substr(at, n))) > 255) return false;
        at += n;
    }
    return at == text.size();
}

// Hex groups between single colons, the last two groups perhaps an IPv4
// address (where `last`); adds the groups to `groups`.
bool Ipv6Groups(std::string_view part, bool last, int& groups) {
    for (std::size_t at = 0; at < part.size();) {
        const std::size_t n = Digits(part, at, true, 4);
        if (last && at + n < part.size() && part[at + n] == '.') {
            groups += 2;
            return IsIpv4(part.substr(at));
        }
        if (n == 0) return false;
        ++groups;
        at += n;
        if (at == part.size()) break;
        if (part[at] != ':' || at + 1 == part.size()) return false;
        ++at;
    }
    return true;
}

// Eight groups, or fewer with one "::" standing for the rest.
bool IsIpv6(std::string_view text) {
    constexpr auto npos = std::string_view::npos;
    const std::size_t gap = text.find("::");
    int groups = 0;
    if (gap == npos) return Ipv6Groups(text, true, groups) && groups == 8;
    if (text.find("::", gap + 1) != npos) return false;
    return Ipv6Groups(text.substr(0, gap), false, groups) && Ipv6Groups(text.substr(gap + 2), true, groups) &&
           groups < 8;
}

}  // namespace

void AppendUtcTime(std::int64_t utc, std::string& out) {
    AppendIsoTime(utc, 0, out);
    out.resize(out.size() - 6);  // "+00:00"
    out += 'Z';
}

bool IsIpAddress(std::string_view text) {
    return text.find(':') == std::string_view::npos ? IsIpv4(text) : IsIpv6(text);
}

void EcsRowOutput::Event(const LogEvent& event, const TableRow* row, const EventDetails* details,
                         std::string& out) {
    const EventDetails* read = row != nullptr ? DetailsOf(event, details, details_) : nullptr;
    if (read == nullptr) return;
    const EventDetails& d = *read;
    out += '{';
    NestedJson json(out);
    AppendUtcTime(d.utc, json.Key("@timestamp").append("\""));
    out += '"';
    AppendEventFields(d, json);
    json.Open("host");
    json.Text("name", computer_);
    json.Close();
    AppendAccountFields(d, json);
    json.Open("winlog");
    json.Text("channel", channel_);
    json.Text("computer_name", d.origin);
    AppendDecimalText(json, "event_id", d.eventId);
    json.Raw("provider_name", R"("Microsoft-Windows-Security-Auditing")");
    AppendDecimalText(json, "record_id", d.recordId);
    AppendLogon(d, json);
    AppendEventData(d, json);
    json.Close();
    if (messages_) json.Text("message", std::string_view(event.message != nullptr ? event.message : ""));
    out += "}\n";
}

}  // namespace kestrel
