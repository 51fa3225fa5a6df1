#include "tools/sample_site.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <random>
#include <utility>

#include "base/file_time.h"
#include "platform/local_time.h"

namespace kestrel::sample {

namespace {

constexpr std::uint64_t kMillisecond = 10000ull;

}  // namespace

std::uint64_t FileTimeOf(std::time_t t) {
    return (static_cast<std::uint64_t>(t) + kFileTimeSecondsTo1970) * kFileTimeTicksPerSecond;
}

namespace {

std::u16string Dec(std::uint64_t v) { return Utf16(std::to_string(v)); }

std::u16string Hex(std::uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(v));
    return Utf16(text);
}

class Rng {
public:
    // Stream 0 is the one the site began with; others are apart from it.
    explicit Rng(std::uint64_t seed, std::uint64_t stream = 0)
        : engine_((seed ^ 0x6b657374726c3230ull) + stream * 0x9e3779b97f4a7c15ull) {}
    std::uint64_t Below(std::uint64_t n) { return engine_() % n; }
    int Between(int low, int high) {
        return low + static_cast<int>(Below(static_cast<std::uint64_t>(high - low + 1)));
    }
    bool Chance(int percent) { return Below(100) < static_cast<std::uint64_t>(percent); }
    template <typename T>
    const T& Pick(const std::vector<T>& items) {
        return items[Below(items.size())];
    }
    std::u16string GuidText() {
        char text[40];
        const std::uint64_t a = engine_(), b = engine_();
        std::snprintf(text, sizeof text, "{%08llX-%04llX-%04llX-%04llX-%012llX}",
                      static_cast<unsigned long long>(a >> 32),
                      static_cast<unsigned long long>(a >> 16 & 0xffff),
                      static_cast<unsigned long long>(0x4000 | (a & 0x0fff)),
                      static_cast<unsigned long long>(0x8000 | (b >> 48 & 0x3fff)),
                      static_cast<unsigned long long>(b & 0xffffffffffffull));
        return Utf16(text);
    }

private:
    std::mt19937_64 engine_;
};

struct Account {
    std::u16string name;
    std::u16string domain;
    std::u16string sid;
    bool admin = false;
};

const std::u16string kDomain = u"KESTREL";
const std::u16string kDomainSid = u"S-1-5-21-3623811015-3361044348-30300820";
const std::u16string kNtAuthority = u"NT AUTHORITY";

Account DomainAccount(std::u16string name, int rid, bool admin = false) {
    return {std::move(name), kDomain, kDomainSid + u"-" + Dec(static_cast<std::uint64_t>(rid)), admin};
}

const Account kSystem{u"SYSTEM", kNtAuthority, u"S-1-5-18", true};
const Account kLocalService{u"LOCAL SERVICE", kNtAuthority, u"S-1-5-19"};
const Account kNetworkService{u"NETWORK SERVICE", kNtAuthority, u"S-1-5-20"};
const Account kAnonymous{u"ANONYMOUS LOGON", kNtAuthority, u"S-1-5-7"};

const std::u16string kAdminPrivileges =
    u"SeSecurityPrivilege\r\n\t\t\tSeTakeOwnershipPrivilege\r\n\t\t\tSeLoadDriverPrivilege\r\n"
    u"\t\t\tSeBackupPrivilege\r\n\t\t\tSeRestorePrivilege\r\n\t\t\tSeDebugPrivilege\r\n"
    u"\t\t\tSeSystemEnvironmentPrivilege\r\n\t\t\tSeImpersonatePrivilege\r\n"
    u"\t\t\tSeDelegateSessionUserImpersonatePrivilege";
const std::u16string kSystemPrivileges = u"SeAssignPrimaryTokenPrivilege\r\n\t\t\tSeTcbPrivilege\r\n\t\t\t" +
                                         kAdminPrivileges + u"\r\n\t\t\tSeAuditPrivilege";

struct Machine {
    std::string name;        // list name and folder
    std::u16string netbios;  // its own name on the network
    std::u16string ip;
    std::u16string localSid;  // prefix of its local accounts
    std::uint64_t firstRecord;
    std::uint32_t lsass;
    std::uint32_t services;
    std::uint32_t svchost;
};

// Where a logon comes from.
struct Client {
    std::u16string workstation;
    std::u16string ip;
    bool kerberos = false;
};

enum class Failure { BadPassword, NoSuchUser, Disabled, LockedOut, LogonTypeNotGranted };

using Fields = std::initializer_list<std::pair<std::u16string_view, std::u16string>>;

// The Security log of one computer as it is being written.
class Log {
public:
    Log(const Machine& machine, Rng& rng) : machine_(machine), rng_(&rng), activity_(rng.GuidText()) {
        nextLogonId_ = 0x30000 + rng.Below(0x40000);
    }

    const Machine& Owner() const { return machine_; }
    // The stream the events draw from from now on; gives the one before.
    Rng* Use(Rng* rng) { return std::exchange(rng_, rng); }
    std::vector<SecurityEvent>& Events() { return events_; }

    // A moment of second t, at a random point inside it.
    std::uint64_t Stamp(std::time_t t) { return FileTimeOf(t) + rng_->Below(kFileTimeTicksPerSecond); }
    // A few milliseconds after ft, for events that follow one another.
    std::uint64_t After(std::uint64_t ft, int lowMs = 1, int highMs = 40) {
        return ft + static_cast<std::uint64_t>(rng_->Between(lowMs, highMs)) * kMillisecond;
    }

    Client Local() const { return {machine_.netbios, u"127.0.0.1", false}; }

    // 4624 (and 4672 for privileged accounts); gives the logon ID, a new one
    // unless given.
    std::uint64_t Logon(std::uint64_t ft, const Account& account, int type, const Client& from,
                        std::uint64_t givenId = 0) {
        const bool system = account.domain == kNtAuthority;
        std::uint64_t logonId = givenId ? givenId : NewLogonId();
        if (&account == &kSystem) logonId = 0x3e7;
        if (&account == &kLocalService) logonId = 0x3e5;
        if (&account == &kNetworkService) logonId = 0x3e4;
        const bool kerberos = from.kerberos && !system;
        const bool ntlm = type == 3 && !kerberos;

        SecurityEvent e = NewEvent(4624);
        if (type != 3) MachineSubject(e);
        Put(e, {{u"TargetUserSid", account.sid},
                {u"TargetUserName", account.name},
                {u"TargetDomainName", account.domain},
                {u"TargetLogonId", Hex(logonId)},
                {u"LogonType", Dec(static_cast<std::uint64_t>(type))},
                {u"ImpersonationLevel", u"%%1833"},
                {u"VirtualAccount", u"%%1843"},
                {u"ElevatedToken", account.admin ? u"%%1842" : u"%%1843"}});
        if (type == 5) {
            Put(e, {{u"LogonProcessName", u"Advapi  "},
                    {u"AuthenticationPackageName", u"Negotiate"},
                    {u"ProcessId", Hex(machine_.services)},
                    {u"ProcessName", u"C:\\Windows\\System32\\services.exe"}});
        } else if (type == 3) {
            Put(e, {{u"LogonProcessName", kerberos ? u"Kerberos" : u"NtLmSsp "},
                    {u"AuthenticationPackageName", kerberos ? u"Kerberos" : u"NTLM"},
                    {u"WorkstationName", kerberos ? u"-" : from.workstation},
                    {u"IpAddress", from.ip},
                    {u"IpPort", Dec(static_cast<std::uint64_t>(rng_->Between(49152, 65535)))}});
            if (ntlm && &account != &kAnonymous) {
                Put(e, {{u"LmPackageName", u"NTLM V2"}, {u"KeyLength", u"128"}});
            }
        } else {
            Put(e, {{u"LogonProcessName", u"User32 "},
                    {u"AuthenticationPackageName", u"Negotiate"},
                    {u"WorkstationName", machine_.netbios},
                    {u"ProcessId", Hex(machine_.svchost)},
                    {u"ProcessName", u"C:\\Windows\\System32\\svchost.exe"},
                    {u"IpAddress", type == 2 ? u"127.0.0.1" : from.ip},
                    {u"IpPort", u"0"}});
            if (type == 10) Put(e, {{u"RestrictedAdminMode", u"%%1843"}});
        }
        if (kerberos || (account.domain == kDomain && (type == 2 || type == 10))) {
            Put(e, {{u"LogonGuid", rng_->GuidText()}});
        }
        Push(std::move(e), ft);
        if (account.admin) {
            SecurityEvent special = NewEvent(4672);
            Subject(special, account, logonId);
            Put(special, {{u"PrivilegeList", &account == &kSystem ? kSystemPrivileges : kAdminPrivileges}});
            Push(std::move(special), privilegesAtOnce_ ? ft : After(ft));
        }
        return logonId;
    }

