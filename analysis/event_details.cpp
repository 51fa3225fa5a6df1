#include "analysis/event_details.h"

#include <array>

#include "analysis/failure_codes.h"
#include "analysis/security_fields.h"
#include "base/civil_date.h"
#include "engine/local_clock.h"

namespace kestrel {
namespace {

std::string_view Entry(const InsertionTable& strings, std::size_t index) {
    return strings[index] != nullptr ? std::string_view(strings[index]) : std::string_view();
}

// Absent, empty and "-" all mean "none" in these events.
std::optional<std::string_view> Present(const InsertionTable& strings, std::size_t index) {
    const std::string_view text = Entry(strings, index);
    if (text.empty() || text == "-") return std::nullopt;
    return text;
}

std::optional<std::uint32_t> DecimalAt(const InsertionTable& strings, std::size_t index) {
    return ParseDecimal(Entry(strings, index));
}

std::optional<std::uint64_t> HexAt(const InsertionTable& strings, std::size_t index) {
    return ParseHex(Entry(strings, index));
}

struct Civil {
    std::int64_t year;
    unsigned month, day, hour, minute, second;
};

Civil CivilFromSeconds(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) rest += 86400, --days;
    Civil c{};
    CivilFromDays(days, c.year, c.month, c.day);
    const auto r = static_cast<unsigned>(rest);
    c.hour = r / 3600, c.minute = r / 60 % 60, c.second = r % 60;
    return c;
}

void AppendDigits(unsigned value, int width, std::string& out) {
    char digits[10];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(digits, static_cast<std::size_t>(width));
}

void AppendLocal(std::int64_t utc, std::int32_t utcOffset, char dateSeparator, char timeSeparator,
                 std::string& out) {
    const Civil c = CivilFromSeconds(utc + utcOffset);
    AppendDigits(static_cast<unsigned>(c.year), 4, out);
    out += dateSeparator;
    AppendDigits(c.month, 2, out);
    out += dateSeparator;
    AppendDigits(c.day, 2, out);
    out += timeSeparator;
    AppendDigits(c.hour, 2, out);
    out += ':';
    AppendDigits(c.minute, 2, out);
    out += ':';
    AppendDigits(c.second, 2, out);
}

// Indexed by the type.
constexpr const char* kLogonTypes[] = {
    nullptr, nullptr,   "対話型",         "ﾈｯﾄﾜｰｸ",         "ﾊﾞｯﾁ",       "ｻｰﾋﾞｽ",
    nullptr, "ﾛｯｸ解除", "ﾈｯﾄﾜｰｸ ｸﾘｱﾃｷｽﾄ", "新しい資格情報", "ﾘﾓｰﾄ対話型", "ｷｬｯｼｭ対話型",
};

}  // namespace

std::optional<std::uint32_t> ParseDecimal(std::string_view text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::optional<std::uint64_t> ParseHex(std::string_view text) {
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return std::nullopt;
    text.remove_prefix(2);
    // Leading zeros do not count against the 16 digits a 64-bit value has.
    while (text.size() > 1 && text.front() == '0') text.remove_prefix(1);
    if (text.size() > 16) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        value = value << 4 | digit;
    }
    return value;
}

