#include "collector/summary_output.h"

#include <algorithm>
#include <array>

#include "analysis/summary_warnings.h"
#include "base/comma_list.h"
#include "base/control_escape.h"
#include "base/cp932.h"
#include "base/json_object.h"
#include "collector/json_text.h"

namespace kestrel {
namespace {

// Names come from the logs: a control character in one is written as an
// escape, never raw to a terminal.
void WriteLine(std::ostream& out, TextConverter convert, const std::string& cp932, std::string& line) {
    std::string visible;
    AppendEscapedControls(cp932, visible);
    line.clear();
    convert(visible, line);
    line += "\r\n";
    out << line;
}

// A padded column, or a name in a warning, is at most this wide, so that one
// long name cannot widen every line of the table; JSON lines keep the whole text.
constexpr std::size_t kMaxColumnWidth = 40;

// The cell as the table shows it: controls escaped, and a text wider than
// the column cut after a whole character, with "..." to say so.
std::string TableCell(std::string_view cp932) {
    std::string cell;
    AppendEscapedControls(cp932, cell);
    if (cell.size() <= kMaxColumnWidth) return cell;
    std::size_t keep = 0;
    for (;;) {
        const std::size_t next = keep + (IsCp932LeadByte(static_cast<unsigned char>(cell[keep])) ? 2 : 1);
        if (next > kMaxColumnWidth - 3) break;
        keep = next;
    }
    cell.resize(keep);
    return cell + "...";
}

// A line of --summary --format jsonl: {"summary":"account",...}.
JsonObject JsonLine(std::string& line, std::string_view kind) {
    line.clear();
    JsonObject json(line, AppendJsonString);
    json.String("summary", kind);
    return json;
}

void EndLine(JsonObject& json, std::string& line, std::ostream& out) {
    json.End();
    line += '\n';
    out << line;
}

void AppendAccount(JsonObject& json, std::string_view computer, const SummaryUser& user) {
    json.String("computer", computer).String("user", user.name).String("domain", user.domain);
}

void AppendTime(JsonObject& json, std::string_view key, const SummaryTime& time) {
    std::string& out = json.Key(key);
    out += '"';
    AppendIsoTime(time.utc, time.utcOffset, out);
    out += '"';
}

void AppendPeriod(JsonObject& json, const SummaryTime& start, const SummaryTime& end) {
    AppendTime(json, "start", start);
    AppendTime(json, "end", end);
}

// "events":{"4625":3,"4771":9}: the failures of each event in a flag's window.
void AppendFailureCounts(JsonObject& json, const FailureCounts& counts, CountedEvents events) {
    if (events == CountedEvents::Unnamed) return;
    JsonObject byEvent = json.Object("events");
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] != 0) byEvent.Number(std::to_string(kFailureEvents[i]), counts[i]);
    }
    byEvent.End();
}

void WriteAccountLines(const LogonSummary& summary, std::string& line, std::ostream& out) {
    for (const AccountTotals& a : summary.Accounts()) {
        JsonObject json = JsonLine(line, "account");
        AppendAccount(json, a.computer, a.user);
        json.Number("logons", a.logons).Number("failed_logons", a.failedLogons).Number("logoffs", a.logoffs);
        AppendTime(json, "first", a.first);
        AppendTime(json, "last", a.last);
        json.Strings("ips", a.addresses);
        EndLine(json, line, out);
    }
}

void WriteFlagLines(const LogonSummary& summary, const SummaryThresholds& thresholds, CountedEvents events,
                    std::string& line, std::ostream& out) {
    for (const GuessingFlag& g : summary.Guessing(thresholds)) {
        JsonObject json = JsonLine(line, "password_guessing");
        AppendAccount(json, g.computer, g.user);
        json.Number("failed_logons", g.failedLogons);
        AppendPeriod(json, g.start, g.end);
        AppendFailureCounts(json, g.byEvent, events);
        EndLine(json, line, out);
    }
    for (const SprayingFlag& s : summary.Spraying(thresholds)) {
        JsonObject json = JsonLine(line, "password_spraying");
        std::vector<std::string> names;
        for (const SummaryUser& user : s.users) names.push_back(QualifiedName(user));
        json.String("ip", s.address).Number("users", s.users.size());
        json.Strings("user_names", names).Strings("computers", s.computers);
        AppendPeriod(json, s.start, s.end);
        AppendFailureCounts(json, s.byEvent, events);
        EndLine(json, line, out);
    }
}