    void Logoff(std::uint64_t ft, const Account& account, std::uint64_t logonId, int type) {
        SecurityEvent e = NewEvent(4634);
        Put(e, {{u"TargetUserSid", account.sid},
                {u"TargetUserName", account.name},
                {u"TargetDomainName", account.domain},
                {u"TargetLogonId", Hex(logonId)},
                {u"LogonType", Dec(static_cast<std::uint64_t>(type))}});
        Push(std::move(e), ft);
    }

    // 4647: the user signs out; the 4634 follows once the session is gone.
    void UserLogoff(std::uint64_t ft, const Account& account, std::uint64_t logonId) {
        SecurityEvent e = NewEvent(4647);
        Put(e, {{u"TargetUserSid", account.sid},
                {u"TargetUserName", account.name},
                {u"TargetDomainName", account.domain},
                {u"TargetLogonId", Hex(logonId)}});
        Push(std::move(e), ft);
    }

    // 4625 for a name as it was typed.
    void Failed(std::uint64_t ft, std::u16string user, std::u16string domain, int type, Failure why,
                const Client& from) {
        static const struct {
            const char16_t* reason;
            const char16_t* status;
            const char16_t* subStatus;
        } kWhy[] = {
            {u"%%2313", u"0xc000006d", u"0xc000006a"},  // bad password
            {u"%%2313", u"0xc000006d", u"0xc0000064"},  // no such user
            {u"%%2310", u"0xc000006e", u"0xc0000072"},  // account disabled
            {u"%%2307", u"0xc0000234", u"0x0"},         // account locked out
            {u"%%2308", u"0xc000015b", u"0x0"},         // logon type not granted
        };
        const auto& w = kWhy[static_cast<int>(why)];
        SecurityEvent e = NewEvent(4625);
        e.failure = true;
        if (type != 3) MachineSubject(e);
        Put(e,
            {{u"TargetUserName", std::move(user)},
             {u"TargetDomainName", std::move(domain)},
             {u"Status", w.status},
             {u"FailureReason", w.reason},
             {u"SubStatus", w.subStatus},
             {u"LogonType", Dec(static_cast<std::uint64_t>(type))},
             {u"WorkstationName", from.workstation},
             {u"IpAddress", from.ip},
             {u"IpPort", type == 3 ? Dec(static_cast<std::uint64_t>(rng_->Between(49152, 65535))) : u"0"}});
        if (type == 3) {
            Put(e, {{u"LogonProcessName", u"NtLmSsp "}, {u"AuthenticationPackageName", u"NTLM"}});
        } else {
            Put(e, {{u"LogonProcessName", u"User32 "},
                    {u"AuthenticationPackageName", u"Negotiate"},
                    {u"ProcessId", Hex(machine_.svchost)},
                    {u"ProcessName", u"C:\\Windows\\System32\\svchost.exe"}});
        }
        Push(std::move(e), ft);
    }

    // 4648: a process of a logged-on user uses other credentials.
    void ExplicitCredentials(std::uint64_t ft, const Account& subject, std::uint64_t logonId,
                             const Account& target, std::u16string server, std::u16string process) {
        SecurityEvent e = NewEvent(4648);
        Subject(e, subject, logonId);
        Put(e, {{u"TargetUserName", target.name},
                {u"TargetDomainName", target.domain},
                {u"TargetServerName", server},
                {u"TargetInfo", u"TERMSRV/" + server},
                {u"ProcessId", Hex(NewProcessId())},
                {u"ProcessName", std::move(process)}});
        Push(std::move(e), ft);
    }

    // An event with the given fields, the others at their empty values.
    void Write(std::uint16_t id, std::uint64_t ft, bool failure, Fields fields) {
        SecurityEvent e = NewEvent(id);
        e.failure = failure;
        Put(e, fields);
        Push(std::move(e), ft);
    }

    // From now on a 4672 gets the time of its logon, so that no other
    // record can come between them when the log is put in time order.
    void PrivilegesAtOnce() { privilegesAtOnce_ = true; }

    // 4688.
    void Process(std::uint64_t ft, const Account& subject, std::uint64_t logonId, std::u16string image,
                 std::u16string commandLine, std::u16string parent) {
        const bool system = &subject == &kSystem;
        SecurityEvent e = NewEvent(4688);
        Subject(e, subject, logonId);
        Put(e, {{u"NewProcessId", Hex(NewProcessId())},
                {u"NewProcessName", std::move(image)},
                {u"TokenElevationType", system          ? u"%%1936"
                                        : subject.admin ? u"%%1937"
                                                        : u"%%1938"},
                {u"ProcessId", Hex(NewProcessId())},
                {u"CommandLine", std::move(commandLine)},
                {u"ParentProcessName", std::move(parent)},
                {u"MandatoryLabel", system          ? u"S-1-16-16384"
                                    : subject.admin ? u"S-1-16-12288"
                                                    : u"S-1-16-8192"}});
        Push(std::move(e), ft);
    }

private:
    std::uint64_t NewLogonId() {
        nextLogonId_ += 1 + rng_->Below(0x2000);
        return nextLogonId_;
    }
    std::uint64_t NewProcessId() { return 4 * static_cast<std::uint64_t>(rng_->Between(0x40, 0x1fff)); }

    static void Put(SecurityEvent& e, Fields fields) {
        for (const auto& [name, value] : fields) {
            if (!SetField(e, name, value)) {
                std::fprintf(stderr, "event %u has no field %s\n", e.id, Utf8(name).c_str());
                std::abort();
            }
        }
    }

    void Subject(SecurityEvent& e, const Account& account, std::uint64_t logonId) {
        Put(e, {{u"SubjectUserSid", account.sid},
                {u"SubjectUserName", account.name},
                {u"SubjectDomainName", account.domain},
                {u"SubjectLogonId", Hex(logonId)}});
    }

