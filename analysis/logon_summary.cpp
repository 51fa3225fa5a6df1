#include "analysis/logon_summary.h"

#include <algorithm>

#include "analysis/busiest_window.h"

namespace kestrel {
namespace {

// A time, its zone's offset and, for a failure, the event it was counted
// from, in one number that sorts by time: seconds since 1970 above, the offset
// in the 18 bits below them, the event in the lowest 2. Zones lie within 14
// hours of UTC, far inside the 36 the offset's bits hold; the clamps only
// keep a broken value from overflowing.
constexpr int kEventBits = 2;
constexpr int kOffsetBits = 18;
constexpr int kLowBits = kOffsetBits + kEventBits;
constexpr std::int64_t kOffsetBias = std::int64_t{1} << (kOffsetBits - 1);
constexpr std::int64_t kUtcLimit = std::int64_t{1} << 42;
static_assert(std::size(kFailureEvents) <= (1u << kEventBits));

std::int64_t MomentOf(std::int64_t utc, std::int32_t offset, std::size_t failureEvent = 0) {
    const std::int64_t seconds = std::clamp(utc, -kUtcLimit, kUtcLimit);
    const std::int64_t biased =
        std::clamp<std::int64_t>(offset, 1 - kOffsetBias, kOffsetBias - 1) + kOffsetBias;
    return seconds * (std::int64_t{1} << kLowBits) + (biased << kEventBits) +
           static_cast<std::int64_t>(failureEvent);
}

std::int64_t UtcOf(std::int64_t moment) { return moment >> kLowBits; }

std::int32_t OffsetOf(std::int64_t moment) {
    return static_cast<std::int32_t>(((moment >> kEventBits) & ((std::int64_t{1} << kOffsetBits) - 1)) -
                                     kOffsetBias);
}

std::size_t EventOf(std::int64_t moment) {
    return static_cast<std::size_t>(moment & ((std::int64_t{1} << kEventBits) - 1));
}

SummaryTime TimeOf(std::int64_t moment) { return {UtcOf(moment), OffsetOf(moment)}; }

// The failures' seconds of sorted moments, for the window finder.
auto SecondOf(const std::vector<std::int64_t>& moments) {
    return [&moments](std::size_t i) { return UtcOf(moments[i]); };
}

void Nothing(std::size_t) {}

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
    const std::size_t count = computers_.Size();
    if (count > 0 && computers_[static_cast<std::uint32_t>(count - 1)] == name)
        return static_cast<std::uint32_t>(count - 1);
    return computers_.Add(name);
}

std::uint32_t LogonSummary::UserIndex(std::string_view name, std::string_view domain) {
    // The name's length first, so "ab"+"c" and "a"+"bc" differ.
    const auto length = static_cast<std::uint32_t>(name.size());
    key_.assign(reinterpret_cast<const char*>(&length), sizeof length).append(name).append(domain);
    const std::uint32_t index = userKeys_.Add(key_);
    if (index == users_.size()) users_.push_back({std::string(name), std::string(domain)});
    return index;
}

std::uint32_t LogonSummary::AddressIndex(std::string_view text) {
    const std::uint32_t index = addresses_.Add(text);
    if (index == addressFailures_.size()) addressFailures_.emplace_back();
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

bool CountsAsFailure(const EventDetails& row) {
    return row.kind == EventKind::FailedLogon || row.kind == EventKind::PreAuthFailed ||
           (row.kind == EventKind::NtlmValidation && IsFailure(row));
}

void LogonSummary::Add(std::string_view computer, const EventDetails& row) {
    const bool failure = CountsAsFailure(row);
    if (row.kind == EventKind::Lockout) {
        lockouts_.push_back({ComputerIndex(computer), UserIndex(row.user, row.domain),
                             MomentOf(row.utc, row.utcOffset), std::string(row.workstation.value_or(""))});
        return;
    }
    if (!failure && row.kind != EventKind::Logon && row.kind != EventKind::Logoff) return;
    const std::uint32_t index = AccountIndex(ComputerIndex(computer), UserIndex(row.user, row.domain));
    Account& account = accounts_[index];
    const std::int64_t moment = MomentOf(row.utc, row.utcOffset);
    account.first = std::min(account.first, moment);
    account.last = std::max(account.last, moment);
    if (failure) {
        AddFailure(index, moment, row);
    } else if (row.kind == EventKind::Logon) {
        ++account.logons;
        if (row.ip) AddAddress(index, AddressIndex(*row.ip));
    } else {
        ++account.logoffs;
    }
}

// A failure counts where it came from: the address, as IPv4 where a domain
// controller wrote an IPv4 address as IPv6 (so that it meets the member
// servers' failures from it), or the workstation an NTLM check names.
void LogonSummary::AddFailure(std::uint32_t index, std::int64_t moment, const EventDetails& row) {
    const std::size_t event = row.kind == EventKind::FailedLogon     ? 0
                              : row.kind == EventKind::PreAuthFailed ? 1
                                                                     : 2;
    moment += static_cast<std::int64_t>(event);
    Account& account = accounts_[index];
    ++account.failures;
    account.failed.push_back(moment);
    std::optional<std::string_view> source = event == 2 ? row.workstation : row.ip;
    if (!source) return;
    if (source->starts_with("::ffff:") && source->find('.') != std::string_view::npos)
        source->remove_prefix(7);
    const std::uint32_t address = AddressIndex(*source);
    AddAddress(index, address);
    addressFailures_[address].push_back({moment, index});
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
    for (const std::string& name : later.computers_.Texts()) computerOf.push_back(ComputerIndex(name));
    for (const User& user : later.users_) userOf.push_back(UserIndex(user.name, user.domain));
    for (const std::string& address : later.addresses_.Texts()) addressOf.push_back(AddressIndex(address));
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
    for (Lockout& lockout : later.lockouts_) {
        lockouts_.push_back(
            {computerOf[lockout.computer], userOf[lockout.user], lockout.moment, std::move(lockout.caller)});
    }
    for (std::size_t i = 0; i < later.addressFailures_.size(); ++i) {
        std::vector<Failure>& to = addressFailures_[addressOf[i]];
        for (const Failure& failure : later.addressFailures_[i])
            to.push_back({failure.moment, accountOf[failure.account]});
    }
    later = LogonSummary();
}

std::string QualifiedName(const SummaryUser& user) {
    std::string text;
    if (!user.domain.empty()) text.append(user.domain) += '\\';
    return text.append(user.name);
}

bool LogonSummary::UserBefore(std::uint32_t a, std::uint32_t b) const {
    const User& x = users_[a];
    const User& y = users_[b];
    return x.name != y.name ? x.name < y.name : x.domain < y.domain;
}

bool LogonSummary::AccountBefore(std::uint32_t a, std::uint32_t b) const {
    const Account& x = accounts_[a];
    const Account& y = accounts_[b];
    return x.computer != y.computer ? x.computer < y.computer : UserBefore(x.user, y.user);
}

SummaryUser LogonSummary::UserAt(std::uint32_t user) const {
    return {users_[user].name, users_[user].domain};
}

std::vector<AccountTotals> LogonSummary::Accounts() const {
    std::vector<std::uint32_t> order(accounts_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
    std::sort(order.begin(), order.end(),
              [this](std::uint32_t a, std::uint32_t b) { return AccountBefore(a, b); });
    std::vector<AccountTotals> found(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Account& a = accounts_[order[i]];
        AccountTotals& totals = found[i];
        totals.computer = computers_[a.computer];
        totals.user = UserAt(a.user);
        totals.logons = a.logons, totals.failedLogons = a.failures, totals.logoffs = a.logoffs;
        totals.first = TimeOf(a.first), totals.last = TimeOf(a.last);
        for (std::uint32_t address : a.addresses) totals.addresses.push_back(addresses_[address]);
    }
    return found;
}

std::vector<GuessingFlag> LogonSummary::Guessing(const SummaryThresholds& t) const {
    if (t.windowSeconds <= 0) return {};
    std::vector<std::pair<std::uint32_t, GuessingFlag>> found;  // by account
    // A flag needs a failure, whatever the threshold.
    const std::uint64_t needed = std::max(1u, t.guessFailures);
    std::vector<std::int64_t> moments;
    for (std::uint32_t index = 0; index < accounts_.size(); ++index) {
        const Account& account = accounts_[index];
        if (account.failed.size() < needed) continue;
        moments = account.failed;
        std::sort(moments.begin(), moments.end());
        const BusiestWindow w =
            FindBusiestWindow(moments.size(), t.windowSeconds, SecondOf(moments), Nothing, Nothing,
                              [](std::size_t first, std::size_t last) { return last - first + 1; });
        if (w.score < needed) continue;
        GuessingFlag flag{computers_[account.computer], UserAt(account.user), w.score,
                          TimeOf(moments[w.first]), TimeOf(moments[w.last])};
        for (std::size_t i = w.first; i <= w.last; ++i) ++flag.byEvent[EventOf(moments[i])];
        found.push_back({index, flag});
    }
    // Only the flagged accounts need sorting into the accounts' order.
    std::sort(found.begin(), found.end(),
              [this](const auto& a, const auto& b) { return AccountBefore(a.first, b.first); });
    std::vector<GuessingFlag> flags;
    flags.reserve(found.size());
    for (auto& entry : found) flags.push_back(std::move(entry.second));
    return flags;
}

std::vector<SprayingFlag> LogonSummary::Spraying(const SummaryThresholds& t) const {
    std::vector<SprayingFlag> found;
    if (t.windowSeconds <= 0) return found;
    const std::size_t needed = std::max(1u, t.sprayUsers);
    std::vector<std::uint32_t> order(addresses_.Size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
    std::sort(order.begin(), order.end(),
              [this](std::uint32_t a, std::uint32_t b) { return addresses_[a] < addresses_[b]; });

    // Failures in the window by user, shared by every address: each leaves it
    // as it found it, all zero.
    std::vector<std::uint32_t> inWindow(users_.size(), 0);
    std::vector<Failure> failures;
    std::vector<std::int64_t> moments;
    for (std::uint32_t index : order) {
        if (addressFailures_[index].size() < needed) continue;
        failures = addressFailures_[index];
        std::sort(failures.begin(), failures.end());
        moments.clear();
        for (const Failure& f : failures) moments.push_back(f.moment);

        std::size_t users = 0;
        auto userOf = [&](std::size_t i) { return accounts_[failures[i].account].user; };
        const BusiestWindow w = FindBusiestWindow(
            failures.size(), t.windowSeconds, SecondOf(moments),
            [&](std::size_t i) { users += inWindow[userOf(i)]++ == 0 ? 1 : 0; },
            [&](std::size_t i) { users -= --inWindow[userOf(i)] == 0 ? 1 : 0; },
            [&](std::size_t, std::size_t) { return users; });
        if (w.score < needed) continue;

        std::vector<std::uint32_t> flagUsers, flagComputers;
        SprayingFlag& flag = found.emplace_back();
        for (std::size_t i = w.first; i <= w.last; ++i) {
            const Account& account = accounts_[failures[i].account];
            flagUsers.push_back(account.user);
            flagComputers.push_back(account.computer);
            ++flag.byEvent[EventOf(moments[i])];
        }
        std::sort(flagUsers.begin(), flagUsers.end(),
                  [this](std::uint32_t a, std::uint32_t b) { return UserBefore(a, b); });
        flagUsers.erase(std::unique(flagUsers.begin(), flagUsers.end()), flagUsers.end());
        std::sort(flagComputers.begin(), flagComputers.end());
        flagComputers.erase(std::unique(flagComputers.begin(), flagComputers.end()), flagComputers.end());
        flag.address = addresses_[index];
        for (std::uint32_t user : flagUsers) flag.users.push_back(UserAt(user));
        for (std::uint32_t computer : flagComputers) flag.computers.push_back(computers_[computer]);
        flag.start = TimeOf(moments[w.first]), flag.end = TimeOf(moments[w.last]);
    }
    return found;
}

std::vector<LockoutEntry> LogonSummary::Lockouts() const {
    std::vector<const Lockout*> order;
    for (const Lockout& lockout : lockouts_) order.push_back(&lockout);
    std::stable_sort(order.begin(), order.end(), [this](const Lockout* a, const Lockout* b) {
        if (a->user != b->user) return UserBefore(a->user, b->user);
        return a->computer != b->computer ? a->computer < b->computer : a->moment < b->moment;
    });
    std::vector<LockoutEntry> found;
    for (const Lockout* lockout : order) {
        found.push_back(
            {computers_[lockout->computer], UserAt(lockout->user), TimeOf(lockout->moment), lockout->caller});
    }
    return found;
}

std::vector<SourceFailures> LogonSummary::FailureSources() const {
    std::vector<SourceFailures> found;
    std::vector<std::uint32_t> users;
    for (std::uint32_t address = 0; address < addresses_.Size(); ++address) {
        const std::vector<Failure>& failures = addressFailures_[address];
        if (failures.empty()) continue;
        users.clear();
        for (const Failure& failure : failures) users.push_back(accounts_[failure.account].user);
        std::sort(users.begin(), users.end());
        const auto distinct =
            static_cast<std::size_t>(std::unique(users.begin(), users.end()) - users.begin());
        found.push_back({addresses_[address], failures.size(), distinct});
    }
    std::sort(found.begin(), found.end(),
              [](const SourceFailures& a, const SourceFailures& b) { return a.address < b.address; });
    return found;
}

}  // namespace kestrel
