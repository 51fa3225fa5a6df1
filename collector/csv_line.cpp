#include "collector/csv_line.h"

namespace kestrel {

void AppendCsvText(std::string_view cp932, TextConverter convert, const CsvStyle& style, std::string& line) {
    // Converted straight into the line and made a field there. No
    // thread_local room: under mingw-w64 a thread's thread_local objects are
    // destroyed after their storage is freed.
    const std::size_t start = line.size();
    convert(cp932, line);
    FinishCsvField(line, start, style);
}

void AppendCsvLine(std::span<const std::string_view> cp932, TextConverter convert, std::string& out) {
    bool first = true;
    for (std::string_view text : cp932) {
        if (!first) out += ',';
        first = false;
        AppendCsvText(text, convert, kCollectorCsv, out);
    }
    out += "\r\n";
}

}  // namespace kestrel