    // The computer's own account, which starts interactive and service logons.
    void MachineSubject(SecurityEvent& e) {
        Put(e, {{u"SubjectUserSid", u"S-1-5-18"},
                {u"SubjectUserName", machine_.netbios + u"$"},
                {u"SubjectDomainName", kDomain},
                {u"SubjectLogonId", u"0x3e7"}});
    }

    void Push(SecurityEvent e, std::uint64_t ft) {
        e.fileTime = ft;
        e.processId = machine_.lsass;
        e.threadId = 4 * static_cast<std::uint32_t>(rng_->Between(0x40, 0x800));
        e.activityId = activity_;
        events_.push_back(std::move(e));
    }

    const Machine& machine_;
    Rng* rng_;
    std::u16string activity_;
    std::uint64_t nextLogonId_ = 0;
    bool privilegesAtOnce_ = false;
    std::vector<SecurityEvent> events_;
};

// Events that came into the story later draw from a stream of their own, so
// that the events written before them keep their times and values.
class LaterEvents {
public:
    LaterEvents(Log& log, Rng& later) : log_(log), before_(log.Use(&later)) {}
    ~LaterEvents() { log_.Use(before_); }
    LaterEvents(const LaterEvents&) = delete;
    LaterEvents& operator=(const LaterEvents&) = delete;

private:
    Log& log_;
    Rng* before_;
};

// One local day of the site.
class Day {
public:
    Day(const std::tm& first, int offset) : date_(first) {
        date_.tm_mday += offset;
        date_.tm_hour = 12;
        date_.tm_min = date_.tm_sec = 0;
        date_.tm_isdst = -1;
        FromLocalTime(date_);
    }
    bool Workday() const { return date_.tm_wday >= 1 && date_.tm_wday <= 5; }
    int Weekday() const { return date_.tm_wday; }
    // The local time of a minute of the day (it may run past midnight).
    std::time_t At(int minute, int second = 0) const {
        std::tm t = date_;
        t.tm_hour = 0;
        t.tm_min = minute;
        t.tm_sec = second;
        t.tm_isdst = -1;
        return FromLocalTime(t).value_or(0);
    }

private:
    std::tm date_;
};

const Machine kAdminPc{"localhost", u"ADMIN01", u"192.168.10.5", u"S-1-5-21-1180699209-877415012-3182924384",
                       48211,       0x2c4,      0x2b8,           0x3a0};
const Machine kPc01{
    "PC01", u"PC01", u"192.168.10.21", u"S-1-5-21-2837159022-1422470382-1993856213", 103877, 0x2d0,
    0x2c0,  0x3b4};
const Machine kSv01{"SV01",  u"SV01", u"192.168.10.2", u"S-1-5-21-4092836511-2950127784-1066402113",
                    2259340, 0x2a8,   0x29c,           0x388};

const Machine kDc01{"DC01", u"DC01", u"192.168.10.1", kDomainSid, 5108217, 0x2e0, 0x2d4, 0x3c8};

const Account kTanaka = DomainAccount(u"tanaka", 1104, true);
const Account kYamada = DomainAccount(u"山田太郎", 1105);
const Account kSuzuki = DomainAccount(u"suzuki", 1106);
const Account kBackup = DomainAccount(u"svc_backup", 1107, true);
const Account kPc01Account = DomainAccount(u"PC01$", 1121);

// Keeps the events inside the period, in time order, and numbers them.
void Finish(Log& log, std::time_t start, std::time_t end) {
    const std::uint64_t from = FileTimeOf(start);
    const std::uint64_t to = FileTimeOf(end);
    auto& events = log.Events();
    std::erase_if(events, [&](const SecurityEvent& e) { return e.fileTime < from || e.fileTime > to; });
    std::stable_sort(events.begin(), events.end(),
                     [](const SecurityEvent& a, const SecurityEvent& b) { return a.fileTime < b.fileTime; });
    std::uint64_t record = log.Owner().firstRecord;
    for (SecurityEvent& e : events) e.recordId = record++;
}

std::u16string FieldText(const SecurityEvent& e, std::u16string_view name) {
    const EventShape* shape = FindEventShape(e.id);
    for (std::size_t i = 0; shape != nullptr && i < shape->fields.size(); ++i) {
        if (shape->fields[i].name == name) return e.data[i];
    }
    return u"";
}

// A computer of the domain as the controller knows it.
struct Member {
    std::u16string name;
    std::u16string ip;
    int rid;
    Account Self() const { return DomainAccount(name + u"$", rid); }
};

const std::vector<Member> kMembers = {
    {u"DC01", u"192.168.10.1", 1000}, {u"ADMIN01", u"192.168.10.5", 1120}, {u"PC01", u"192.168.10.21", 1121},
    {u"SV01", u"192.168.10.2", 1122}, {u"PC02", u"192.168.10.22", 1123},   {u"PC03", u"192.168.10.23", 1124},
};

const Member& MemberNamed(std::u16string_view name) {
    for (const Member& m : kMembers) {
        if (m.name == name) return m;
    }
    return kMembers.front();
}

// The domain controller DC01. It sees the Kerberos and NTLM side of the
// members' domain logons, the computers and users reading group policy from
// it, an administrator at work on it over Remote Desktop, a user who locks
// himself out, and a password spraying that leaves no failed logon on any
// computer. Its events draw from a stream of their own, so the other logs
// stay as they were before it joined the site.
class DomainController {
public:
    explicit DomainController(std::uint64_t seed) : rng_(seed, 2), dc_(kDc01, rng_) {
        dc_.PrivilegesAtOnce();
    }
    DomainController(const DomainController&) = delete;
    DomainController& operator=(const DomainController&) = delete;

    Log& Events() { return dc_; }

    // After the members' logs are finished: it follows their logons.
    void Tell(const std::vector<Log*>& members, std::time_t end, int days) {
        const std::time_t start = end - static_cast<std::time_t>(days) * 86400;
        const std::tm first = ToLocalTime(start).value_or(std::tm{});
        // In the last days, whatever the seed.
        const std::pair<std::time_t, void (DomainController::*)(std::time_t)> stories[] = {
            {end - 4 * 86400 + rng_.Between(0, 3600), &DomainController::Lockout},
            {end - 3 * 86400 - 7200 + rng_.Between(0, 1800), &DomainController::AdministratorSession},
            {end - 2 * 86400 - rng_.Between(0, 3600), &DomainController::MistypedName},
            {end - 86400 - 6 * 3600 + rng_.Between(0, 3600), &DomainController::Spraying},
            {end - 86400 - rng_.Between(0, 3600), &DomainController::LostShare},
        };
        // Day by day, so that logon IDs grow from one day to the next.
        for (int k = 0; k <= days; ++k) {
            const Day day(first, k);
            const std::time_t from = day.At(0);
            const std::time_t to = Day(first, k + 1).At(0);
            ComputersDay(day);
            if (day.Workday()) DesksWithoutLogs(day);
            for (Log* member : members) Follow(*member, FileTimeOf(from), FileTimeOf(to));
            for (const auto& [at, story] : stories) {
                if (at >= from && at < to) (this->*story)(at);
            }
        }
        Finish(dc_, start, end);
    }

private:
    std::uint64_t Ms(int low, int high) {
        return static_cast<std::uint64_t>(rng_.Between(low, high)) * kMillisecond;
    }
    std::u16string Port() { return Dec(static_cast<std::uint64_t>(rng_.Between(49152, 65535))); }
    static std::u16string Mapped(const std::u16string& ip) { return u"::ffff:" + ip; }

