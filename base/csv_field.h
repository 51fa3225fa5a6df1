#pragma once
// One field of a delimited line, CSV or tab-separated, written for a
// spreadsheet to open. Text from logs is untrusted: a user name such as
// =HYPERLINK(...) would run as a formula, so a field that a spreadsheet would
// take for one is written with a ' in front and shows as the text it is.
#include <cstddef>
#include <string>
#include <string_view>

namespace kestrel {

struct CsvStyle {
    char separator = ',';
    bool guardFormulas = true;    // ' in front of a field that starts like a formula
    bool escapeControls = false;  // control bytes as \x1b and the like, for a terminal
};

// Fields exactly as the text is, only quoted where the format needs it.
inline constexpr CsvStyle kRawCsv{',', false, false};

// Whether a spreadsheet would read the field as a formula: it starts with =, +,
// -, @, a tab or a CR. A lone "-", which Windows writes for "no value", is
// plain text.
bool StartsLikeFormula(std::string_view field);

// Makes line[start..], a text appended in the output's encoding, one field:
// controls escaped, the formula guard, then quotes (quotes inside doubled)
// when it holds the separator, a quote, CR or LF, or begins or ends with a
// blank, which a spreadsheet would drop. None of these bytes is ever the
// second byte of a CP932 character.
void FinishCsvField(std::string& line, std::size_t start, const CsvStyle& style);

void AppendCsvField(std::string_view text, const CsvStyle& style, std::string& line);

std::string CsvField(std::string_view text, const CsvStyle& style);

}  // namespace kestrel
