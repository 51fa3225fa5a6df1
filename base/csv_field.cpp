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

namespace {

// Whether a field may need more than its text: one pass over it, since
// nearly every field is plain and this runs for each field of each row.
bool MayChange(std::string_view field, const CsvStyle& style) {
    if (field.empty()) return false;
    if (field.front() == ' ' || field.back() == ' ' || (style.guardFormulas && StartsLikeFormula(field))) {
        return true;
    }
    for (const char c : field) {
        if (IsControlByte(static_cast<unsigned char>(c)) || c == style.separator || c == '"') return true;
    }
    return false;
}

}  // namespace

void FinishCsvField(std::string& line, std::size_t start, const CsvStyle& style) {
    const std::string_view field = std::string_view(line).substr(start);
    if (!MayChange(field, style)) return;
    const bool escape = style.escapeControls && HoldsControl(field);
    // An escaped tab or CR in front is a backslash: no formula any more.
    const bool guard = style.guardFormulas && StartsLikeFormula(field) &&
                       !(escape && IsControlByte(static_cast<unsigned char>(field.front())));
    if (!escape && !guard) {
        if (!NeedsQuotes(field, style.separator)) return;
        // Quotes alone, as every time text with its two blanks needs: in place.
        if (field.find('"') == std::string_view::npos) {
            line.insert(start, 1, '"');
            line += '"';
            return;
        }
    }

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