    // 4768; a status other than 0x0 is a name the domain does not know.
    void Tgt(std::uint64_t ft, const Account& who, const std::u16string& realm, const std::u16string& ip,
             const std::u16string& status = u"0x0") {
        const bool given = status == u"0x0";
        dc_.Write(4768, ft, !given,
                  {{u"TargetUserName", who.name},
                   {u"TargetDomainName", realm},
                   {u"TargetSid", given ? who.sid : u"S-1-0-0"},
                   {u"ServiceName", given ? u"krbtgt" : u"krbtgt/" + realm},
                   {u"ServiceSid", given ? kDomainSid + u"-502" : u"S-1-0-0"},
                   {u"TicketOptions", u"0x40810010"},
                   {u"Status", status},
                   {u"TicketEncryptionType", given ? u"0x12" : u"0xffffffff"},
                   {u"PreAuthType", given ? u"2" : u"-"},
                   {u"IpAddress", Mapped(ip)},
                   {u"IpPort", Port()},
                   {u"CertIssuerName", u""},
                   {u"CertSerialNumber", u""},
                   {u"CertThumbprint", u""}});
    }

    // 4769 for the computer account of a service; a status other than 0x0
    // is a ticket refused for a service the domain does not know.
    void ServiceTicket(std::uint64_t ft, const std::u16string& user, const std::u16string& service,
                       const std::u16string& ip, std::u16string logonGuid,
                       const std::u16string& status = u"0x0") {
        const bool given = status == u"0x0";
        const std::u16string serviceSid = given ? MemberNamed(service).Self().sid : u"S-1-0-0";
        dc_.Write(4769, ft, !given,
                  {{u"TargetUserName", user + u"@KESTREL.LOCAL"},
                   {u"TargetDomainName", u"KESTREL.LOCAL"},
                   {u"ServiceName", given ? service + u"$" : service},
                   {u"ServiceSid", serviceSid},
                   {u"TicketOptions", u"0x40810000"},
                   {u"TicketEncryptionType", given ? u"0x12" : u"0xffffffff"},
                   {u"IpAddress", Mapped(ip)},
                   {u"IpPort", Port()},
                   {u"Status", status},
                   {u"LogonGuid", std::move(logonGuid)}});
    }

    // 4771: 0x18 a wrong password, 0x12 a locked account.
    void PreauthFailed(std::uint64_t ft, const Account& who, const std::u16string& ip,
                       std::u16string status) {
        dc_.Write(4771, ft, true,
                  {{u"TargetUserName", who.name},
                   {u"TargetSid", who.sid},
                   {u"ServiceName", u"krbtgt/KESTREL.LOCAL"},
                   {u"TicketOptions", u"0x40810010"},
                   {u"Status", std::move(status)},
                   {u"PreAuthType", u"2"},
                   {u"IpAddress", Mapped(ip)},
                   {u"IpPort", Port()},
                   {u"CertIssuerName", u""},
                   {u"CertSerialNumber", u""},
                   {u"CertThumbprint", u""}});
    }

    // 4776: an NTLM logon checked for a member or the controller itself.
    void Ntlm(std::uint64_t ft, const std::u16string& user, const std::u16string& workstation,
              const std::u16string& status) {
        dc_.Write(4776, ft, status != u"0x0",
                  {{u"PackageName", u"MICROSOFT_AUTHENTICATION_PACKAGE_V1_0"},
                   {u"TargetUserName", user},
                   {u"Workstation", workstation},
                   {u"Status", status}});
    }

    // A computer or a user reads group policy from the controller's share:
    // the service ticket, a network logon and its logoff.
    void GroupPolicy(std::uint64_t ft, const Account& who, const std::u16string& ip) {
        const std::size_t at = dc_.Events().size();
        const std::uint64_t id = dc_.Logon(ft, who, 3, Client{u"-", ip, true});
        ServiceTicket(ft - Ms(5, 80), who.name, u"DC01", ip, FieldText(dc_.Events()[at], u"LogonGuid"));
        dc_.Logoff(ft + Ms(100, 3000), who, id, 3);
    }

    void ComputersDay(const Day& day) {
        for (int i = rng_.Between(2, 4); i > 0; --i) {
            dc_.Logon(dc_.Stamp(day.At(rng_.Between(0, 1439), rng_.Between(0, 59))), kSystem, 5, dc_.Local());
        }
        // Each computer renews its ticket and reads its policy now and then.
        for (const Member& m : kMembers) {
            if (m.name == kDc01.netbios) continue;
            const Account self = m.Self();
            for (int i = rng_.Between(1, 2); i > 0; --i) {
                Tgt(dc_.Stamp(day.At(rng_.Between(0, 1439), rng_.Between(0, 59))), self, u"KESTREL.LOCAL",
                    m.ip);
            }
            for (int i = rng_.Between(2, 4); i > 0; --i) {
                GroupPolicy(dc_.Stamp(day.At(rng_.Between(0, 1439), rng_.Between(0, 59))), self, m.ip);
            }
        }
    }

    // A desk logon of a domain user: the ticket-granting ticket, the ticket
    // for the computer, then the user's group policy.
    void DeskLogon(std::uint64_t ft, const Account& user, const Member& at, std::u16string logonGuid) {
        Tgt(ft - Ms(600, 1500), user, kDomain, at.ip);
        ServiceTicket(ft - Ms(100, 500), user.name, at.name, at.ip, std::move(logonGuid));
        GroupPolicy(ft + Ms(2000, 6000), user, at.ip);
    }

    // suzuki at PC02 and takahashi at PC03, computers without logs of their own.
    void DesksWithoutLogs(const Day& day) {
        for (const auto& [user, at] : {std::pair{&kSuzuki, u"PC02"}, std::pair{&kTakahashi, u"PC03"}}) {
            const std::uint64_t ft =
                dc_.Stamp(day.At(rng_.Between(8 * 60 + 15, 9 * 60 + 20), rng_.Between(0, 59)));
            DeskLogon(ft, *user, MemberNamed(at), rng_.GuidText());
        }
    }

    // What the controller sees of a member's logons of domain accounts.
    void Follow(Log& member, std::uint64_t from, std::uint64_t to) {
        const Member& self = MemberNamed(member.Owner().netbios);
        for (const SecurityEvent& e : member.Events()) {
            if (e.id != 4624 || e.fileTime < from || e.fileTime >= to) continue;
            if (FieldText(e, u"TargetDomainName") != kDomain) continue;
            const Account user{FieldText(e, u"TargetUserName"), kDomain, FieldText(e, u"TargetUserSid"),
                               FieldText(e, u"ElevatedToken") == u"%%1842"};
            const std::u16string type = FieldText(e, u"LogonType");
            const std::u16string address = FieldText(e, u"IpAddress");
            if (type == u"2") {
                DeskLogon(e.fileTime, user, self, FieldText(e, u"LogonGuid"));
            } else if (type == u"5") {
                Tgt(e.fileTime - Ms(200, 800), user, kDomain, self.ip);
            } else if (type == u"3" && FieldText(e, u"LogonProcessName") == u"Kerberos") {
                ServiceTicket(e.fileTime - Ms(20, 300), user.name, self.name, address,
                              FieldText(e, u"LogonGuid"));
            } else if (type == u"3") {
                Ntlm(e.fileTime - Ms(10, 200), user.name, FieldText(e, u"WorkstationName"), u"0x0");
            }
        }
    }

