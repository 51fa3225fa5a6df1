#pragma once
// Lines of the collector's CSV: each CP932 text converted to the output's
// encoding, then written as a field of the style; CR LF ended.
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "base/csv_field.h"
#include "collector/output_text.h"

namespace kestrel {

// The collector's CSV unless --raw: formulas guarded and, since standard
// output is often a terminal, control characters escaped.
inline constexpr CsvStyle kCollectorCsv{',', true, true};

// Appends a CP932 text as a field, converted first.
void AppendCsvText(std::string_view cp932, TextConverter convert, const CsvStyle& style, std::string& line);

// A whole line of CP932 texts, CR LF ended.
void AppendCsvLine(std::span<const std::string_view> cp932, TextConverter convert, std::string& out);
inline void AppendCsvLine(std::initializer_list<std::string_view> cp932, TextConverter convert,
                          std::string& out) {
    AppendCsvLine(std::span(cp932.begin(), cp932.size()), convert, out);
}

}  // namespace kestrel
