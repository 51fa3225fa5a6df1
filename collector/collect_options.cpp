#include "collector/collect_options.h"

#include <cctype>
#include <charconv>

namespace kestrel {

const char* const kCollectUsage =
    "usage: kestrel-collect [options] COMPUTER...\n"
    "       kestrel-collect [options] --list FILE\n"
    "\n"
    "Reads the Security event log of each computer and prints its logons (4624),\n"
    "failed logons (4625) and logoffs (4634) as CSV on standard output; the run\n"
    "report goes to standard error.\n"
    "\n"
    "  --list FILE     read the computer names from a computer list file\n"
    "  --from DATE     first day to collect, YYYY-MM-DD (default: seven days ago)\n"
    "  --to DATE       last day to collect, YYYY-MM-DD (default: to the end of the log)\n"
    "  --log-dir DIR   read exported logs: DIR/<computer>/Security.evtx\n"
    "                  (default: the KESTREL_LOG_DIR environment variable)\n"
    "  --threads N     read .evtx logs on N threads, the one that writes the rows\n"
    "                  among them (1 to 64; default: one per core, at most four);\n"
    "                  the output is the same for any N\n"
    "  --help          show this text\n"
    "\n"
    "Exit code: 0 when every computer was read, 1 when any failed, 2 for a usage error.\n";

namespace {

constexpr unsigned kMaxThreads = 64;

// Digits only: no sign, blank or trailing text; too large for unsigned fails too.
std::optional<unsigned> ParseThreadCount(const std::string& text) {
    unsigned count = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, count);
    if (error != std::errc() || stop != end) return std::nullopt;
    if (count < 1 || count > kMaxThreads) return std::nullopt;
    return count;
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
    if (t == static_cast<std::time_t>(-1) || local.tm_year != year - 1900 ||
        local.tm_mon != month - 1 || local.tm_mday != day) {
        return std::nullopt;
    }
    return t;
}

ParsedOptions ParseCollectOptions(const std::vector<std::string>& arguments) {
    ParsedOptions parsed;
    CollectOptions& o = parsed.options;
    auto fail = [&](std::string message) {
        parsed.error = std::move(message);
        return parsed;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        auto value = [&]() -> const std::string* {
            return i + 1 < arguments.size() ? &arguments[++i] : nullptr;
        };
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--threads") {
            const std::string* v = value();
            if (v == nullptr) return fail(a + " needs a value");
            const auto count = ParseThreadCount(*v);
            if (!count) return fail(a + ": '" + *v + "' is not a whole number from 1 to " +
                                   std::to_string(kMaxThreads));
            o.threads = *count;
        } else if (a == "--list" || a == "--log-dir" || a == "--from" || a == "--to") {
            const std::string* v = value();
            if (v == nullptr) return fail(a + " needs a value");
            if (a == "--list") {
                o.listFile = *v;
            } else if (a == "--log-dir") {
                o.logDir = *v;
            } else {
                const auto date = ParseLocalDate(*v);
                if (!date) return fail(a + ": '" + *v + "' is not a date of the form YYYY-MM-DD");
                (a == "--from" ? o.from : o.to) = date;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            return fail("unknown option " + a);
        } else {
            o.computers.push_back(a);
        }
    }
    if (o.help) return parsed;
    if (!o.listFile.empty() && !o.computers.empty()) {
        return fail("give computer names or --list, not both");
    }
    if (o.listFile.empty() && o.computers.empty()) return fail("no computer given");
    if (o.from && o.to && *o.to < *o.from) return fail("--to lies before --from");
    return parsed;
}

}  // namespace kestrel