    // The domain's administrator signs in over Remote Desktop, runs a tool as
    // the backup account, leaves the session, comes back to it and signs out.
    void AdministratorSession(std::time_t at) {
        const Member& from = MemberNamed(u"ADMIN01");
        const std::uint64_t ft = dc_.Stamp(at);
        const std::size_t logon = dc_.Events().size();
        const std::uint64_t id = dc_.Logon(ft, kAdministrator, 10, Client{from.name, from.ip, false});
        const std::u16string guid = FieldText(dc_.Events()[logon], u"LogonGuid");
        Tgt(ft - Ms(1500, 3000), kAdministrator, kDomain, from.ip);
        ServiceTicket(ft - Ms(300, 900), kAdministrator.name, u"DC01", from.ip, guid);

        const std::uint64_t runas = ft + Ms(300000, 900000);
        dc_.Write(4648, runas, false,
                  {{u"SubjectUserSid", kAdministrator.sid},
                   {u"SubjectUserName", kAdministrator.name},
                   {u"SubjectDomainName", kDomain},
                   {u"SubjectLogonId", Hex(id)},
                   {u"LogonGuid", guid},
                   {u"TargetUserName", kBackup.name},
                   {u"TargetDomainName", kDomain},
                   {u"TargetServerName", u"localhost"},
                   {u"TargetInfo", u"localhost"},
                   {u"ProcessId", Hex(kDc01.svchost)},
                   {u"ProcessName", u"C:\\Windows\\System32\\svchost.exe"},
                   {u"IpAddress", u"::1"},
                   {u"IpPort", u"0"}});
        const std::size_t second = dc_.Events().size();
        const std::uint64_t backupId = dc_.Logon(dc_.After(runas, 20, 200), kBackup, 2, dc_.Local());
        SetField(dc_.Events()[second], u"LogonProcessName", u"seclogo");
        dc_.Logoff(runas + Ms(300000, 900000), kBackup, backupId, 2);

        const int session = rng_.Between(2, 9);
        const std::uint64_t away = runas + Ms(1200000, 2400000);
        Session(4779, away, id, session, from);
        const std::uint64_t back = away + Ms(3600000, 7200000);
        Session(4778, back, id, session + 1, from);
        const std::uint64_t out = back + Ms(600000, 1500000);
        dc_.UserLogoff(out, kAdministrator, id);
        dc_.Logoff(out + Ms(800, 6000), kAdministrator, id, 10);
    }

    // 4779 when the Remote Desktop client goes, 4778 when it comes back.
    void Session(std::uint16_t event, std::uint64_t ft, std::uint64_t id, int number, const Member& from) {
        dc_.Write(event, ft, false,
                  {{u"AccountName", kAdministrator.name},
                   {u"AccountDomain", kDomain},
                   {u"LogonID", Hex(id)},
                   {u"SessionName", u"RDP-Tcp#" + Dec(static_cast<std::uint64_t>(number))},
                   {u"ClientName", from.name},
                   {u"ClientAddress", from.ip}});
    }

    // takahashi mistypes his new password at PC03 until the account locks,
    // and tries once more.
    void Lockout(std::time_t at) {
        const Member& pc03 = MemberNamed(u"PC03");
        std::uint64_t ft = dc_.Stamp(at);
        for (int i = 0; i < 5; ++i) {
            PreauthFailed(ft, kTakahashi, pc03.ip, u"0x18");
            if (i < 4) ft += Ms(15000, 50000);
        }
        dc_.Write(4740, dc_.After(ft, 1, 30), false,
                  {{u"TargetUserName", kTakahashi.name},
                   {u"TargetDomainName", pc03.name},
                   {u"TargetSid", kTakahashi.sid},
                   {u"SubjectUserSid", u"S-1-5-18"},
                   {u"SubjectUserName", u"DC01$"},
                   {u"SubjectDomainName", kDomain},
                   {u"SubjectLogonId", u"0x3e7"}});
        PreauthFailed(ft + Ms(60000, 180000), kTakahashi, pc03.ip, u"0x12");
    }

    // One password tried on many names from outside, by Kerberos and by NTLM.
    void Spraying(std::time_t at) {
        std::uint64_t ft = dc_.Stamp(at);
        for (const Account* user : {&kTanaka, &kSuzuki, &kSato, &kTakahashi, &kIto}) {
            PreauthFailed(ft, *user, u"203.0.113.77", u"0x18");
            ft += Ms(2000, 9000);
        }
        for (const Account* user : {&kWatanabe, &kAdministrator, &kBackup}) {
            Ntlm(ft, user->name, u"ATTACKER01", u"0xc000006a");
            ft += Ms(2000, 9000);
        }
    }

    // suzuki mistypes his name at PC02, then gets it right.
    void MistypedName(std::time_t at) {
        const Member& pc02 = MemberNamed(u"PC02");
        const std::uint64_t typo = dc_.Stamp(at);
        Tgt(typo, Account{u"suzki", kDomain, u"S-1-0-0"}, kDomain, pc02.ip, u"0x6");
        Tgt(typo + Ms(5000, 15000), kSuzuki, kDomain, pc02.ip);
    }

    // PC01 still maps a drive to a server long gone.
    void LostShare(std::time_t at) {
        ServiceTicket(dc_.Stamp(at), kYamada.name, u"cifs/NAS01", MemberNamed(u"PC01").ip,
                      u"{00000000-0000-0000-0000-000000000000}", u"0x7");
    }

    const Account kAdministrator = DomainAccount(u"Administrator", 500, true);
    const Account kSato = DomainAccount(u"sato", 1108);
    const Account kTakahashi = DomainAccount(u"takahashi", 1109);
    const Account kIto = DomainAccount(u"ito", 1110);
    const Account kWatanabe = DomainAccount(u"watanabe", 1111);

    Rng rng_;
    Log dc_;
};

class SiteStory {
public:
    explicit SiteStory(std::uint64_t seed)
        : rng_(seed),
          admin_(kAdminPc, rng_),
          pc01_(kPc01, rng_),
          sv01_(kSv01, rng_),
          later_(seed, 1),
          controller_(seed) {}

    void Tell(std::time_t end, int days) {
        const std::time_t start = end - static_cast<std::time_t>(days) * 86400;
        const std::tm first = ToLocalTime(start).value_or(std::tm{});
        for (int k = 0; k <= days; ++k) {
            const Day day(first, k);
            for (Log* log : {&admin_, &pc01_, &sv01_}) Services(*log, day);
            if (day.Workday()) Workday(day);
            ServerDay(day);
            if (k >= 1 && day.Weekday() == 6 && !powerCut_) {
                powerCut_ = true;
                PowerCut(day);
            }
        }
        // The last minutes: the administrator looks at the logs once more and
        // someone is knocking at the server.
        KestrelRun(admin_.Stamp(end - 300), end - 240);
        sv01_.Failed(sv01_.Stamp(end - 60), u"administrator", u"", 3, Failure::BadPassword, kAttacker);
        StillSignedIn(end);
        PasswordAttacks(end);

        for (Log* log : {&admin_, &pc01_, &sv01_}) Finish(*log, start, end);
        controller_.Tell({&admin_, &pc01_, &sv01_}, end, days);
    }

