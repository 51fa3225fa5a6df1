#pragma once
// The --summary of kestrel-collect: per computer and account, how many logons,
// failed logons and logoffs, when and from where; then the accounts and source
// addresses whose failed logons look like password guessing or spraying.
// Failures are kept as bare times and small indexes, since a log under attack
// holds millions of them.
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "collector/output_text.h"
#include "collector/event_details.h"

namespace kestrel {

struct SummaryThresholds {
    unsigned guessFailures = 10;       // failed logons of one account on one computer
    unsigned sprayUsers = 5;           // distinct users failing from one source address
    std::int64_t windowSeconds = 600;  // within this long
};

class LogonSummary {
public:
    // A row the table kept, of a computer as the user named it (CP932).
    void Add(std::string_view computer, const EventDetails& row);
    // The rows of the computers after ours in the list: the same as adding
    // them here, one after another.
    void Append(LogonSummary&& later);
    // The accounts as an aligned table with a heading, then a warning line a
    // flag; CR LF ended, each line through convert.
    void WriteTable(std::ostream& out, TextConverter convert, const SummaryThresholds& thresholds) const;
    // One JSON object a line: the accounts, the guessing flags, the spraying flags.
    void WriteJsonLines(std::ostream& out, const SummaryThresholds& thresholds) const;

private:
    // Looked up by a view, without making a string of it first.
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    using TextIndex = std::unordered_map<std::string, std::uint32_t, TextHash, std::equal_to<>>;

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
    struct Address {
        std::string text;
        std::vector<Failure> failures;
    };
    struct Guessing {
        std::uint32_t account;
        std::uint64_t failures;
        std::int64_t start, end;
    };
    struct Spraying {
        std::uint32_t address;
        std::vector<std::uint32_t> users;      // by name, then domain
        std::vector<std::uint32_t> computers;  // in list order
        std::int64_t start, end;
    };

    std::uint32_t ComputerIndex(std::string_view name);
    std::uint32_t UserIndex(std::string_view name, std::string_view domain);
    std::uint32_t AddressIndex(std::string_view text);
    std::uint32_t AccountIndex(std::uint32_t computer, std::uint32_t user);
    void AddAddress(std::uint32_t account, std::uint32_t address);

    std::vector<std::uint32_t> AccountOrder() const;
    std::vector<Guessing> FindGuessing(const std::vector<std::uint32_t>& order,
                                       const SummaryThresholds& t) const;
    std::vector<Spraying> FindSpraying(const SummaryThresholds& t) const;
    bool UserBefore(std::uint32_t a, std::uint32_t b) const;
    std::string AccountName(std::uint32_t user) const;

    std::vector<std::string> computers_;  // list order
    TextIndex computerIndex_;
    std::vector<User> users_;
    TextIndex userIndex_;
    std::vector<Address> addresses_;
    TextIndex addressIndex_;
    std::vector<Account> accounts_;
    std::unordered_map<std::uint64_t, std::uint32_t> accountIndex_;  // computer << 32 | user
    PairSet accountAddresses_;
    std::string key_;  // reused by UserIndex
};

}  // namespace kestrel
