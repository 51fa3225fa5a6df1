#include "analysis/run_tables.h"

#include "analysis/summary_warnings.h"
#include "base/comma_list.h"

namespace kestrel {
namespace {

TableCell Text(std::string_view text) { return {std::string(text), std::nullopt}; }

TableCell Number(std::int64_t value) { return {std::to_string(value), value}; }

TableCell Time(std::int64_t utc, std::int32_t utcOffset) {
    TableCell cell{{}, utc};
    AppendLocalTimeText(utc, utcOffset, cell.text);
    return cell;
}

TableCell LogonType(const std::optional<std::uint32_t>& type) {
    if (!type) return {};
    TableCell cell{std::to_string(*type), *type};
    if (const char* name = LogonTypeName(*type)) cell.text.append(" (").append(name).append(")");
    return cell;
}

// "1:02:03", "-0:00:05" for a logoff dated before its logon.
TableCell Duration(std::int64_t seconds) {
    const std::int64_t whole = seconds < 0 ? -seconds : seconds;
    char text[32];
    std::snprintf(text, sizeof text, "%s%lld:%02lld:%02lld", seconds < 0 ? "-" : "",
                  static_cast<long long>(whole / 3600), static_cast<long long>(whole / 60 % 60),
                  static_cast<long long>(whole % 60));
    return {text, seconds};
}

const char* EndText(const std::optional<SessionEnd>& end) {
    if (!end) return "不明";
    return end->eventId == 4647 ? "ﾕｰｻﾞのﾛｸﾞｵﾌ (4647)" : "ﾛｸﾞｵﾌ (4634)";
}

// "\\PC01" as the list named it.
std::string_view ListName(const char* unc) {
    std::string_view name = unc != nullptr ? unc : "";
    while (!name.empty() && name.front() == '\\') name.remove_prefix(1);
    return name;
}

}  // namespace

bool RunTables::KeepsWithoutRow(std::uint32_t eventId) {
    switch (eventId) {
        case 4624:
        case 4647:
        case 4672:
        case 4740:
        case 4771:
        case 4776:
        case 4778:
        case 4779:
            return true;
        default:
            return false;
    }
}

const std::vector<const char*>& RunTables::SessionHeadings() {
    static const std::vector<const char*> kHeadings = {"ｺﾝﾋﾟｭｰﾀ", "ﾕｰｻﾞ名", "ﾄﾞﾒｲﾝ",   "ﾛｸﾞｵﾝﾀｲﾌﾟ", "ｿｰｽ",
                                                       "開始",    "終了",   "時間",    "終了ｲﾍﾞﾝﾄ", "管理者",
                                                       "切断",    "再接続", "最終切断"};
    return kHeadings;
}

const std::vector<const char*>& RunTables::SummaryHeadings() {
    static const std::vector<const char*> kHeadings = {"ｺﾝﾋﾟｭｰﾀ", "ﾕｰｻﾞ名", "ﾄﾞﾒｲﾝ", "ﾛｸﾞｵﾝ", "ﾛｸﾞｵﾝ失敗",
                                                       "ﾛｸﾞｵﾌ",   "最初",   "最後",  "接続元"};
    return kHeadings;
}

void RunTables::Update(const EventStore& events) {
    if (&events != store_ || events.Count() < read_) {
        read_ = computer_ = 0;
        pairing_ = SessionPairing();
        summary_ = LogonSummary();
        sessions_.clear();
    }
    store_ = &events;
    for (; read_ < events.Count(); ++read_) Read(events, read_);
}

void RunTables::Read(const EventStore& events, std::size_t index) {
    // Logon IDs are each computer's own, and each read of one.
    const auto& starts = events.ComputerStarts();
    while (computer_ < starts.size() && starts[computer_] <= index) {
        pairing_.BeginComputer();
        ++computer_;
    }
    events.Rebuild(index, event_);
    EventDetails d;
    if (!ReadEventDetails(event_.Event(), d)) return;
    const bool kept = events.RowOf(index) >= 0;
    const bool tableKind =
        d.kind == EventKind::Logon || d.kind == EventKind::FailedLogon || d.kind == EventKind::Logoff;
    const std::string_view computer = ListName(event_.Event().computer);
    if (kept || !tableKind) summary_.Add(computer, d);
    const std::optional<LogonSession> session = pairing_.Add(d, kept);
    if (!session) return;
    TableLine line{Text(computer),
                   Text(d.user),
                   Text(d.domain),
                   LogonType(d.logonType),
                   Text(d.ip.value_or(d.workstation.value_or(""))),
                   Time(d.utc, d.utcOffset)};
    if (const auto& end = session->end) {
        line.push_back(Time(end->utc, end->utcOffset));
        line.push_back(Duration(end->utc - d.utc));
    } else {
        line.insert(line.end(), 2, TableCell{});
    }
    line.push_back(Text(EndText(session->end)));
    line.push_back(Text(session->admin ? "はい" : ""));
    line.push_back(Number(session->disconnects));
    line.push_back(Number(session->reconnects));
    const auto& last = session->lastDisconnect;
    line.push_back(last ? Time(last->utc, last->utcOffset) : TableCell{});
    sessions_.push_back(std::move(line));
}

std::vector<TableLine> RunTables::SummaryLines() const {
    std::vector<TableLine> lines;
    for (const AccountTotals& a : summary_.Accounts()) {
        lines.push_back({Text(a.computer), Text(a.user.name), Text(a.user.domain),
                         Number(static_cast<std::int64_t>(a.logons)),
                         Number(static_cast<std::int64_t>(a.failedLogons)),
                         Number(static_cast<std::int64_t>(a.logoffs)), Time(a.first.utc, a.first.utcOffset),
                         Time(a.last.utc, a.last.utcOffset), Text(JoinWithCommas(a.addresses))});
    }
    return lines;
}

std::vector<std::string> RunTables::Warnings(const SummaryThresholds& thresholds) const {
    std::vector<std::string> warnings;
    // The window reads every event the summary counts.
    for (const GuessingFlag& flag : summary_.Guessing(thresholds))
        warnings.push_back(WarningText(flag, thresholds.windowSeconds, nullptr, CountedEvents::Named));
    for (const SprayingFlag& flag : summary_.Spraying(thresholds))
        warnings.push_back(WarningText(flag, thresholds.windowSeconds, nullptr, CountedEvents::Named));
    for (const LockoutEntry& lockout : summary_.Lockouts())
        warnings.push_back("ロックアウト:" + LockoutText(lockout));
    return warnings;
}

}  // namespace kestrel
