#pragma once
// A sample site: three computers with about two weeks of Security events
// each, the list file that names them, and the rows the result table shows
// for them.
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

struct Site {
    std::vector<ComputerLog> logs;
    std::vector<std::string> listNames;  // the logs' computers and one without a log
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

// UTF-8 CSV with a header line, CR LF ended.
std::string RowsCsv(const std::vector<ExpectedRow>& rows);

// Every event as one JSON object a line, with its EventData as text.
std::string EventsJson(const Site& site);

// "YYYY/MM/DD hh:mm:ss" and two blanks, local time; seconds cut, not rounded.
std::u16string TimeText(std::uint64_t fileTime);

}  // namespace kestrel::sample