namespace {

using fields::At;

// 4624 and 4625: the same fields in other places.
template <const auto& kNames>
void ReadLogon(const InsertionTable& s, EventDetails& d) {
    d.user = Entry(s, At(kNames, "TargetUserName")), d.domain = Entry(s, At(kNames, "TargetDomainName"));
    d.userSid = Present(s, At(kNames, "TargetUserSid"));
    d.logonType = DecimalAt(s, At(kNames, "LogonType"));
    d.workstation = Present(s, At(kNames, "WorkstationName"));
    d.ip = Present(s, At(kNames, "IpAddress")), d.port = DecimalAt(s, At(kNames, "IpPort"));
}

// 4624, 4625, 4634 and 4647: the events of the table's rows.
bool ReadLogonEvent(std::uint32_t eventId, const InsertionTable& s, EventDetails& d) {
    using namespace fields;
    switch (eventId) {
        case 4624:
            d.kind = EventKind::Logon;
            ReadLogon<k4624>(s, d);
            d.logonId = HexAt(s, At(k4624, "TargetLogonId"));
            return true;
        case 4625:
            d.kind = EventKind::FailedLogon;
            ReadLogon<k4625>(s, d);
            d.status = HexAt(s, At(k4625, "Status")), d.subStatus = HexAt(s, At(k4625, "SubStatus"));
            return true;
        case 4634:
        case 4647:  // 4634's fields less the logon type
            d.kind = EventKind::Logoff;
            d.user = Entry(s, At(k4634, "TargetUserName")),
            d.domain = Entry(s, At(k4634, "TargetDomainName"));
            d.userSid = Present(s, At(k4634, "TargetUserSid"));
            if (eventId == 4634) d.logonType = DecimalAt(s, At(k4634, "LogonType"));
            d.logonId = HexAt(s, At(k4634, "TargetLogonId"));
            return true;
        default:
            return false;
    }
}

// 4648, 4672, 4740, 4778 and 4779: who used what, on any computer.
bool ReadAccountEvent(std::uint32_t eventId, const InsertionTable& s, EventDetails& d) {
    using namespace fields;
    switch (eventId) {
        case 4648:
            d.kind = EventKind::ExplicitCredentials;
            d.subjectUser = Entry(s, At(k4648, "SubjectUserName"));
            d.subjectDomain = Entry(s, At(k4648, "SubjectDomainName"));
            d.logonId = HexAt(s, At(k4648, "SubjectLogonId"));
            d.user = Entry(s, At(k4648, "TargetUserName")),
            d.domain = Entry(s, At(k4648, "TargetDomainName"));
            d.targetServer = Present(s, At(k4648, "TargetServerName"));
            d.process = Present(s, At(k4648, "ProcessName"));
            d.ip = Present(s, At(k4648, "IpAddress")), d.port = DecimalAt(s, At(k4648, "IpPort"));
            return true;
        case 4672:
            d.kind = EventKind::SpecialPrivileges;
            d.user = Entry(s, At(k4672, "SubjectUserName")),
            d.domain = Entry(s, At(k4672, "SubjectDomainName"));
            d.userSid = Present(s, At(k4672, "SubjectUserSid"));
            d.logonId = HexAt(s, At(k4672, "SubjectLogonId"));
            d.privileges = Present(s, At(k4672, "PrivilegeList"));
            return true;
        case 4740:
            d.kind = EventKind::Lockout;
            d.user = Entry(s, At(k4740, "TargetUserName"));
            d.userSid = Present(s, At(k4740, "TargetSid"));
            d.workstation = Present(s, At(k4740, "TargetDomainName"));
            d.subjectUser = Entry(s, At(k4740, "SubjectUserName"));
            d.domain = d.subjectDomain = Entry(s, At(k4740, "SubjectDomainName"));
            return true;
        case 4778:
        case 4779:
            d.kind = eventId == 4778 ? EventKind::SessionReconnected : EventKind::SessionDisconnected;
            d.user = Entry(s, At(k4778, "AccountName")), d.domain = Entry(s, At(k4778, "AccountDomain"));
            d.logonId = HexAt(s, At(k4778, "LogonID"));
            d.sessionName = Present(s, At(k4778, "SessionName"));
            d.workstation = Present(s, At(k4778, "ClientName")),
            d.ip = Present(s, At(k4778, "ClientAddress"));
            return true;
        default:
            return false;
    }
}

// 4768 and 4769: the same fields in other places.
template <const auto& kNames>
void ReadTicket(const InsertionTable& s, EventDetails& d) {
    d.user = Entry(s, At(kNames, "TargetUserName")), d.domain = Entry(s, At(kNames, "TargetDomainName"));
    d.service = Present(s, At(kNames, "ServiceName"));
    d.ip = Present(s, At(kNames, "IpAddress")), d.port = DecimalAt(s, At(kNames, "IpPort"));
    d.status = HexAt(s, At(kNames, "Status"));
    d.ticketEncryption = HexAt(s, At(kNames, "TicketEncryptionType"));
}

// 4768, 4769, 4771 and 4776: a domain controller checking an account.
bool ReadDomainControllerEvent(std::uint32_t eventId, const InsertionTable& s, EventDetails& d) {
    using namespace fields;
    switch (eventId) {
        case 4768:
            d.kind = EventKind::KerberosTicket;
            ReadTicket<k4768>(s, d);
            d.userSid = Present(s, At(k4768, "TargetSid"));
            return true;
        case 4769:
            d.kind = EventKind::ServiceTicket;
            ReadTicket<k4769>(s, d);
            return true;
        case 4771:
            d.kind = EventKind::PreAuthFailed;
            d.user = Entry(s, At(k4771, "TargetUserName"));
            d.userSid = Present(s, At(k4771, "TargetSid"));
            d.service = Present(s, At(k4771, "ServiceName"));
            d.ip = Present(s, At(k4771, "IpAddress")), d.port = DecimalAt(s, At(k4771, "IpPort"));
            d.status = HexAt(s, At(k4771, "Status"));
            return true;
        case 4776:
            d.kind = EventKind::NtlmValidation;
            d.user = Entry(s, At(k4776, "TargetUserName"));
            d.workstation = Present(s, At(k4776, "Workstation"));
            d.status = HexAt(s, At(k4776, "Status"));
            return true;
        default:
            return false;
    }
}

}  // namespace

