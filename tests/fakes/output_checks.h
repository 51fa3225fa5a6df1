#pragma once
// What no output of the program may hold, whatever the logs said: a control
// byte other than its line ends, or a CSV field that a spreadsheet would run.
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::testing {

// The fields of CSV lines as a spreadsheet reads them, quotes taken off.
std::vector<std::string> CsvFields(std::string_view csv);

// Fields that start with =, +, -, @, a tab or a CR, but for a lone "-" and
// a negative number (the seconds of a session whose clock went back).
std::size_t FormulaFields(std::string_view csv);

// Bytes 0x00-0x1F and 0x7F but the line ends, CR LF or LF.
std::size_t ControlBytes(std::string_view text);

}  // namespace kestrel::testing
