#include "collector/logon_summary.h"

#include <algorithm>
#include <array>

#include "base/control_escape.h"
#include "collector/json_text.h"
#include "evtx/cp932.h"

namespace kestrel {
namespace {

// A time and its zone's offset in one number that sorts by time: seconds
// since 1970 above, the offset in the low 18 bits. Zones lie within 14 hours
// of UTC, far inside the 36 those bits hold; the clamps only keep a broken
// value from overflowing.
constexpr int kOffsetBits = 18;
constexpr std::int64_t kOffsetBias = std::int64_t{1} << (kOffsetBits - 1);
constexpr std::int64_t kUtcLimit = std::int64_t{1} << 44;

std::int64_t MomentOf(std::int64_t utc, std::int32_t offset) {
    const std::int64_t seconds = std::clamp(utc, -kUtcLimit, kUtcLimit);
    const std::int64_t biased =
        std::clamp<std::int64_t>(offset, 1 - kOffsetBias, kOffsetBias - 1) + kOffsetBias;
    return seconds * (std::int64_t{1} << kOffsetBits) + biased;
}

std::int64_t UtcOf(std::int64_t moment) { return moment >> kOffsetBits; }

std::int32_t OffsetOf(std::int64_t moment) {
    return static_cast<std::int32_t>((moment & ((std::int64_t{1} << kOffsetBits) - 1)) - kOffsetBias);
}

void AppendIso(std::int64_t moment, std::string& out) {
    out += '"';
    AppendIsoTime(UtcOf(moment), OffsetOf(moment), out);
    out += '"';
}

void AppendLocal(std::int64_t moment, std::string& out) {
    AppendLocalTimeText(UtcOf(moment), OffsetOf(moment), out);
}

// A window holds the failures whose times differ by less than its length:
// times are whole seconds, so ten minutes from 09:00:00 run to 09:09:59, and
// a failure at 09:10:00 starts the next. A window ends after the last failure
// of a second, so one second's failures are never split.
bool InWindow(std::int64_t firstMoment, std::int64_t lastMoment, std::int64_t windowSeconds) {
    return UtcOf(lastMoment) - UtcOf(firstMoment) < windowSeconds;
}

bool EndsSecond(const std::vector<std::int64_t>& moments, std::size_t i) {
    return i + 1 == moments.size() || UtcOf(moments[i + 1]) != UtcOf(moments[i]);
}

struct Window {
    std::size_t first = 0, last = 0, count = 0;
};

// The window with the most failures; of equal ones the earliest. Sorted moments.
Window BusiestWindow(const std::vector<std::int64_t>& moments, std::int64_t windowSeconds) {
    Window best;
    std::size_t first = 0;
    for (std::size_t last = 0; last < moments.size(); ++last) {
        if (!EndsSecond(moments, last)) continue;
        while (!InWindow(moments[first], moments[last], windowSeconds)) ++first;
        if (last - first + 1 > best.count) best = {first, last, last - first + 1};
    }
    return best;
}

// "10分間": the window as the warnings name it.
std::string WindowText(std::int64_t seconds) {
    return seconds % 60 == 0 ? std::to_string(seconds / 60) + "分間" : std::to_string(seconds) + "秒間";
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

}  // namespace

bool LogonSummary::PairSet::Insert(std::uint32_t first, std::uint32_t second) {
    constexpr std::uint64_t kEmpty = ~std::uint64_t{0};  // no index reaches 2^32 - 1
    if ((count_ + 1) * 2 > slots_.size()) {
        std::vector<std::uint64_t> old(std::max<std::size_t>(16, slots_.size() * 2), kEmpty);
        old.swap(slots_);
        count_ = 0;
        for (std::uint64_t pair : old) {
            if (pair != kEmpty)
                Insert(static_cast<std::uint32_t>(pair >> 32), static_cast<std::uint32_t>(pair));
        }
    }
    const std::uint64_t pair = std::uint64_t{first} << 32 | second;
    const std::size_t mask = slots_.size() - 1;
    // Fibonacci hashing spreads indexes that differ in a few low bits.
    for (std::size_t i = (pair * 0x9E3779B97F4A7C15u) >> 32 & mask;; i = (i + 1) & mask) {
        if (slots_[i] == pair) return false;
        if (slots_[i] == kEmpty) {
            slots_[i] = pair;
            ++count_;
            return true;
        }
    }
}

std::uint32_t LogonSummary::ComputerIndex(std::string_view name) {
    // Rows of one computer come together: the last one found is the likely one.
    if (!computers_.empty() && computers_.back() == name)
        return static_cast<std::uint32_t>(computers_.size() - 1);
    const auto found = computerIndex_.find(name);
    if (found != computerIndex_.end()) return found->second;
    const auto index = static_cast<std::uint32_t>(computers_.size());
    computers_.emplace_back(name);
    computerIndex_.emplace(std::string(name), index);
    return index;
}

std::uint32_t LogonSummary::UserIndex(std::string_view name, std::string_view domain) {
    // The name's length first, so "ab"+"c" and "a"+"bc" differ.
    const auto length = static_cast<std::uint32_t>(name.size());
    key_.assign(reinterpret_cast<const char*>(&length), sizeof length).append(name).append(domain);
    const auto found = userIndex_.find(key_);
    if (found != userIndex_.end()) return found->second;
    const auto index = static_cast<std::uint32_t>(users_.size());
    users_.push_back({std::string(name), std::string(domain)});
    userIndex_.emplace(key_, index);
    return index;
}

std::uint32_t LogonSummary::AddressIndex(std::string_view text) {
    const auto found = addressIndex_.find(text);
    if (found != addressIndex_.end()) return found->second;
    const auto index = static_cast<std::uint32_t>(addresses_.size());
    addresses_.push_back({std::string(text), {}});
    addressIndex_.emplace(std::string(text), index);
    return index;
}

std::uint32_t LogonSummary::AccountIndex(std::uint32_t computer, std::uint32_t user) {
    const auto [found, added] = accountIndex_.try_emplace(std::uint64_t{computer} << 32 | user,
                                                          static_cast<std::uint32_t>(accounts_.size()));
    if (added) {
        accounts_.emplace_back();
        accounts_.back().computer = computer;
        accounts_.back().user = user;
    }
    return found->second;
}

void LogonSummary::AddAddress(std::uint32_t account, std::uint32_t address) {
    if (accountAddresses_.Insert(account, address)) {
        accounts_[account].addresses.push_back(address);
    }
}

void LogonSummary::Add(std::string_view computer, const EventDetails& row) {
    const std::uint32_t index = AccountIndex(ComputerIndex(computer), UserIndex(row.user, row.domain));
    Account& account = accounts_[index];
    const std::int64_t moment = MomentOf(row.utc, row.utcOffset);
    account.first = std::min(account.first, moment);
    account.last = std::max(account.last, moment);
    switch (row.kind) {
        case EventKind::Logon:
            ++account.logons;
            if (row.ip) AddAddress(index, AddressIndex(*row.ip));
            break;
        case EventKind::FailedLogon:
            ++account.failures;
            account.failed.push_back(moment);
            if (row.ip) {
                const std::uint32_t address = AddressIndex(*row.ip);
                AddAddress(index, address);
                addresses_[address].failures.push_back({moment, index});
            }
            break;
        case EventKind::Logoff:
            ++account.logoffs;
            break;
    }
}

void LogonSummary::Append(LogonSummary&& later) {
    if (&later == this) return;
    if (accounts_.empty()) {
        *this = std::move(later);
        return;
    }
    // Later's indexes as ours; its names new to us join in its order, as they
    // would have, had its rows been added here.
    std::vector<std::uint32_t> computerOf, userOf, addressOf, accountOf;
    for (const std::string& name : later.computers_) computerOf.push_back(ComputerIndex(name));
    for (const User& user : later.users_) userOf.push_back(UserIndex(user.name, user.domain));
    for (const Address& address : later.addresses_) addressOf.push_back(AddressIndex(address.text));
    for (Account& from : later.accounts_) {
        const std::uint32_t index = AccountIndex(computerOf[from.computer], userOf[from.user]);
        accountOf.push_back(index);
        Account& to = accounts_[index];
        to.logons += from.logons;
        to.failures += from.failures;
        to.logoffs += from.logoffs;
        to.first = std::min(to.first, from.first);
        to.last = std::max(to.last, from.last);
        to.failed.insert(to.failed.end(), from.failed.begin(), from.failed.end());
        for (std::uint32_t address : from.addresses) AddAddress(index, addressOf[address]);
        from = Account();
    }
    for (std::size_t i = 0; i < later.addresses_.size(); ++i) {
        std::vector<Failure>& to = addresses_[addressOf[i]].failures;
        for (const Failure& failure : later.addresses_[i].failures)
            to.push_back({failure.moment, accountOf[failure.account]});
    }
    later = LogonSummary();
}

bool LogonSummary::UserBefore(std::uint32_t a, std::uint32_t b) const {
    const User& x = users_[a];
    const User& y = users_[b];
    return x.name != y.name ? x.name < y.name : x.domain < y.domain;
}

std::string LogonSummary::AccountName(std::uint32_t user) const {
    const User& u = users_[user];
    return u.domain.empty() ? u.name : u.domain + "\\" + u.name;
}

std::vector<std::uint32_t> LogonSummary::AccountOrder() const {
    std::vector<std::uint32_t> order(accounts_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
    std::sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) {
        const Account& x = accounts_[a];
        const Account& y = accounts_[b];
        return x.computer != y.computer ? x.computer < y.computer : UserBefore(x.user, y.user);
    });
    return order;
}

std::vector<LogonSummary::Guessing> LogonSummary::FindGuessing(const std::vector<std::uint32_t>& order,
                                                               const SummaryThresholds& t) const {
    std::vector<Guessing> found;
    if (t.windowSeconds <= 0) return found;
    // A flag needs a failure, whatever the threshold.
    const std::uint64_t needed = std::max(1u, t.guessFailures);
    std::vector<std::int64_t> moments;
    for (std::uint32_t index : order) {
        const Account& account = accounts_[index];
        if (account.failed.size() < needed) continue;
        moments = account.failed;
        std::sort(moments.begin(), moments.end());
        const Window w = BusiestWindow(moments, t.windowSeconds);
        if (w.count >= needed) found.push_back({index, w.count, moments[w.first], moments[w.last]});
    }
    return found;
}

std::vector<LogonSummary::Spraying> LogonSummary::FindSpraying(const SummaryThresholds& t) const {
    std::vector<Spraying> found;
    if (t.windowSeconds <= 0) return found;
    const std::size_t needed = std::max(1u, t.sprayUsers);
    std::vector<std::uint32_t> order(addresses_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
    std::sort(order.begin(), order.end(),
              [this](std::uint32_t a, std::uint32_t b) { return addresses_[a].text < addresses_[b].text; });

    // Failures in the window by user, shared by every address: each leaves it
    // as it found it, all zero.
    std::vector<std::uint32_t> inWindow(users_.size(), 0);
    std::vector<Failure> failures;
    std::vector<std::int64_t> moments;
    for (std::uint32_t index : order) {
        if (addresses_[index].failures.size() < needed) continue;
        failures = addresses_[index].failures;
        std::sort(failures.begin(), failures.end());
        moments.clear();
        for (const Failure& f : failures) moments.push_back(f.moment);

        std::size_t users = 0, bestUsers = 0, bestFirst = 0, bestLast = 0, first = 0;
        for (std::size_t last = 0; last < failures.size(); ++last) {
            if (inWindow[accounts_[failures[last].account].user]++ == 0) ++users;
            if (!EndsSecond(moments, last)) continue;
            for (; !InWindow(moments[first], moments[last], t.windowSeconds); ++first) {
                if (--inWindow[accounts_[failures[first].account].user] == 0) --users;
            }
            if (users > bestUsers) bestUsers = users, bestFirst = first, bestLast = last;
        }
        for (; first < failures.size(); ++first) --inWindow[accounts_[failures[first].account].user];
        if (bestUsers < needed) continue;

        Spraying flag{index, {}, {}, moments[bestFirst], moments[bestLast]};
        for (std::size_t i = bestFirst; i <= bestLast; ++i) {
            const Account& account = accounts_[failures[i].account];
            flag.users.push_back(account.user);
            flag.computers.push_back(account.computer);
        }
        std::sort(flag.users.begin(), flag.users.end(),
                  [this](std::uint32_t a, std::uint32_t b) { return UserBefore(a, b); });
        flag.users.erase(std::unique(flag.users.begin(), flag.users.end()), flag.users.end());
        std::sort(flag.computers.begin(), flag.computers.end());
        flag.computers.erase(std::unique(flag.computers.begin(), flag.computers.end()), flag.computers.end());
        found.push_back(std::move(flag));
    }
    return found;
}

void LogonSummary::WriteTable(std::ostream& out, TextConverter convert,
                              const SummaryThresholds& thresholds) const {
    constexpr std::size_t kColumns = 9;
    using Cells = std::array<std::string, kColumns>;
    // Counts stand right-aligned under their headings.
    constexpr std::array<bool, kColumns> kRight{false, false, false, true, true, true, false, false, false};
    const std::vector<std::uint32_t> order = AccountOrder();

    std::vector<Cells> rows;
    rows.reserve(order.size() + 1);
    rows.push_back({"コンピュータ", "ユーザ名", "コンピュータ名", "ログオン", "ログオン失敗", "ログオフ",
                    "最初", "最後", "接続元"});
    for (std::uint32_t index : order) {
        const Account& a = accounts_[index];
        Cells cells{TableCell(computers_[a.computer]), TableCell(users_[a.user].name),
                    TableCell(users_[a.user].domain),  std::to_string(a.logons),
                    std::to_string(a.failures),        std::to_string(a.logoffs)};
        AppendLocal(a.first, cells[6]);
        AppendLocal(a.last, cells[7]);
        for (std::uint32_t address : a.addresses) {
            if (!cells[8].empty()) cells[8] += ", ";
            cells[8] += addresses_[address].text;
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

    const std::string window = WindowText(thresholds.windowSeconds);
    for (const Guessing& g : FindGuessing(order, thresholds)) {
        const Account& a = accounts_[g.account];
        text = "警告:パスワード推測の疑い (" + TableCell(computers_[a.computer]) + ") " +
               TableCell(AccountName(a.user)) + ": " + window + "にログオン失敗 " +
               std::to_string(g.failures) + "回 ";
        AppendLocal(g.start, text);
        text += " - ";
        AppendLocal(g.end, text);
        WriteLine(out, convert, text, line);
    }
    for (const Spraying& s : FindSpraying(thresholds)) {
        text = "警告:パスワードスプレーの疑い " + TableCell(addresses_[s.address].text) + ": " + window +
               "に " + std::to_string(s.users.size()) + "ユーザのログオン失敗 (";
        for (std::size_t i = 0; i < s.users.size(); ++i)
            text += (i > 0 ? ", " : "") + TableCell(AccountName(s.users[i]));
        text += ") (";
        for (std::size_t i = 0; i < s.computers.size(); ++i)
            text += (i > 0 ? ", " : "") + TableCell(computers_[s.computers[i]]);
        text += ") ";
        AppendLocal(s.start, text);
        text += " - ";
        AppendLocal(s.end, text);
        WriteLine(out, convert, text, line);
    }
}

void LogonSummary::WriteJsonLines(std::ostream& out, const SummaryThresholds& thresholds) const {
    const std::vector<std::uint32_t> order = AccountOrder();
    std::string line;
    auto account = [&](const Account& a) {
        AppendJsonKey("computer", line);
        AppendJsonString(computers_[a.computer], line);
        AppendJsonKey("user", line);
        AppendJsonString(users_[a.user].name, line);
        AppendJsonKey("domain", line);
        AppendJsonString(users_[a.user].domain, line);
    };
    for (std::uint32_t index : order) {
        const Account& a = accounts_[index];
        line = "{\"summary\":\"account\"";
        account(a);
        AppendJsonKey("logons", line);
        AppendJsonNumber(a.logons, line);
        AppendJsonKey("failed_logons", line);
        AppendJsonNumber(a.failures, line);
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
            AppendJsonString(addresses_[a.addresses[i]].text, line);
        }
        line += "]}\n";
        out << line;
    }
    for (const Guessing& g : FindGuessing(order, thresholds)) {
        line = "{\"summary\":\"password_guessing\"";
        account(accounts_[g.account]);
        AppendJsonKey("failed_logons", line);
        AppendJsonNumber(g.failures, line);
        AppendJsonKey("start", line);
        AppendIso(g.start, line);
        AppendJsonKey("end", line);
        AppendIso(g.end, line);
        line += "}\n";
        out << line;
    }
    for (const Spraying& s : FindSpraying(thresholds)) {
        line = "{\"summary\":\"password_spraying\"";
        AppendJsonKey("ip", line);
        AppendJsonString(addresses_[s.address].text, line);
        AppendJsonKey("users", line);
        AppendJsonNumber(s.users.size(), line);
        AppendJsonKey("user_names", line);
        line += '[';
        for (std::size_t i = 0; i < s.users.size(); ++i) {
            if (i > 0) line += ',';
            AppendJsonString(AccountName(s.users[i]), line);
        }
        line += ']';
        AppendJsonKey("computers", line);
        line += '[';
        for (std::size_t i = 0; i < s.computers.size(); ++i) {
            if (i > 0) line += ',';
            AppendJsonString(computers_[s.computers[i]], line);
        }
        line += ']';
        AppendJsonKey("start", line);
        AppendIso(s.start, line);
        AppendJsonKey("end", line);
        AppendIso(s.end, line);
        line += "}\n";
        out << line;
    }
}

}  // namespace kestrel
