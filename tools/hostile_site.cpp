#include "tools/hostile_site.h"

#include <cstring>

#include "tools/site_files.h"

namespace kestrel::sample {
namespace {

SecurityEvent Failed(std::u16string user, std::u16string domain = u"KESTREL") {
    SecurityEvent e = NewEvent(4625);
    e.failure = true;
    SetField(e, u"TargetUserName", std::move(user));
    SetField(e, u"TargetDomainName", std::move(domain));
    SetField(e, u"Status", u"0xc000006d");
    SetField(e, u"SubStatus", u"0xc000006a");
    SetField(e, u"LogonType", u"3");
    SetField(e, u"WorkstationName", u"ATTACKER");
    SetField(e, u"IpAddress", u"203.0.113.66");
    SetField(e, u"IpPort", u"50123");
    return e;
}

SecurityEvent Logon(std::u16string user, std::u16string logonId) {
    SecurityEvent e = NewEvent(4624);
    SetField(e, u"TargetUserName", std::move(user));
    SetField(e, u"TargetDomainName", u"KESTREL");
    SetField(e, u"TargetLogonId", std::move(logonId));
    SetField(e, u"LogonType", u"3");
    SetField(e, u"IpAddress", u"192.168.10.5");
    return e;
}

SecurityEvent Logoff(std::u16string user, std::u16string logonId) {
    SecurityEvent e = NewEvent(4634);
    SetField(e, u"TargetUserName", std::move(user));
    SetField(e, u"TargetDomainName", u"KESTREL");
    SetField(e, u"TargetLogonId", std::move(logonId));
    SetField(e, u"LogonType", u"3");
    return e;
}

// The record's signature in the file, found by its identifier.
bool BreakRecord(std::vector<std::uint8_t>& evtx, std::uint64_t recordId) {
    static constexpr std::uint8_t kSignature[] = {0x2a, 0x2a, 0x00, 0x00};
    for (std::size_t at = 0; at + 16 <= evtx.size(); ++at) {
        std::uint64_t id = 0;
        std::memcpy(&id, evtx.data() + at + 8, sizeof id);
        if (std::memcmp(evtx.data() + at, kSignature, 4) == 0 && id == recordId) {
            evtx[at] = 0x2b;
            return true;
        }
    }
    return false;
}

}  // namespace

ComputerLog MakeHostileLog(std::time_t end) {
    std::vector<SecurityEvent> events;
    events.push_back(Logon(u"tanaka", u"0x1000"));
    for (std::u16string user :
         {u"=HYPERLINK(\"http://x\",\"y\")", u"+1+1", u"-2+3", u"@SUM(1)", u"\t=1+1", u"\r=1+1", u"-",
          u"\x1b]52;c;aGk=\x07", u"\x1b[2J\x1b[Hclear", u"evil\rroot", u"bell\x07", u"del\x7f"}) {
        events.push_back(Failed(user));
    }
    events.push_back(Failed(u"admin", u"=cmd|' /C calc'!A0"));
    events.push_back(Logon(u"=SUM(A1)", u"0x2000"));
    events.push_back(Logoff(u"=SUM(A1)", u"0x2000"));
    events.push_back(Failed(std::u16string(10000, u'A')));
    events.push_back(Failed(std::u16string(600, u'あ')));
    const std::size_t backdated = events.size();
    events.push_back(Failed(u"backdated"));
    for (int i = 0; i < 14; ++i) events.push_back(Failed(u"guest"));
    const std::size_t damagedTime = events.size();
    events.push_back(Failed(u"damaged-time"));
    events.push_back(Logoff(u"tanaka", u"0x1000"));
    events.push_back(Logon(u"broken-record", u"0x3000"));
    events.push_back(Logon(u"last", u"0x4000"));

    ComputerLog log{kHostileComputer, u"HOSTILE.kestrel.local", std::move(events)};
    const std::time_t start = end - 2 * 86400;
    for (std::size_t i = 0; i < log.events.size(); ++i) {
        SecurityEvent& e = log.events[i];
        e.recordId = 5001 + i;
        e.fileTime = FileTimeOf(start + static_cast<std::time_t>(i) * 7);
        e.processId = 636;
        e.threadId = 4 * (0x100 + static_cast<std::uint32_t>(i));
    }
    log.events[backdated].fileTime = FileTimeOf(end - 60 * 86400);
    // Bit 56 of a FILETIME is about 228 years: before 1970, so time 0.
    log.events[damagedTime].fileTime ^= std::uint64_t{1} << 56;
    return log;
}

bool WriteHostileSite(std::time_t end, const std::filesystem::path& out, std::string& error) {
    const ComputerLog log = MakeHostileLog(end);
    std::vector<std::uint8_t> evtx = WriteSecurityLog(log.fullName, log.events);
    std::uint64_t broken = 0;
    for (const SecurityEvent& e : log.events) {
        if (e.id == 4624 && e.data[5] == u"broken-record") broken = e.recordId;
    }
    if (evtx.empty() || !BreakRecord(evtx, broken)) {
        error = "the hostile log cannot be written";
        return false;
    }
    std::error_code made;
    std::filesystem::create_directories(out / log.name, made);
    if (made) {
        error = "cannot make " + (out / log.name).string() + ": " + made.message();
        return false;
    }
    return WriteWholeFile(out / log.name / "Security.evtx", std::string(evtx.begin(), evtx.end()), error) &&
           WriteWholeFile(out / "hostile.lst", log.name + "\r\n", error);
}

}  // namespace kestrel::sample
