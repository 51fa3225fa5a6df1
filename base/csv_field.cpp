#include "base/csv_field.h"

#include "base/control_escape.h"

namespace kestrel {
namespace {

bool NeedsQuotes(std::string_view field, char separator) {
    if (field.empty()) return false;
    if (field.front() == ' ' || field.back() == ' ') return true;
    // A plain loop: find_first_of searches the set once a character.
    for (const char c : field) {
        if (c == separator || c == '"' || c == '\r' || c == '\n') return true;
    }
    return false;
}

bool HoldsControl(std::string_view field) {
    for (const char c : field) {
        if (IsControlByte(static_cast<unsigned char>(c))) return true;
    }
    return false;
}

}  // namespace

bool StartsLikeFormula(std::string_view field) {
    if (field.empty() || field == "-") return false;
    const char c = field.front();
    return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

void FinishCsvField(std::string& line, std::size_t start, const CsvStyle& style) {
    const std::string_view field = std::string_view(line).substr(start);
    const bool escape = style.escapeControls && HoldsControl(field);
    // An escaped tab or CR in front is a backslash: no formula any more.
    const bool guard = style.guardFormulas && StartsLikeFormula(field) &&
                       !(escape && IsControlByte(static_cast<unsigned char>(field.front())));
    if (!escape && !guard && !NeedsQuotes(field, style.separator)) return;

    // The rare field that changes is rebuilt from a copy.
    std::string text(guard ? "'" : "");
    if (escape) {
        AppendEscapedControls(field, text);
    } else {
        text += field;
    }
    line.resize(start);
    if (!NeedsQuotes(text, style.separator)) {
        line += text;
        return;
    }
    line += '"';
    for (const char c : text) {
        if (c == '"') line += '"';
        line += c;
    }
    line += '"';
}

void AppendCsvField(std::string_view text, const CsvStyle& style, std::string& line) {
    const std::size_t start = line.size();
    line += text;
    FinishCsvField(line, start, style);
}

std::string CsvField(std::string_view text, const CsvStyle& style) {
    std::string field;
    AppendCsvField(text, style, field);
    return field;
}

}  // namespace kestrel