void WriteLockoutLines(const LogonSummary& summary, std::string& line, std::ostream& out) {
    for (const LockoutEntry& lockout : summary.Lockouts()) {
        JsonObject json = JsonLine(line, "lockout");
        AppendAccount(json, lockout.computer, lockout.user);
        AppendTime(json, "time", lockout.time);
        json.StringOrNull("caller_computer", lockout.callerComputer.empty()
                                                 ? std::nullopt
                                                 : std::optional(lockout.callerComputer));
        EndLine(json, line, out);
    }
}

}  // namespace

void WriteSummaryTable(const LogonSummary& summary, std::ostream& out, TextConverter convert,
                       const SummaryThresholds& thresholds, CountedEvents events) {
    constexpr std::size_t kColumns = 9;
    using Cells = std::array<std::string, kColumns>;
    // Counts stand right-aligned under their headings.
    constexpr std::array<bool, kColumns> kRight{false, false, false, true, true, true, false, false, false};
    const std::vector<AccountTotals> accounts = summary.Accounts();

    std::vector<Cells> rows;
    rows.reserve(accounts.size() + 1);
    rows.push_back({"コンピュータ", "ユーザ名", "コンピュータ名", "ログオン", "ログオン失敗", "ログオフ",
                    "最初", "最後", "接続元"});
    for (const AccountTotals& a : accounts) {
        Cells cells{TableCell(a.computer),    TableCell(a.user.name),         TableCell(a.user.domain),
                    std::to_string(a.logons), std::to_string(a.failedLogons), std::to_string(a.logoffs)};
        AppendLocalTimeText(a.first.utc, a.first.utcOffset, cells[6]);
        AppendLocalTimeText(a.last.utc, a.last.utcOffset, cells[7]);
        cells[8] = JoinWithCommas(a.addresses);
        rows.push_back(std::move(cells));
    }

    // CP932 bytes are display columns: a full-width character takes two of
    // each, a half-width one one.
    std::array<std::size_t, kColumns> widths{};
    for (const Cells& cells : rows) {
        for (std::size_t c = 0; c < kColumns; ++c) widths[c] = std::max(widths[c], cells[c].size());
    }
    std::string text, line;
    for (const Cells& cells : rows) {
        text.clear();
        for (std::size_t c = 0; c < kColumns; ++c) {
            if (c > 0) text += "  ";
            const std::size_t pad = widths[c] - cells[c].size();
            if (kRight[c]) text.append(pad, ' ');
            text += cells[c];
            if (!kRight[c]) text.append(pad, ' ');
        }
        text.erase(text.find_last_not_of(' ') + 1);
        WriteLine(out, convert, text, line);
    }

    for (const GuessingFlag& flag : summary.Guessing(thresholds))
        WriteLine(out, convert, "警告:" + WarningText(flag, thresholds.windowSeconds, TableCell, events),
                  line);
    for (const SprayingFlag& flag : summary.Spraying(thresholds))
        WriteLine(out, convert, "警告:" + WarningText(flag, thresholds.windowSeconds, TableCell, events),
                  line);
    for (const LockoutEntry& lockout : summary.Lockouts())
        WriteLine(out, convert, "ロックアウト:" + LockoutText(lockout, TableCell), line);
}

void WriteSummaryJsonLines(const LogonSummary& summary, std::ostream& out,
                           const SummaryThresholds& thresholds, CountedEvents events) {
    std::string line;
    WriteAccountLines(summary, line, out);
    WriteFlagLines(summary, thresholds, events, line, out);
    WriteLockoutLines(summary, line, out);
}

}  // namespace kestrel