    std::vector<ComputerLog> Logs() {
        std::vector<ComputerLog> logs;
        for (Log* log : {&admin_, &pc01_, &sv01_, &controller_.Events()}) {
            logs.push_back({log->Owner().name, log->Owner().netbios + u".kestrel.local", log->Events()});
        }
        return logs;
    }

private:
    // Services start now and then under the three service accounts.
    void Services(Log& log, const Day& day) {
        for (int i = rng_.Between(2, 5); i > 0; --i) {
            log.Logon(log.Stamp(day.At(rng_.Between(0, 1439), rng_.Between(0, 59))), kSystem, 5, log.Local());
        }
        if (rng_.Chance(50))
            log.Logon(log.Stamp(day.At(rng_.Between(0, 1439))), kNetworkService, 5, log.Local());
        if (rng_.Chance(35))
            log.Logon(log.Stamp(day.At(rng_.Between(0, 1439))), kLocalService, 5, log.Local());
        static const std::vector<std::pair<std::u16string, std::u16string>> kTasks = {
            {u"C:\\Windows\\System32\\svchost.exe",
             u"C:\\Windows\\system32\\svchost.exe -k netsvcs -p -s Schedule"},
            {u"C:\\Windows\\System32\\taskhostw.exe", u""},
            {u"C:\\Program Files\\Windows Defender\\MpCmdRun.exe",
             u"\"C:\\Program Files\\Windows Defender\\MpCmdRun.exe\" -IdleTask -TaskName WdCacheMaintenance"},
            {u"C:\\Windows\\System32\\wbem\\WmiPrvSE.exe",
             u"C:\\Windows\\system32\\wbem\\wmiprvse.exe -Embedding"},
        };
        for (int i = rng_.Between(2, 4); i > 0; --i) {
            const auto& task = rng_.Pick(kTasks);
            log.Process(log.Stamp(day.At(rng_.Between(0, 1439), rng_.Between(0, 59))), kSystem, 0x3e7,
                        task.first, task.second, u"C:\\Windows\\System32\\services.exe");
        }
    }

    // A desk session: perhaps a mistyped password, the logon, the shell, the logoff.
    std::uint64_t Desk(Log& log, const Account& user, const Day& day, int fromMinute, int toMinute,
                       int endFrom, int endTo) {
        const std::uint64_t ft = log.Stamp(day.At(rng_.Between(fromMinute, toMinute), rng_.Between(0, 59)));
        if (rng_.Chance(25)) {
            log.Failed(ft - static_cast<std::uint64_t>(rng_.Between(8, 40)) * kFileTimeTicksPerSecond,
                       user.name, user.domain, 2, Failure::BadPassword, log.Local());
        }
        const std::uint64_t id = log.Logon(ft, user, 2, log.Local());
        log.Process(log.After(ft, 900, 2500), user, id, u"C:\\Windows\\explorer.exe",
                    u"C:\\Windows\\Explorer.EXE", u"C:\\Windows\\System32\\userinit.exe");
        const std::uint64_t end = log.Stamp(day.At(rng_.Between(endFrom, endTo), rng_.Between(0, 59)));
        SignOut(log, user, id, 2, end, 70);
        return id;
    }

    // The 4634 at ft; before it, in percent of the sessions, the user's own
    // 4647. Without one the session was ended for him (a disconnected remote
    // desktop dropped, a sign-out forced).
    void SignOut(Log& log, const Account& user, std::uint64_t id, int type, std::uint64_t ft, int percent) {
        {
            LaterEvents later(log, later_);
            if (later_.Chance(percent)) {
                log.UserLogoff(ft - static_cast<std::uint64_t>(later_.Between(800, 6000)) * kMillisecond,
                               user, id);
            }
        }
        log.Logoff(ft, user, id, type);
    }

    // The server's administrator is at work over Remote Desktop when the logs
    // end: his session has no logoff yet. Told after everything else, so its
    // new logon ID is the last one counted.
    void StillSignedIn(std::time_t end) {
        LaterEvents later(sv01_, later_);
        const std::uint64_t logon = sv01_.Stamp(end - later_.Between(40 * 60, 120 * 60));
        const std::uint64_t id =
            sv01_.Logon(logon, kServerAdmin, 10, Client{kAdminPc.netbios, kAdminPc.ip, false});
        sv01_.Process(sv01_.After(logon, 2000, 4000), kServerAdmin, id, u"C:\\Windows\\System32\\rdpclip.exe",
                      u"rdpclip", u"C:\\Windows\\System32\\svchost.exe");
    }

    // A Saturday on PC01: yamada comes in, the power fails, and when the PC is
    // up again his new logon gets the ID of the lost one, since logon IDs are
    // unique only between restarts. The session cut off never logs off.
    void PowerCut(const Day& day) {
        LaterEvents later(pc01_, later_);
        const std::uint64_t id = 0x1c000 + later_.Below(0x8000);  // counted from boot, below the running ones
        const std::uint64_t first =
            pc01_.Stamp(day.At(later_.Between(9 * 60 + 30, 10 * 60 + 30), later_.Between(0, 59)));
        pc01_.Logon(first, kYamada, 2, pc01_.Local(), id);
        pc01_.Process(pc01_.After(first, 900, 2500), kYamada, id, u"C:\\Windows\\explorer.exe",
                      u"C:\\Windows\\Explorer.EXE", u"C:\\Windows\\System32\\userinit.exe");
        const int back = later_.Between(11 * 60 + 30, 12 * 60 + 30);
        // The given ID leaves the count of the running system's logons alone.
        pc01_.Logon(pc01_.Stamp(day.At(back, later_.Between(5, 40))), kSystem, 5, pc01_.Local(), 0x3e7);
        const std::uint64_t again = pc01_.Stamp(day.At(back + later_.Between(2, 6), later_.Between(0, 59)));
        pc01_.Logon(again, kYamada, 2, pc01_.Local(), id);
        pc01_.Process(pc01_.After(again, 900, 2500), kYamada, id, u"C:\\Windows\\explorer.exe",
                      u"C:\\Windows\\Explorer.EXE", u"C:\\Windows\\System32\\userinit.exe");
        SignOut(pc01_, kYamada, id, 2,
                pc01_.Stamp(day.At(later_.Between(14 * 60, 15 * 60 + 30), later_.Between(0, 59))), 100);
    }

    // Reading the logs of PC01 and SV01 logs the administrator on there over the network.
    void KestrelRun(std::uint64_t ft, std::time_t at) {
        const std::uint64_t id = tanakaSession_;
        admin_.Process(ft, kTanaka, id, u"C:\\Tools\\Kestrel\\kestrel.exe",
                       u"\"C:\\Tools\\Kestrel\\kestrel.exe\"", u"C:\\Windows\\explorer.exe");
        const Client from{kAdminPc.netbios, kAdminPc.ip, true};
        std::time_t t = at;
        for (Log* log : {&pc01_, &sv01_}) {
            const std::uint64_t logon = log->Stamp(t);
            const std::uint64_t remote = log->Logon(logon, kTanaka, 3, from);
            log->Logoff(log->After(logon, 1500, 6000), kTanaka, remote, 3);
            t += rng_.Between(2, 20);
        }
    }

