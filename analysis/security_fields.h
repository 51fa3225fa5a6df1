#pragma once
// The EventData fields of the Security events Kestrel reads, by the names the
// Microsoft-Windows-Security-Auditing provider gives them. A record's
// insertion strings come in the order of its event's template, so a field is
// found by its name's place in that template. A later version of an event
// only adds fields at its end: the newest version's list names the fields of
// every version, and a field past an older record's strings is absent.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace kestrel::fields {

using Names = std::span<const std::string_view>;

// 4624 version 2; version 0 ends after IpPort, version 1 after ImpersonationLevel.
inline constexpr std::string_view k4624[] = {"SubjectUserSid",
                                             "SubjectUserName",
                                             "SubjectDomainName",
                                             "SubjectLogonId",
                                             "TargetUserSid",
                                             "TargetUserName",
                                             "TargetDomainName",
                                             "TargetLogonId",
                                             "LogonType",
                                             "LogonProcessName",
                                             "AuthenticationPackageName",
                                             "WorkstationName",
                                             "LogonGuid",
                                             "TransmittedServices",
                                             "LmPackageName",
                                             "KeyLength",
                                             "ProcessId",
                                             "ProcessName",
                                             "IpAddress",
                                             "IpPort",
                                             "ImpersonationLevel",
                                             "RestrictedAdminMode",
                                             "TargetOutboundUserName",
                                             "TargetOutboundDomainName",
                                             "VirtualAccount",
                                             "TargetLinkedLogonId",
                                             "ElevatedToken"};
inline constexpr std::string_view k4625[] = {"SubjectUserSid",
                                             "SubjectUserName",
                                             "SubjectDomainName",
                                             "SubjectLogonId",
                                             "TargetUserSid",
                                             "TargetUserName",
                                             "TargetDomainName",
                                             "Status",
                                             "FailureReason",
                                             "SubStatus",
                                             "LogonType",
                                             "LogonProcessName",
                                             "AuthenticationPackageName",
                                             "WorkstationName",
                                             "TransmittedServices",
                                             "LmPackageName",
                                             "KeyLength",
                                             "ProcessId",
                                             "ProcessName",
                                             "IpAddress",
                                             "IpPort"};
inline constexpr std::string_view k4634[] = {"TargetUserSid", "TargetUserName", "TargetDomainName",
                                             "TargetLogonId", "LogonType"};
inline constexpr std::string_view k4647[] = {"TargetUserSid", "TargetUserName", "TargetDomainName",
                                             "TargetLogonId"};
// Windows' template names the target's logon GUID "LogonGuid" as the subject's is.
inline constexpr std::string_view k4648[] = {"SubjectUserSid",   "SubjectUserName", "SubjectDomainName",
                                             "SubjectLogonId",   "LogonGuid",       "TargetUserName",
                                             "TargetDomainName", "TargetLogonGuid", "TargetServerName",
                                             "TargetInfo",       "ProcessId",       "ProcessName",
                                             "IpAddress",        "IpPort"};
inline constexpr std::string_view k4672[] = {"SubjectUserSid", "SubjectUserName", "SubjectDomainName",
                                             "SubjectLogonId", "PrivilegeList"};
// TargetDomainName holds the computer the failed logons came from.
inline constexpr std::string_view k4740[] = {"TargetUserName", "TargetDomainName", "TargetSid",
                                             "SubjectUserSid", "SubjectUserName",  "SubjectDomainName",
                                             "SubjectLogonId"};
inline constexpr std::string_view k4768[] = {
    "TargetUserName",   "TargetDomainName",     "TargetSid",   "ServiceName", "ServiceSid", "TicketOptions",
    "Status",           "TicketEncryptionType", "PreAuthType", "IpAddress",   "IpPort",     "CertIssuerName",
    "CertSerialNumber", "CertThumbprint"};
inline constexpr std::string_view k4769[] = {
    "TargetUserName",       "TargetDomainName", "ServiceName", "ServiceSid", "TicketOptions",
    "TicketEncryptionType", "IpAddress",        "IpPort",      "Status",     "LogonGuid",
    "TransmittedServices"};
inline constexpr std::string_view k4771[] = {
    "TargetUserName", "TargetSid", "ServiceName",    "TicketOptions",    "Status",        "PreAuthType",
    "IpAddress",      "IpPort",    "CertIssuerName", "CertSerialNumber", "CertThumbprint"};
inline constexpr std::string_view k4776[] = {"PackageName", "TargetUserName", "Workstation", "Status"};
// 4778 (reconnected) and 4779 (disconnected) share their fields.
inline constexpr std::string_view k4778[] = {"AccountName", "AccountDomain", "LogonID",
                                             "SessionName", "ClientName",    "ClientAddress"};

// The place of a field, worked out while compiling: a name the template does
// not hold does not compile.
void NoSuchField();  // never defined
consteval std::size_t At(Names names, std::string_view name) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) return i;
    }
    NoSuchField();
    return 0;
}

// The template of an event ID; empty for an event not listed here.
Names Of(std::uint32_t eventId);

}  // namespace kestrel::fields
