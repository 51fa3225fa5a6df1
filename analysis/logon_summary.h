#pragma once
// Per computer and account, how many logons, failed logons and logoffs, when
// and from where; then the accounts and source addresses whose failed logons
// look like password guessing or spraying. Failures are kept as bare times
// and small indexes, since a log under attack holds millions of them.
#include <array>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "analysis/event_details.h"
#include "analysis/text_table.h"

namespace kestrel {

struct SummaryThresholds {
    unsigned guessFailures = 10;       // failed logons of one account on one computer
    unsigned sprayUsers = 5;           // distinct users failing from one source address
    std::int64_t windowSeconds = 600;  // within this long
};

// What the summary hands out: CP932 texts that point into it, valid while it
// lives unchanged.
struct SummaryUser {
    std::string_view name, domain;
};

// A moment with the offset its zone had then.
struct SummaryTime {
    std::int64_t utc = 0;
    std::int32_t utcOffset = 0;
};

struct AccountTotals {
    std::string_view computer;
    SummaryUser user;
    std::uint64_t logons = 0, failedLogons = 0, logoffs = 0;
    SummaryTime first, last;
    std::vector<std::string_view> addresses;  // first seen first
};

// The events a failure is counted from: a failed logon on any computer, a
// failed Kerberos pre-authentication or NTLM check on a domain controller.
inline constexpr std::uint16_t kFailureEvents[] = {4625, 4771, 4776};
using FailureCounts = std::array<std::uint64_t, std::size(kFailureEvents)>;  // by kFailureEvents

// The busiest window of one account's failed logons on one computer.
struct GuessingFlag {
    std::string_view computer;
    SummaryUser user;
    std::uint64_t failedLogons = 0;
    SummaryTime start, end;
    FailureCounts byEvent{};  // the window's failures
};

// The window in which the failed logons from one source address named the
// most users.
struct SprayingFlag {
    std::string_view address;
    std::vector<SummaryUser> users;           // by name, then domain
    std::vector<std::string_view> computers;  // in list order
    SummaryTime start, end;
    FailureCounts byEvent{};  // the window's failures
};

// An account a domain controller locked out (4740).
struct LockoutEntry {
    std::string_view computer;  // the controller
    SummaryUser user;           // the domain is the controller's
    SummaryTime time;
    std::string_view callerComputer;  // where the failed logons came from; empty when unknown
};

// The failures from one source: an address, or the workstation an NTLM
// check names.
struct SourceFailures {
    std::string_view address;
    std::uint64_t failedLogons = 0;
    std::size_t users = 0;  // distinct users those failures named
};

// "DOMAIN\user", or the user alone where the domain is empty.
std::string QualifiedName(const SummaryUser& user);

// What the summary counts as a failed logon: a 4625, a 4771, a 4776 that failed.
bool CountsAsFailure(const EventDetails& row);

class LogonSummary {
public:
    // An event read, of a computer as the user named it (CP932): a logon,
    // failed logon or logoff the table kept, a failure of 4771 or 4776, or a
    // lockout; other events count for nothing.
    void Add(std::string_view computer, const EventDetails& row);
    // The rows of the computers after ours in the list: the same as adding
    // them here, one after another.
    void Append(LogonSummary&& later);

    // By computer in list order, then by user name and domain.
    std::vector<AccountTotals> Accounts() const;
    // In the accounts' order.
    std::vector<GuessingFlag> Guessing(const SummaryThresholds& thresholds) const;
    // By source address.
    std::vector<SprayingFlag> Spraying(const SummaryThresholds& thresholds) const;
    // By user and domain, then computer in list order, then time.
    std::vector<LockoutEntry> Lockouts() const;
    // The sources of failures, by address.
    std::vector<SourceFailures> FailureSources() const;

private:
    // Pairs of indexes in one flat table: a node each would outweigh the
    // failures themselves when one account is tried from thousands of addresses.
    class PairSet {
    public:
        bool Insert(std::uint32_t first, std::uint32_t second);  // false when present

    private:
        std::vector<std::uint64_t> slots_;  // first << 32 | second; all ones when empty
        std::size_t count_ = 0;
    };

    struct User {
        std::string name, domain;
    };
    struct Account {
        std::uint32_t computer = 0, user = 0;
        std::uint64_t logons = 0, failures = 0, logoffs = 0;
        std::int64_t first = INT64_MAX, last = INT64_MIN;  // moments, see logon_summary.cpp
        std::vector<std::uint32_t> addresses;              // first seen first
        std::vector<std::int64_t> failed;                  // moments of its failures
    };
    struct Failure {
        std::int64_t moment;
        std::uint32_t account;
        friend bool operator<(const Failure& a, const Failure& b) {
            return a.moment != b.moment ? a.moment < b.moment : a.account < b.account;
        }
    };
    struct Lockout {
        std::uint32_t computer, user;
        std::int64_t moment;
        std::string caller;
    };

    std::uint32_t ComputerIndex(std::string_view name);
    std::uint32_t UserIndex(std::string_view name, std::string_view domain);
    std::uint32_t AddressIndex(std::string_view text);
    std::uint32_t AccountIndex(std::uint32_t computer, std::uint32_t user);
    void AddAddress(std::uint32_t account, std::uint32_t address);
    void AddFailure(std::uint32_t account, std::int64_t moment, const EventDetails& row);

    bool UserBefore(std::uint32_t a, std::uint32_t b) const;
    bool AccountBefore(std::uint32_t a, std::uint32_t b) const;
    SummaryUser UserAt(std::uint32_t user) const;

    TextTable computers_;  // list order
    TextTable userKeys_;   // a user's name and domain, as UserIndex makes the key
    std::vector<User> users_;
    TextTable addresses_;
    std::vector<std::vector<Failure>> addressFailures_;  // by address
    std::vector<Account> accounts_;
    std::unordered_map<std::uint64_t, std::uint32_t> accountIndex_;  // computer << 32 | user
    PairSet accountAddresses_;
    std::vector<Lockout> lockouts_;
    std::string key_;  // reused by UserIndex
};

}  // namespace kestrel
