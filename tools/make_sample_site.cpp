// kestrel-sample-site: writes a sample site of exported Security logs, the
// log of forwarded events on its collector, its computer list and the rows
// the result table shows for it.
#include <cctype>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "platform/local_time.h"
#include "tools/hostile_site.h"
#include "tools/sample_site.h"
#include "tools/site_files.h"

namespace {

const char kUsage[] =
    "usage: kestrel-sample-site --out DIR [--end TIME] [--seed N] [--days N] [--events FILE]\n"
    "       kestrel-sample-site --hostile --out DIR [--end TIME]\n"
    "\n"
    "Writes DIR/<computer>/Security.evtx for localhost, PC01, SV01 and the domain\n"
    "controller DC01 with Security events up to TIME, DIR/SV01/ForwardedEvents.evtx\n"
    "with the logons, failed logons and logoffs (4624, 4625, 4634, 4647) localhost\n"
    "and PC01 forward to SV01, the computer list DIR/site.lst (the four and PC02,\n"
    "which has no log) and DIR/expected_rows.csv, the rows the result table shows\n"
    "for the site (UTF-8, computers in list order, each newest first).\n"
    "\n"
    "  --out DIR      folder to write to (made if missing; files in it replaced)\n"
    "  --end TIME     the last moment of the logs: \"YYYY-MM-DD hh:mm:ss\" (local\n"
    "                 time, a T may stand for the blank) or seconds since 1970\n"
    "                 (default: now)\n"
    "  --seed N       another N gives other events (default: 1)\n"
    "  --days N       length of the logs in days (default: 14)\n"
    "  --events FILE  also write every event as a JSON line, for the tests\n"
    "  --hostile      write a log an attacker could have written instead:\n"
    "                 DIR/HOSTILE/Security.evtx with user names that are\n"
    "                 spreadsheet formulas or hold control characters, very long\n"
    "                 names, a record dated 60 days back among newer ones, a\n"
    "                 damaged time field and a damaged record; and DIR/hostile.lst\n"
    "  --help         show this text\n";

bool ParseNumber(const std::string& text, unsigned long long& out) {
    if (text.empty() || text.size() > 19) return false;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    out = std::stoull(text);
    return true;
}

bool ParseEnd(const std::string& text, std::time_t& out) {
    unsigned long long seconds = 0;
    if (ParseNumber(text, seconds)) {
        out = static_cast<std::time_t>(seconds);
        return true;
    }
    std::tm local{};
    char separator = 0;
    char rest = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%c", &local.tm_year, &local.tm_mon, &local.tm_mday,
                    &separator, &local.tm_hour, &local.tm_min, &local.tm_sec, &rest) != 7 ||
        (separator != ' ' && separator != 'T')) {
        return false;
    }
    const std::tm asked = local;
    local.tm_year -= 1900;
    local.tm_mon -= 1;
    local.tm_isdst = -1;
    const auto t = kestrel::FromLocalTime(local);
    if (!t || local.tm_mday != asked.tm_mday || local.tm_mon != asked.tm_mon - 1) return false;
    out = *t;
    return true;
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "kestrel-sample-site: %s (see --help)\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string outDir;
    std::string eventsFile;
    std::time_t end = std::time(nullptr);
    unsigned long long seed = 1;
    unsigned long long days = 14;
    bool hostile = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (option == "--hostile") {
            hostile = true;
            continue;
        }
        if (option != "--out" && option != "--events" && option != "--end" && option != "--seed" &&
            option != "--days") {
            return Usage("unknown option " + option);
        }
        if (i + 1 >= argc) return Usage(option + " needs a value");
        const std::string value = argv[++i];
        if (option == "--out") {
            outDir = value;
        } else if (option == "--events") {
            eventsFile = value;
        } else if (option == "--end") {
            if (!ParseEnd(value, end)) return Usage("--end: not a time: " + value);
        } else if (option == "--seed") {
            if (!ParseNumber(value, seed)) return Usage("--seed: not a number: " + value);
        } else if (!ParseNumber(value, days) || days < 1 || days > 366) {
            return Usage("--days: not a number of days from 1 to 366: " + value);
        }
    }
    if (outDir.empty()) return Usage("--out is needed");
    if (hostile) {
        std::string error;
        if (kestrel::sample::WriteHostileSite(end, outDir, error)) return 0;
        std::fprintf(stderr, "kestrel-sample-site: %s\n", error.c_str());
        return 1;
    }

    const kestrel::sample::Site site = kestrel::sample::MakeSite(end, seed, static_cast<int>(days));
    std::string error;
    if (!kestrel::sample::WriteSiteFiles(site, outDir, error)) {
        std::fprintf(stderr, "kestrel-sample-site: %s\n", error.c_str());
        return 1;
    }
    if (!eventsFile.empty()) {
        if (!kestrel::sample::WriteWholeFile(eventsFile, kestrel::sample::EventsJson(site), error)) {
            std::fprintf(stderr, "kestrel-sample-site: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
