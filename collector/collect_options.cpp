#include "collector/collect_options.h"

#include <cctype>
#include <charconv>
#include <string>
#include <string_view>
#include <utility>

namespace kestrel {

const char* const kCollectUsage =
    "usage: kestrel-collect [options] COMPUTER...\n"
    "       kestrel-collect [options] --list FILE\n"
    "\n"
    "Reads the Security event log of each computer and prints its logons (4624),\n"
    "failed logons (4625) and logoffs (4634) as CSV on standard output; the run\n"
    "report goes to standard error.\n"
    "\n"
    "Which logs:\n"
    "  --list FILE     read the computer names from a computer list file: text in\n"
    "                  the ANSI code page, a name of at most 32 bytes a line (CR LF,\n"
    "                  LF or CR), at most 1,000,000 names\n"
    "  --from DATE     first day to collect, YYYY-MM-DD (default: seven days ago)\n"
    "  --to DATE       last day to collect, YYYY-MM-DD (default: to the end of the log)\n"
    "  --log-dir DIR   read exported logs: DIR/<computer>/Security.evtx\n"
    "                  (default: the KESTREL_LOG_DIR environment variable)\n"
    "  --log NAME      read the log NAME instead of Security, for example\n"
    "                  ForwardedEvents on a collector of forwarded events:\n"
    "                  DIR/<computer>/NAME.evtx; needs --log-dir, since the\n"
    "                  event-log service opens the Application log for a name it\n"
    "                  does not know\n"
    "  --events SET    which events: logon (the default: 4624, 4625, 4634), all\n"
    "                  (those and 4648, 4672, 4740, 4768, 4769, 4771, 4776, 4778\n"
    "                  and 4779, which domain controllers, administrators' logons\n"
    "                  and Remote Desktop sessions write) or a comma list of those\n"
    "                  IDs. A row of another event has the table's columns where\n"
    "                  they apply; its JSON keys after kind:\n"
    "                    4648 explicit_credentials: subject_user, subject_domain,\n"
    "                      logon_id, user, domain, target_server, process, ip, port\n"
    "                    4672 special_privileges: user, domain, logon_id,\n"
    "                      privileges\n"
    "                    4740 lockout: user, domain (of the controller),\n"
    "                      caller_computer, subject_user\n"
    "                    4768 kerberos_tgt: user, domain, ip, port, status,\n"
    "                      failure_reason, ticket_encryption\n"
    "                    4769 kerberos_service_ticket: user, domain, service, ip,\n"
    "                      port, status, failure_reason, ticket_encryption\n"
    "                    4771 kerberos_preauth_failed: user, service, ip, port,\n"
    "                      status, failure_reason\n"
    "                    4776 ntlm_validation: user, workstation, status,\n"
    "                      failure_reason\n"
    "                    4778 session_reconnected, 4779 session_disconnected:\n"
    "                      user, domain, logon_id, session_name, client_name,\n"
    "                      client_address\n"
    "                  With them --sessions marks the sessions with administrator\n"
    "                  rights (4672) and counts disconnects and reconnects (4779,\n"
    "                  4778), and --summary counts the failures of 4771 and 4776\n"
    "                  as failed logons and lists the lockouts (4740)\n"
    "\n"
    "What is written:\n"
    "  --format FORMAT csv (the default): the table's columns, each row marked\n"
    "                  with its computer (UTF-8 on Linux, the ANSI code page on\n"
    "                  Windows); jsonl: one JSON object a line, UTF-8 everywhere,\n"
    "                  with the keys computer, time (local, with its UTC offset),\n"
    "                  record_id, event_id, kind (logon, failed_logon, logoff),\n"
    "                  user, domain, logon_type, workstation, ip, port, logon_id,\n"
    "                  status, sub_status, failure_reason and origin (the computer\n"
    "                  that wrote the record); null where an event has no value;\n"
    "                  ecs: one JSON object a line in the Elastic Common Schema,\n"
    "                  for Elasticsearch and OpenSearch: @timestamp (UTC),\n"
    "                  event.code, event.action (logged-in, logon-failed,\n"
    "                  logged-out, ...), event.category, event.type,\n"
    "                  event.outcome, host.name (the computer read), user.name,\n"
    "                  user.domain, user.id, source.ip, source.port,\n"
    "                  source.domain, related.user, related.ip and under winlog\n"
    "                  the record (computer_name, record_id, channel, event_id),\n"
    "                  the logon (logon.id, logon.type, logon.failure.*) and the\n"
    "                  event's fields by their own names (event_data.LogonType);\n"
    "                  a field without a value is left out. Rows only;\n"
    "                  timesketch: JSON lines that Timesketch imports as they\n"
    "                  are: message (one line in Japanese), datetime (local, with\n"
    "                  its offset), timestamp (microseconds since 1970),\n"
    "                  timestamp_desc, then the keys of jsonl, each keeping one\n"
    "                  type: a text without a value is \"\", a number without one\n"
    "                  is left out. Rows only\n"
    "  --details       CSV: after the table's columns, one for each of logon_type\n"
    "                  to origin\n"
    "  --raw           CSV: every field exactly as the log has it (see Untrusted\n"
    "                  text below); for a file, not for a terminal\n"
    "  --messages      also each event's message text, from the message modules\n"
    "                  its source registered (loaded from the computer's\n"
    "                  administrative share once a computer): a last column of\n"
    "                  --details, a message key of --format jsonl and ecs, an\n"
    "                  event_message key of --format timesketch. Without it\n"
    "                  no message is made, no module loaded, and no parameter\n"
    "                  message put into the insertion strings\n"
    "  --sessions      one line a logon session instead of a row: each logon kept\n"
    "                  in the table, ended by the next logoff (4634, or 4647 when\n"
    "                  the user logged off) of its computer with the same logon ID,\n"
    "                  read inside the date window; with no such logoff, or when a\n"
    "                  later logon takes the ID first, the end is unknown (empty,\n"
    "                  null in JSON). Keys: computer, logon_id, user, domain,\n"
    "                  logon_type, workstation, ip, start, end, seconds, end_event.\n"
    "                  Computers in list order, each newest logon first\n"
    "  --summary       per computer, user and domain: logons, failed logons,\n"
    "                  logoffs, first and last time and the source addresses; then\n"
    "                  a line for each account with many failed logons in a short\n"
    "                  time (password guessing) and each source address whose\n"
    "                  failed logons name many users (password spraying)\n"
    "  --guess-failures N  failed logons of one account on one computer that flag\n"
    "                  guessing (default 10)\n"
    "  --spray-users N distinct users failing from one address that flag spraying\n"
    "                  (default 5)\n"
    "  --window MINUTES  the time those happen within (default 10); the three\n"
    "                  set the warnings of --report too\n"
    "  --report FILE   also write one HTML page of the run to FILE, beside any\n"
    "                  output above: the computers read and failed, the window,\n"
    "                  the events, rows and failed logons; the summary's warnings\n"
    "                  and lockouts; logons and failed logons per hour (a window\n"
    "                  of up to three days) or per day as a bar chart; the ten\n"
    "                  accounts and source addresses with the most failed logons;\n"
    "                  which accounts logged on to which computers. Japanese,\n"
    "                  UTF-8, no script and nothing from the network: it opens in\n"
    "                  any browser as it is. Written through a temporary file; a\n"
    "                  page that cannot be written makes the exit code 1\n"
    "\n"
    "How:\n"
    "  --jobs N        read N computers at once, each with its own reader (1 to\n"
    "                  256; default: 32 through the event-log service, whose time\n"
    "                  goes to the network, one per core for exported logs); the\n"
    "                  output is the same as with --jobs 1, computers in list order\n"
    "  --timeout SECONDS  a computer whose event-log service has not answered an\n"
    "                  open or a read in that time fails (cause: ERROR_TIMEOUT,\n"
    "                  1460) and its job goes on with the next computer; its rows\n"
    "                  read so far are written (default 120; 0: wait for ever)\n"
    "  --progress      a line on standard error, rewritten in place, with the\n"
    "                  computers done, failed, rows, time so far and time left\n"
    "                  (the default when standard error is a terminal)\n"
    "  --no-progress   no such line\n"
    "  --failed-list FILE  write the computers that failed, in list order, as a\n"
    "                  computer list file, to try them again with --list\n"
    "  --threads N     read each .evtx log on N threads, the one that writes the\n"
    "                  rows among them (1 to 64; default: the cores shared among\n"
    "                  the jobs, at most four a log); the output is the same for\n"
    "                  any N\n"
    "  --help          show this text\n"
    "  --version       show the program's version\n"
    "\n"
    "Untrusted text: user, domain and workstation names of a failed logon are what\n"
    "a remote attacker typed. So that a spreadsheet opening the CSV shows them\n"
    "and runs nothing, a field that starts with =, +, -, @, a tab or a CR gets a '\n"
    "in front (a lone -, Windows' \"no value\", stays as it is); and so that a\n"
    "terminal shows them and acts on nothing, control characters in the CSV, the\n"
    "--summary table and the run report are written as \\x1b and the like.\n"
    "--summary cuts a column wider than 40 characters (with ...). JSON lines keep\n"
    "every text whole, escaped as JSON; --report keeps them whole too, with & < >\n"
    "\" ' written as HTML character references and controls as \\x1b.\n"
    "\n"
    "A damaged stretch of an exported log is passed over, the rest read, and the\n"
    "run report says where and why; a record dated before --from among newer ones\n"
    "(a clock set back) does not end the read, and the report names it.\n"
    "\n"
    "Exit code: 0 when every computer was read whole, 1 when any failed or had a\n"
    "damaged stretch passed over, 2 for a usage error.\n";

namespace {

constexpr unsigned kMaxThreads = 64;
constexpr unsigned kMaxJobs = 256;

// Digits only: no sign, blank or trailing text; too large for unsigned fails too.
std::optional<unsigned> ParseCount(const std::string& text, unsigned low, unsigned high) {
    unsigned count = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, count);
    if (error != std::errc() || stop != end) return std::nullopt;
    if (count < low || count > high) return std::nullopt;
    return count;
}

// A log's name becomes a file name: no folders, nothing hidden.
bool IsLogName(const std::string& name) {
    if (name.empty() || name.size() > 255 || name[0] == '.') return false;
    for (unsigned char c : name) {
        if (!std::isalnum(c) && c != '-' && c != '_' && c != '.' && c != ' ') return false;
    }
    return true;
}

bool IsSecurity(const std::string& name) {
    static const char kSecurity[] = "security";
    if (name.size() != sizeof kSecurity - 1) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(name[i])) != kSecurity[i]) return false;
    }
    return true;
}

}  // namespace

