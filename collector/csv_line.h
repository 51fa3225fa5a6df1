#pragma once
// Lines of the collector's CSV: fields quoted where they need it, CR LF ended.
#include <initializer_list>
#include <string>
#include <string_view>

#include "collector/output_text.h"

namespace kestrel {

// Appends a field, quoted when it holds a comma, a quote, CR or LF, or begins
// or ends with a blank; quotes doubled.
void AppendCsvField(std::string_view text, std::string& line);

// The same for a CP932 text, converted first.
void AppendCsvText(std::string_view cp932, TextConverter convert, std::string& line);

// A whole line of CP932 texts, CR LF ended.
void AppendCsvLine(std::initializer_list<std::string_view> cp932, TextConverter convert, std::string& out);

std::string CsvField(const std::string& text);

}  // namespace kestrel