bool ReadEventDetails(const LogEvent& event, EventDetails& d) {
    const InsertionTable& s = event.strings;
    d = EventDetails{};
    d.eventId = static_cast<std::uint16_t>(event.eventId & 0xFFFF);
    if (!ReadLogonEvent(event.eventId, s, d) && !ReadAccountEvent(event.eventId, s, d) &&
        !ReadDomainControllerEvent(event.eventId, s, d)) {
        return false;
    }
    d.recordId = event.record.RecordNumber;
    d.utc = event.record.TimeGenerated;
    // The time text is the local time the reader worked out for this record;
    // the offset is what lies between the two.
    if (const auto local = LocalSecondsOf(event.timeText != nullptr ? event.timeText : "")) {
        d.utcOffset = static_cast<std::int32_t>(*local - d.utc);
    }
    d.origin = event.origin != nullptr ? event.origin : "";
    return true;
}

void AppendHex(std::uint64_t value, std::string& out) {
    static constexpr char kDigits[] = "0123456789abcdef";
    char text[16];
    int count = 0;
    do {
        text[count++] = kDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    out += "0x";
    while (count > 0) out += text[--count];
}

const char* LogonTypeName(std::uint32_t type) {
    return type < std::size(kLogonTypes) ? kLogonTypes[type] : nullptr;
}

bool IsFailure(const EventDetails& d) {
    switch (d.kind) {
        case EventKind::FailedLogon:
        case EventKind::PreAuthFailed:
            return true;
        case EventKind::KerberosTicket:
        case EventKind::ServiceTicket:
        case EventKind::NtlmValidation:
            return d.status && *d.status != 0;
        default:
            return false;
    }
}

void AppendFailureReason(const EventDetails& d, std::string& out) {
    const bool kerberos = d.kind == EventKind::KerberosTicket || d.kind == EventKind::ServiceTicket ||
                          d.kind == EventKind::PreAuthFailed;
    const FailureCodes codes = kerberos ? FailureCodes::Kerberos : FailureCodes::NtStatus;
    const char* text = d.subStatus ? FailureText(codes, *d.subStatus) : nullptr;
    if (text == nullptr && d.status) text = FailureText(codes, *d.status);
    if (text != nullptr) {
        out += text;
        return;
    }
    out += "その他";
    if (d.status) {
        out += " (";
        AppendHex(*d.status, out);
        out += ')';
    }
}

void AppendIsoTime(std::int64_t utc, std::int32_t utcOffset, std::string& out) {
    AppendLocal(utc, utcOffset, '-', 'T', out);
    const std::int32_t minutes = (utcOffset >= 0 ? utcOffset : -utcOffset) / 60;
    out += utcOffset >= 0 ? '+' : '-';
    AppendDigits(static_cast<unsigned>(minutes / 60), 2, out);
    out += ':';
    AppendDigits(static_cast<unsigned>(minutes % 60), 2, out);
}

void AppendLocalTimeText(std::int64_t utc, std::int32_t utcOffset, std::string& out) {
    AppendLocal(utc, utcOffset, '/', ' ', out);
}

}  // namespace kestrel
