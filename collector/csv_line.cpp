#include "collector/csv_line.h"

namespace kestrel {

void AppendCsvField(std::string_view text, std::string& line) {
    // A plain loop: find_first_of searches the set once a character.
    bool quote = !text.empty() && (text.front() == ' ' || text.back() == ' ');
    for (std::size_t i = 0; i < text.size() && !quote; ++i) {
        const char c = text[i];
        quote = c == ',' || c == '"' || c == '\r' || c == '\n';
    }
    if (!quote) {
        line += text;
        return;
    }
    line += '"';
    for (char c : text) {
        if (c == '"') line += '"';
        line += c;
    }
    line += '"';
}

void AppendCsvText(std::string_view cp932, TextConverter convert, std::string& line) {
    // Converted into room kept from field to field, then quoted into the line.
    thread_local std::string text;
    text.clear();
    convert(cp932, text);
    AppendCsvField(text, line);
}

void AppendCsvLine(std::initializer_list<std::string_view> cp932, TextConverter convert, std::string& out) {
    bool first = true;
    for (std::string_view text : cp932) {
        if (!first) out += ',';
        first = false;
        AppendCsvText(text, convert, out);
    }
    out += "\r\n";
}

std::string CsvField(const std::string& text) {
    std::string field;
    AppendCsvField(text, field);
    return field;
}

}  // namespace kestrel