    void Workday(const Day& day) {
        const Client fromPc02{u"PC02", u"192.168.10.22", false};
        tanakaSession_ = Desk(admin_, kTanaka, day, 8 * 60 + 20, 9 * 60, 17 * 60 + 40, 19 * 60 + 10);
        KestrelRun(admin_.Stamp(day.At(rng_.Between(9 * 60 + 10, 10 * 60))),
                   day.At(rng_.Between(10 * 60 + 1, 10 * 60 + 30)));
        if (rng_.Chance(40)) {
            KestrelRun(admin_.Stamp(day.At(rng_.Between(14 * 60, 16 * 60))),
                       day.At(rng_.Between(16 * 60 + 1, 17 * 60)));
        }
        if (day.Weekday() == 2 || day.Weekday() == 4) RemoteDesktop(day);
        // PC02 still holds suzuki's old password for a share on the admin PC
        // and tries it again now and then.
        for (int i = rng_.Between(1, 3); i > 0; --i) {
            admin_.Failed(admin_.Stamp(day.At(rng_.Between(9 * 60, 18 * 60), rng_.Between(0, 59))),
                          kSuzuki.name, kSuzuki.domain, 3, Failure::BadPassword, fromPc02);
        }

        Desk(pc01_, kYamada, day, 8 * 60 + 30, 9 * 60 + 15, 17 * 60 + 30, 18 * 60 + 40);
        if (day.Weekday() == 2 || day.Weekday() == 4) {
            Desk(pc01_, kSato, day, 13 * 60, 14 * 60, 15 * 60, 16 * 60 + 30);
        }
        // Shares on the file server during the day.
        const Client fromPc01{kPc01.netbios, kPc01.ip, true};
        for (int i = rng_.Between(2, 5); i > 0; --i) Share(kYamada, fromPc01, day);
        for (int i = rng_.Between(1, 4); i > 0; --i) Share(kSuzuki, fromPc02, day);
        if (day.Weekday() % 2 == 1) Share(kHonshaSuzuki, Client{u"HQ-PC15", u"10.1.0.15", false}, day);
        if (day.Weekday() == 3) {
            sv01_.Failed(sv01_.Stamp(day.At(rng_.Between(11 * 60, 15 * 60), rng_.Between(0, 59))),
                         kSuzuki.name, kSuzuki.domain, 10, Failure::LogonTypeNotGranted, fromPc02);
        }
    }

    // The administrator works on the server over Remote Desktop.
    void RemoteDesktop(const Day& day) {
        const std::uint64_t ft = admin_.Stamp(day.At(rng_.Between(11 * 60, 15 * 60), rng_.Between(0, 59)));
        admin_.ExplicitCredentials(ft, kTanaka, tanakaSession_, kServerAdmin, u"SV01.kestrel.local",
                                   u"C:\\Windows\\System32\\mstsc.exe");
        const std::uint64_t logon = sv01_.After(ft, 400, 3000);
        const std::uint64_t id =
            sv01_.Logon(logon, kServerAdmin, 10, Client{kAdminPc.netbios, kAdminPc.ip, false});
        sv01_.Process(sv01_.After(logon, 2000, 4000), kServerAdmin, id, u"C:\\Windows\\System32\\rdpclip.exe",
                      u"rdpclip", u"C:\\Windows\\System32\\svchost.exe");
        SignOut(sv01_, kServerAdmin, id, 10,
                logon + static_cast<std::uint64_t>(rng_.Between(15 * 60, 70 * 60)) * kFileTimeTicksPerSecond,
                50);
    }

    void Share(const Account& user, const Client& from, const Day& day) {
        const std::uint64_t ft = sv01_.Stamp(day.At(rng_.Between(9 * 60, 18 * 60), rng_.Between(0, 59)));
        const std::uint64_t id = sv01_.Logon(ft, user, 3, from);
        sv01_.Logoff(ft + static_cast<std::uint64_t>(rng_.Between(20, 1800)) * kFileTimeTicksPerSecond, user,
                     id, 3);
    }

    void ServerDay(const Day& day) {
        // The backup agent runs every night under its own account.
        const std::uint64_t backup = sv01_.Stamp(day.At(60, rng_.Between(0, 5)));
        const std::uint64_t id = sv01_.Logon(backup, kBackup, 5, sv01_.Local());
        sv01_.Logoff(sv01_.Stamp(day.At(rng_.Between(150, 210), rng_.Between(0, 59))), kBackup, id, 5);
        // and collects from the other computers over the network.
        for (Log* log : {&admin_, &pc01_}) {
            const std::uint64_t pull = log->Stamp(day.At(rng_.Between(65, 105), rng_.Between(0, 59)));
            const std::uint64_t pullId = log->Logon(pull, kBackup, 3, Client{kSv01.netbios, kSv01.ip, true});
            log->Logoff(pull + static_cast<std::uint64_t>(rng_.Between(120, 1200)) * kFileTimeTicksPerSecond,
                        kBackup, pullId, 3);
        }
        // Anonymous and machine-account sessions.
        const std::uint64_t anonymous = sv01_.Stamp(day.At(rng_.Between(0, 1439), rng_.Between(0, 59)));
        const std::uint64_t anonymousId =
            sv01_.Logon(anonymous, kAnonymous, 3, Client{u"PC02", u"192.168.10.22", false});
        sv01_.Logoff(sv01_.After(anonymous, 50, 900), kAnonymous, anonymousId, 3);
        const std::uint64_t machine = sv01_.Stamp(day.At(rng_.Between(420, 540), rng_.Between(0, 59)));
        const std::uint64_t machineId =
            sv01_.Logon(machine, kPc01Account, 3, Client{u"PC01", kPc01.ip, true});
        sv01_.Logoff(sv01_.After(machine, 100, 2000), kPc01Account, machineId, 3);
        // Now and then somebody tries names and passwords from outside.
        if (rng_.Chance(30)) {
            static const std::vector<std::pair<std::u16string, Failure>> kGuesses = {
                {u"administrator", Failure::BadPassword}, {u"admin", Failure::NoSuchUser},
                {u"user", Failure::NoSuchUser},           {u"test", Failure::NoSuchUser},
                {u"ｹﾞｽﾄ", Failure::NoSuchUser},           {u"Guest", Failure::Disabled},
            };
            std::time_t t = day.At(rng_.Between(0, 1380), rng_.Between(0, 59));
            for (int i = rng_.Between(5, 12); i > 0; --i) {
                const auto& guess = rng_.Pick(kGuesses);
                sv01_.Failed(sv01_.Stamp(t), guess.first, u"", 3, guess.second, kAttacker);
                t += rng_.Between(1, 6);
            }
        }
        // Once in the period a user locks himself out.
        if (!lockedOut_ && day.Workday() && rng_.Chance(25)) {
            lockedOut_ = true;
            std::time_t t = day.At(rng_.Between(13 * 60, 16 * 60));
            for (int i = 0; i < 5; ++i) {
                pc01_.Failed(pc01_.Stamp(t), kYamada.name, kYamada.domain, 2,
                             i < 4 ? Failure::BadPassword : Failure::LockedOut, pc01_.Local());
                t += rng_.Between(4, 15);
            }
        }
    }

