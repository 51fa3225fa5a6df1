#pragma once
// A site whose one log was written by an attacker, or damaged: user names
// that a spreadsheet would run as formulas, control characters that a
// terminal would act on, names far longer than any real one, a record dated
// long before its neighbours (a clock set back), one whose time field is
// damaged, and one record whose bytes are broken. Every output of the
// program is tried on it.
#include <ctime>
#include <filesystem>
#include <string>

#include "tools/sample_site.h"

namespace kestrel::sample {

inline constexpr char kHostileComputer[] = "HOSTILE";

// The log's events, oldest first: all of them in the two days before end but
// for the user "backdated" (sixty days before) and "damaged-time" (a time
// field with one bit flipped: 1970). Fourteen failed logons of "guest"
// follow the backdated record.
ComputerLog MakeHostileLog(std::time_t end);

// <out>/HOSTILE/Security.evtx, in which the signature of the record of the
// user "broken-record" is broken so that a reader passes it over, and
// <out>/hostile.lst naming HOSTILE. False with the reason in error when a
// file cannot be written.
bool WriteHostileSite(std::time_t end, const std::filesystem::path& out, std::string& error);

}  // namespace kestrel::sample
