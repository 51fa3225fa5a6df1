#pragma once
// The command line of kestrel-collect.
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "analysis/event_set.h"

namespace kestrel {

enum class OutputFormat { Csv, JsonLines, Ecs, Timesketch };
// What a line of the output stands for.
enum class OutputShape { Rows, Sessions, Summary };

struct CollectOptions {
    std::vector<std::string> computers;
    std::string listFile;                 // --list
    std::optional<std::time_t> from;      // local midnight of --from
    std::optional<std::time_t> to;        // local midnight of --to
    std::string logDir;                   // --log-dir
    unsigned threads = 0;                 // --threads, 1..64; 0: one per core
    unsigned jobs = 0;                    // --jobs, 1..256; 0: 32 for the service, one per core for files
    std::string log = "security";         // --log; any spelling of Security is "security"
    EventSet events = EventSet::Logon();  // --events
    OutputFormat format = OutputFormat::Csv;
    OutputShape shape = OutputShape::Rows;
    bool details = false;           // --details
    bool raw = false;               // --raw: CSV fields as the log has them
    bool messages = false;          // --messages: each event's message text
    unsigned timeoutSeconds = 120;  // --timeout: a service call's limit; 0 for none
    std::optional<bool> progress;   // --progress, --no-progress; unset: when standard error is a terminal
    std::string failedList;         // --failed-list FILE
    std::string report;             // --report FILE: an HTML page of the run besides the output
    unsigned guessFailures = 10;    // --guess-failures
    unsigned sprayUsers = 5;        // --spray-users
    unsigned windowMinutes = 10;    // --window
    bool help = false;
    bool version = false;  // --version
};

struct ParsedOptions {
    CollectOptions options;
    std::string error;  // empty when the command line is sound
};

ParsedOptions ParseCollectOptions(const std::vector<std::string>& arguments);

// Local midnight of a YYYY-MM-DD date; empty when the text is no real date.
std::optional<std::time_t> ParseLocalDate(const std::string& text);

extern const char* const kCollectUsage;

}  // namespace kestrel