    // In the last days, one case of each attack on the server, whatever the
    // seed: three days before the end someone tries the administrator's
    // password again and again from one address (guessing); two days before,
    // another address tries one password on many names (spraying).
    void PasswordAttacks(std::time_t end) {
        LaterEvents later(sv01_, later_);
        std::time_t t = end - 3 * 86400 + later_.Between(0, 3600);
        for (int i = 0; i < 12; ++i) {
            sv01_.Failed(sv01_.Stamp(t), kServerAdmin.name, kServerAdmin.domain, 3, Failure::BadPassword,
                         kGuesser);
            t += later_.Between(8, 20);
        }
        static const std::u16string kNames[] = {u"tanaka", u"suzuki",    u"sato",
                                                u"yamada", u"takahashi", u"ito"};
        t = end - 2 * 86400 + later_.Between(0, 3600);
        for (const std::u16string& name : kNames) {
            sv01_.Failed(sv01_.Stamp(t), name, u"KESTREL", 3, Failure::BadPassword, kSprayer);
            t += later_.Between(2, 9);
        }
    }

    const Account kHonshaSuzuki{u"鈴木一郎", u"本社", u"S-1-5-21-1721254763-462695806-1538882281-2104"};
    const Account kSato{u"佐藤花子", u"PC01", kPc01.localSid + u"-1001"};
    const Account kServerAdmin{u"Administrator", u"SV01", kSv01.localSid + u"-500", true};
    const Client kAttacker{u"-", u"203.0.113.45", false};
    const Client kGuesser{u"KALI", u"198.51.100.77", false};
    const Client kSprayer{u"-", u"198.51.100.200", false};

    Rng rng_;
    Log admin_;
    Log pc01_;
    Log sv01_;
    Rng later_;  // for the events that came into the story after the first
    std::uint64_t tanakaSession_ = 0;
    bool lockedOut_ = false;
    bool powerCut_ = false;
    DomainController controller_;
};

std::u16string LogonTypeText(const std::u16string& type) {
    if (type == u"2") return u"ローカル";
    if (type == u"3") return u"ネットワーク";
    return u"";
}

// Quoted when it holds a comma, a quote, CR or LF, or begins or ends with a
// blank. Kept apart from the collector's: these rows are what its output is
// checked against.
std::string CsvField(const std::string& text) {
    const bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) return text;
    std::string field = "\"";
    for (char c : text) {
        if (c == '"') field += '"';
        field += c;
    }
    return field + '"';
}

std::string JsonText(std::u16string_view text) {
    std::string out = "\"";
    for (char c : Utf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + '"';
}

}  // namespace

Site MakeSite(std::time_t end, std::uint64_t seed, int days) {
    SiteStory story(seed);
    story.Tell(end, days);
    Site site;
    site.logs = story.Logs();
    // PC02 has no log in the site: reading it fails.
    site.listNames = {"localhost", "PC01", "SV01", "DC01", "PC02"};
    site.forwarding = {"SV01", {"localhost", "PC01"}, 48731};
    return site;
}

std::vector<ForwardedRecord> ForwardedLog(const Site& site) {
    const auto forwarded = [](std::uint16_t id) {
        return id == 4624 || id == 4625 || id == 4634 || id == 4647;
    };
    std::vector<ForwardedRecord> records;
    for (const std::string& name : site.forwarding.sources) {
        for (const ComputerLog& log : site.logs) {
            if (log.name != name) continue;
            for (const SecurityEvent& e : log.events) {
                if (forwarded(e.id)) records.push_back({log.fullName, 0, e});
            }
        }
    }
    std::stable_sort(records.begin(), records.end(), [](const ForwardedRecord& a, const ForwardedRecord& b) {
        return a.event.fileTime < b.event.fileTime;
    });
    std::uint64_t record = site.forwarding.firstRecord;
    std::uint64_t written = 0;
    for (ForwardedRecord& r : records) {
        r.event.recordId = record++;
        // 1 to 20 seconds on the way, taken from the event's own time so that
        // the log follows from the site alone.
        const std::uint64_t delay = (1 + r.event.fileTime / 1000 % 20) * kFileTimeTicksPerSecond;
        written = std::max(written, r.event.fileTime + delay);
        r.writtenTime = written;
    }
    return records;
}

std::u16string TimeText(std::uint64_t fileTime) {
    const auto seconds =
        static_cast<std::time_t>(fileTime / kFileTimeTicksPerSecond - kFileTimeSecondsTo1970);
    const std::tm local = ToLocalTime(seconds).value_or(std::tm{});
    char text[80];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d  ", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return Utf16(text);
}

std::vector<ExpectedRow> ExpectedRows(const Site& site) {
    std::vector<ExpectedRow> rows;
    for (const std::string& name : site.listNames) {
        const auto log = std::find_if(site.logs.begin(), site.logs.end(),
                                      [&](const ComputerLog& l) { return l.name == name; });
        if (log == site.logs.end()) continue;
        for (auto e = log->events.rbegin(); e != log->events.rend(); ++e) {
            const auto& d = e->data;
            ExpectedRow row{name, {}};
            auto& t = row.texts;
            t[0] = TimeText(e->fileTime);
            t[5] = Dec(e->id);
            if (e->id == 4624) {
                if (d[5] == u"SYSTEM" || d[5] == u"LOCAL SERVICE" || d[5] == u"NETWORK SERVICE") continue;
                t[1] = u"ログオン";
                t[3] = d[5];
                t[4] = d[6];
                t[6] = LogonTypeText(d[8]);
            } else if (e->id == 4625) {
                t[1] = u"ログオン失敗";
                t[3] = d[5];
                t[4] = d[6];
                t[6] = LogonTypeText(d[10]);
            } else if (e->id == 4634) {
                t[2] = u"ログオフ";
                t[3] = d[1];
                t[4] = d[2];
            } else {
                continue;
            }
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

std::string RowsCsv(const std::vector<ExpectedRow>& rows) {
    std::string csv =
        Utf8(u"コンピュータ,時刻,ログオン,ログオフ,ユーザ名,コンピュータ名,イベントID,タイプ") + "\r\n";
    for (const ExpectedRow& row : rows) {
        csv += CsvField(row.computer);
        for (const std::u16string& text : row.texts) {
            csv += ',';
            csv += CsvField(Utf8(text));
        }
        csv += "\r\n";
    }
    return csv;
}

std::string EventsJson(const Site& site) {
    std::string json;
    for (const ComputerLog& log : site.logs) {
        for (const SecurityEvent& e : log.events) {
            const EventShape* shape = FindEventShape(e.id);
            json += "{\"computer\": " + JsonText(Utf16(log.name)) +
                    ", \"record\": " + std::to_string(e.recordId) +
                    ", \"fileTime\": " + std::to_string(e.fileTime) + ", \"id\": " + std::to_string(e.id) +
                    ", \"version\": " + std::to_string(shape ? shape->version : 0) +
                    ", \"failure\": " + (e.failure ? "true" : "false") + ", \"data\": [";
            for (std::size_t i = 0; i < e.data.size(); ++i) {
                json += i ? ", [" : "[";
                json += JsonText(shape ? shape->fields[i].name : std::u16string_view());
                json += ", ";
                json += JsonText(e.data[i]);
                json += ']';
            }
            json += "]}\n";
        }
    }
    return json;
}

}  // namespace kestrel::sample