std::optional<std::time_t> ParseLocalDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    }
    const int year = std::stoi(text.substr(0, 4));
    const int month = std::stoi(text.substr(5, 2));
    const int day = std::stoi(text.substr(8, 2));
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_isdst = -1;
    const std::time_t t = std::mktime(&local);
    // mktime moves an impossible date on (Feb 30 to Mar 2): refuse it instead.
    if (t == static_cast<std::time_t>(-1) || local.tm_year != year - 1900 || local.tm_mon != month - 1 ||
        local.tm_mday != day) {
        return std::nullopt;
    }
    return t;
}

namespace {

// What the loop keeps besides the options, for the checks after it.
struct Parsing {
    CollectOptions& o;
    std::string thresholdGiven;  // the last of --guess-failures, --spray-users, --window
    std::string formatName;
};

// An option's work on its value (the option's own name for one without a
// value): an error message, empty when the value is sound.
using Handler = std::string (*)(Parsing& p, const std::string& name, const std::string& value);

struct Option {
    std::string_view name;
    bool takesValue;
    Handler handle;
};

std::string Count(unsigned& into, const std::string& name, const std::string& value, unsigned low,
                  unsigned high) {
    const auto number = ParseCount(value, low, high);
    if (!number) {
        return name + ": '" + value + "' is not a whole number from " + std::to_string(low) + " to " +
               std::to_string(high);
    }
    into = *number;
    return {};
}

std::string Threshold(Parsing& p, unsigned& into, const std::string& name, const std::string& value,
                      unsigned high) {
    p.thresholdGiven = name;
    return Count(into, name, value, 1, high);
}

std::string Shape(Parsing& p, OutputShape shape) {
    if (p.o.shape != OutputShape::Rows && p.o.shape != shape) return "give --sessions or --summary, not both";
    p.o.shape = shape;
    return {};
}

std::string Format(Parsing& p, const std::string& name, const std::string& value) {
    static constexpr std::pair<std::string_view, OutputFormat> kFormats[] = {
        {"csv", OutputFormat::Csv},
        {"jsonl", OutputFormat::JsonLines},
        {"ecs", OutputFormat::Ecs},
        {"timesketch", OutputFormat::Timesketch}};
    for (const auto& [formatName, format] : kFormats) {
        if (value != formatName) continue;
        p.o.format = format;
        p.formatName = value;
        return {};
    }
    return name + ": '" + value + "' is no format: give csv, jsonl, ecs or timesketch";
}

std::string Events(Parsing& p, const std::string& name, const std::string& value) {
    std::string error;
    const auto events = EventSet::Parse(value, error);
    if (!events) return name + ": " + error;
    p.o.events = *events;
    return {};
}

std::string Log(Parsing& p, const std::string& name, const std::string& value) {
    if (!IsLogName(value)) return name + ": '" + value + "' is no log name";
    p.o.log = IsSecurity(value) ? "security" : value;
    return {};
}

std::string Date(std::optional<std::time_t>& into, const std::string& name, const std::string& value) {
    into = ParseLocalDate(value);
    if (!into) return name + ": '" + value + "' is not a date of the form YYYY-MM-DD";
    return {};
}

template <typename T, typename V>
std::string Set(T& into, const V& value) {
    into = value;
    return {};
}

using P = Parsing&;
using S = const std::string&;
const Option kOptions[] = {
    {"--help", false, [](P p, S, S) { return Set(p.o.help, true); }},
    {"-h", false, [](P p, S, S) { return Set(p.o.help, true); }},
    {"--version", false, [](P p, S, S) { return Set(p.o.version, true); }},
    {"--threads", true, [](P p, S n, S v) { return Count(p.o.threads, n, v, 1, kMaxThreads); }},
    {"--jobs", true, [](P p, S n, S v) { return Count(p.o.jobs, n, v, 1, kMaxJobs); }},
    {"--timeout", true, [](P p, S n, S v) { return Count(p.o.timeoutSeconds, n, v, 0, 86400); }},
    {"--guess-failures", true, [](P p, S n, S v) { return Threshold(p, p.o.guessFailures, n, v, 1000000); }},
    {"--spray-users", true, [](P p, S n, S v) { return Threshold(p, p.o.sprayUsers, n, v, 1000000); }},
    {"--window", true, [](P p, S n, S v) { return Threshold(p, p.o.windowMinutes, n, v, 10080); }},
    {"--details", false, [](P p, S, S) { return Set(p.o.details, true); }},
    {"--raw", false, [](P p, S, S) { return Set(p.o.raw, true); }},
    {"--messages", false, [](P p, S, S) { return Set(p.o.messages, true); }},
    {"--progress", false, [](P p, S, S) { return Set(p.o.progress, true); }},
    {"--no-progress", false, [](P p, S, S) { return Set(p.o.progress, false); }},
    {"--sessions", false, [](P p, S, S) { return Shape(p, OutputShape::Sessions); }},
    {"--summary", false, [](P p, S, S) { return Shape(p, OutputShape::Summary); }},
    {"--format", true, Format},
    {"--events", true, Events},
    {"--log", true, Log},
    {"--list", true, [](P p, S, S v) { return Set(p.o.listFile, v); }},
    {"--failed-list", true, [](P p, S, S v) { return Set(p.o.failedList, v); }},
    {"--report", true, [](P p, S, S v) { return Set(p.o.report, v); }},
    {"--log-dir", true, [](P p, S, S v) { return Set(p.o.logDir, v); }},
    {"--from", true, [](P p, S n, S v) { return Date(p.o.from, n, v); }},
    {"--to", true, [](P p, S n, S v) { return Date(p.o.to, n, v); }},
};

const Option* FindOption(const std::string& argument) {
    for (const Option& option : kOptions) {
        if (option.name == argument) return &option;
    }
    return nullptr;
}

// The options that do not go together; empty when they do.
std::string Conflict(const Parsing& p) {
    const CollectOptions& o = p.o;
    if (!o.listFile.empty() && !o.computers.empty()) return "give computer names or --list, not both";
    if (o.listFile.empty() && o.computers.empty()) return "no computer given";
    if (o.from && o.to && *o.to < *o.from) return "--to lies before --from";
    if ((o.format == OutputFormat::Ecs || o.format == OutputFormat::Timesketch) &&
        o.shape != OutputShape::Rows) {
        return "--format " + p.formatName + " writes the rows: not --sessions or --summary";
    }
    if (o.details && o.format != OutputFormat::Csv) {
        return "--details adds CSV columns: JSON lines hold those keys already";
    }
    if (o.details && o.shape != OutputShape::Rows) {
        return "--details adds columns to the rows, not to --sessions or --summary";
    }
    if (o.messages && o.shape != OutputShape::Rows) {
        return "--messages adds each event's message to the rows, not to --sessions or --summary";
    }
    if (o.messages && o.format == OutputFormat::Csv && !o.details) {
        return "--messages adds a column to --details (or a key to the JSON formats)";
    }
    if (o.raw && (o.format != OutputFormat::Csv || o.shape == OutputShape::Summary)) {
        return "--raw writes CSV fields as they are: not JSON lines, which escape, or --summary";
    }
    if (!p.thresholdGiven.empty() && o.shape != OutputShape::Summary && o.report.empty()) {
        return p.thresholdGiven + " sets a threshold of --summary or --report";
    }
    if (!o.report.empty() && o.report == o.failedList) return "--report and --failed-list name the same file";
    return {};
}

}  // namespace

ParsedOptions ParseCollectOptions(const std::vector<std::string>& arguments) {
    ParsedOptions parsed;
    Parsing p{parsed.options, {}, {}};
    for (std::size_t i = 0; i < arguments.size() && parsed.error.empty(); ++i) {
        const std::string& a = arguments[i];
        const Option* option = FindOption(a);
        if (option == nullptr && a.size() > 1 && a[0] == '-') {
            parsed.error = "unknown option " + a;
        } else if (option == nullptr) {
            p.o.computers.push_back(a);
        } else if (!option->takesValue) {
            parsed.error = option->handle(p, a, a);
        } else if (i + 1 == arguments.size()) {
            parsed.error = a + " needs a value";
        } else {
            parsed.error = option->handle(p, a, arguments[++i]);
        }
    }
    if (parsed.error.empty() && !p.o.help && !p.o.version) parsed.error = Conflict(p);
    return parsed;
}

}  // namespace kestrel
