#include "collector/summary_output.h"

#include <algorithm>
#include <array>

#include "analysis/summary_warnings.h"
#include "base/control_escape.h"
#include "base/cp932.h"
#include "collector/json_text.h"

namespace kestrel {
namespace {

void AppendIso(const SummaryTime& time, std::string& out) {
    out += '"';
    AppendIsoTime(time.utc, time.utcOffset, out);
    out += '"';
}

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

// ,"events":{"4625":3,"4771":9}: the failures of each event in a flag's window.
void AppendFailureCounts(const FailureCounts& counts, CountedEvents events, std::string& out) {
    if (events == CountedEvents::Unnamed) return;
    AppendJsonKey("events", out);
    out += '{';
    bool first = true;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] == 0) continue;
        if (!first) out += ',';
        first = false;
        out += '"' + std::to_string(kFailureEvents[i]) + "\":";
        AppendJsonNumber(counts[i], out);
    }
    out += '}';
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
        for (std::string_view address : a.addresses) {
            if (!cells[8].empty()) cells[8] += ", ";
            cells[8] += address;
        }
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
    auto account = [&](std::string_view computer, const SummaryUser& user) {
        AppendJsonKey("computer", line);
        AppendJsonString(computer, line);
        AppendJsonKey("user", line);
        AppendJsonString(user.name, line);
        AppendJsonKey("domain", line);
        AppendJsonString(user.domain, line);
    };
    for (const AccountTotals& a : summary.Accounts()) {
        line = "{\"summary\":\"account\"";
        account(a.computer, a.user);
        AppendJsonKey("logons", line);
        AppendJsonNumber(a.logons, line);
        AppendJsonKey("failed_logons", line);
        AppendJsonNumber(a.failedLogons, line);
        AppendJsonKey("logoffs", line);
        AppendJsonNumber(a.logoffs, line);
        AppendJsonKey("first", line);
        AppendIso(a.first, line);
        AppendJsonKey("last", line);
        AppendIso(a.last, line);
        AppendJsonKey("ips", line);
        line += '[';
        for (std::size_t i = 0; i < a.addresses.size(); ++i) {
            if (i > 0) line += ',';
            AppendJsonString(a.addresses[i], line);
        }
        line += "]}\n";
        out << line;
    }
    for (const GuessingFlag& g : summary.Guessing(thresholds)) {
        line = "{\"summary\":\"password_guessing\"";
        account(g.computer, g.user);
        AppendJsonKey("failed_logons", line);
        AppendJsonNumber(g.failedLogons, line);
        AppendJsonKey("start", line);
        AppendIso(g.start, line);
        AppendJsonKey("end", line);
        AppendIso(g.end, line);
        AppendFailureCounts(g.byEvent, events, line);
        line += "}\n";
        out << line;
    }
    for (const SprayingFlag& s : summary.Spraying(thresholds)) {
        line = "{\"summary\":\"password_spraying\"";
        AppendJsonKey("ip", line);
        AppendJsonString(s.address, line);
        AppendJsonKey("users", line);
        AppendJsonNumber(s.users.size(), line);
        AppendJsonKey("user_names", line);
        line += '[';
        for (std::size_t i = 0; i < s.users.size(); ++i) {
            if (i > 0) line += ',';
            AppendJsonString(QualifiedName(s.users[i]), line);
        }
        line += ']';
        AppendJsonKey("computers", line);
        line += '[';
        for (std::size_t i = 0; i < s.computers.size(); ++i) {
            if (i > 0) line += ',';
            AppendJsonString(s.computers[i], line);
        }
        line += ']';
        AppendJsonKey("start", line);
        AppendIso(s.start, line);
        AppendJsonKey("end", line);
        AppendIso(s.end, line);
        AppendFailureCounts(s.byEvent, events, line);
        line += "}\n";
        out << line;
    }
    for (const LockoutEntry& lockout : summary.Lockouts()) {
        line = "{\"summary\":\"lockout\"";
        account(lockout.computer, lockout.user);
        AppendJsonKey("time", line);
        AppendIso(lockout.time, line);
        AppendJsonKey("caller_computer", line);
        AppendJsonStringOrNull(
            lockout.callerComputer.empty() ? std::nullopt : std::optional(lockout.callerComputer), line);
        line += "}\n";
        out << line;
    }
}

}  // namespace kestrel
