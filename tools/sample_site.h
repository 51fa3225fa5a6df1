#pragma once
// A sample site: three computers and their domain controller with about two
// weeks of Security events each, the list file that names them, the rows the
// result table shows for them, and the logon events two of them forward to a
// third.
#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "tools/security_log.h"

namespace kestrel::sample {

struct ComputerLog {
    std::string name;                   // as the list names it; also its folder
    std::u16string fullName;            // the Computer element of its events
    std::vector<SecurityEvent> events;  // oldest first, record IDs increasing
};

// Windows Event Forwarding: the logon events of the sources also go to the
// collector's ForwardedEvents log.
struct Forwarding {
    std::string collector;             // a log's name; empty for none
    std::vector<std::string> sources;  // logs' names
    std::uint64_t firstRecord = 1;     // the collector log's own numbering
};

struct Site {
    std::vector<ComputerLog> logs;
    std::vector<std::string> listNames;  // the logs' computers and one without a log
    Forwarding forwarding;
};

// Events from days before end up to end; the same seed and end give the same site.
Site MakeSite(std::time_t end, std::uint64_t seed, int days = 14);

struct ExpectedRow {
    std::string computer;
    std::array<std::u16string, 7> texts;  // 時刻 ログオン ログオフ ユーザ名 コンピュータ名 イベントID タイプ
};

// The rows for every event the table shows: computers in list order, each
// computer's rows newest first, as a run reads them.
std::vector<ExpectedRow> ExpectedRows(const Site& site);

// The collector's ForwardedEvents log: the sources' logons, failed logons and
// logoffs (4624, 4625, 4634, 4647, what its subscription asks for), each
// with its computer's full name, oldest first (a tie in the order of the
// sources), numbered from firstRecord; written a few seconds after they
// happened, never earlier than the record before.
std::vector<ForwardedRecord> ForwardedLog(const Site& site);

// UTF-8 CSV with a header line, CR LF ended.
std::string RowsCsv(const std::vector<ExpectedRow>& rows);

// Every event as one JSON object a line, with its EventData as text.
std::string EventsJson(const Site& site);

// The FILETIME (100 ns since 1601, UTC) of a time.
std::uint64_t FileTimeOf(std::time_t t);

// "YYYY/MM/DD hh:mm:ss" and two blanks, local time; seconds cut, not rounded.
std::u16string TimeText(std::uint64_t fileTime);

}  // namespace kestrel::sample
