#pragma once
// What an analyst wants of a logon event beyond the table's texts: where it
// came from, its logon ID, why it failed and which computer wrote it, read
// from the insertion strings the table reads too.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/log_event.h"

namespace kestrel {

enum class EventKind {
    Logon,                // 4624
    FailedLogon,          // 4625
    Logoff,               // 4634, 4647
    ExplicitCredentials,  // 4648: a process used another account's credentials
    SpecialPrivileges,    // 4672: a logon with administrator's privileges
    Lockout,              // 4740
    KerberosTicket,       // 4768: a ticket-granting ticket, on a domain controller
    ServiceTicket,        // 4769
    PreAuthFailed,        // 4771: Kerberos pre-authentication failed
    NtlmValidation,       // 4776: a domain controller checked an NTLM logon
    SessionReconnected,   // 4778: a Remote Desktop session
    SessionDisconnected,  // 4779
};

// Texts are CP932 and point into the event: valid while it is handed on.
struct EventDetails {
    EventKind kind = EventKind::Logon;
    std::uint32_t recordId = 0;
    std::uint16_t eventId = 0;                // low 16 bits: 4624, 4625, 4634 or 4647
    std::int64_t utc = 0;                     // seconds since 1970, UTC
    std::int32_t utcOffset = 0;               // seconds east of UTC at that moment
    std::string_view user, domain;            // the account the event is about
    std::optional<std::string_view> userSid;  // its SID, where the event names it
    std::optional<std::uint32_t> logonType;
    // Where it came from: 4740's caller computer, 4778/4779's client name and address.
    std::optional<std::string_view> workstation, ip;
    std::optional<std::uint32_t> port;
    std::optional<std::uint64_t> logonId, status, subStatus;
    std::string_view origin;

    // The account that acted (4648; 4740: the controller that locked the account).
    std::string_view subjectUser, subjectDomain;
    std::optional<std::string_view> targetServer, process;  // 4648
    std::optional<std::string_view> privileges;             // 4672, as written
    std::optional<std::string_view> service;                // 4768, 4769, 4771
    std::optional<std::uint64_t> ticketEncryption;          // 4768, 4769
    std::optional<std::string_view> sessionName;            // 4778, 4779
};

// The details of the events listed with EventKind; false for any other.
bool ReadEventDetails(const LogEvent& event, EventDetails& details);

// "0x3e7": lower case, no leading zeros ("0x0" for zero).
void AppendHex(std::uint64_t value, std::string& out);

// A failed logon or pre-authentication, or a ticket or NTLM check that failed.
bool IsFailure(const EventDetails& details);

// The CP932 text for why it failed: the sub-status's if known, else the
// status's, else "その他 (0x...)" ("その他" without a status).
void AppendFailureReason(const EventDetails& details, std::string& out);

// The CP932 name the window shows for a logon type (2 "対話型", 10
// "ﾘﾓｰﾄ対話型"); null for the types without one (0, 1, 6, 12 on).
const char* LogonTypeName(std::uint32_t type);

// "2024-03-15T09:21:42+09:00", local time with its offset.
void AppendIsoTime(std::int64_t utc, std::int32_t utcOffset, std::string& out);
// "2024/03/15 09:21:42", local time as the table shows it without its blanks.
void AppendLocalTimeText(std::int64_t utc, std::int32_t utcOffset, std::string& out);

// Parsers of insertion strings; empty for texts that are no such number.
std::optional<std::uint32_t> ParseDecimal(std::string_view text);
std::optional<std::uint64_t> ParseHex(std::string_view text);

}  // namespace kestrel
