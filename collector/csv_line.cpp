#include "collector/csv_line.h"

namespace kestrel {

namespace {

bool NeedsQuotes(std::string_view text) {
    // A plain loop: find_first_of searches the set once a character.
    bool quote = !text.empty() && (text.front() == ' ' || text.back() == ' ');
    for (std::size_t i = 0; i < text.size() && !quote; ++i) {
        const char c = text[i];
        quote = c == ',' || c == '"' || c == '\r' || c == '\n';
    }
    return quote;
}

void AppendQuoted(std::string_view text, std::string& line) {
    line += '"';
    for (char c : text) {
        if (c == '"') line += '"';
        line += c;
    }
    line += '"';
}

}  // namespace

void AppendCsvField(std::string_view text, std::string& line) {
    if (NeedsQuotes(text)) {
        AppendQuoted(text, line);
    } else {
        line += text;
    }
}

void AppendCsvText(std::string_view cp932, TextConverter convert, std::string& line) {
    // Converted straight into the line; the few fields that need quotes are
    // quoted from a copy. No thread_local room: under mingw-w64 a thread's
    // thread_local objects are destroyed after their storage is freed.
    const std::size_t start = line.size();
    convert(cp932, line);
    if (!NeedsQuotes(std::string_view(line).substr(start))) return;
    const std::string text = line.substr(start);
    line.resize(start);
    AppendQuoted(text, line);
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
