#include "tests/fakes/output_checks.h"

namespace kestrel::testing {

std::vector<std::string> CsvFields(std::string_view csv) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < csv.size(); ++i) {
        const char c = csv[i];
        if (quoted && csv.substr(i, 2) == "\"\"") {
            fields.back() += csv[++i];
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == ',' || c == '\n' || csv.substr(i, 2) == "\r\n")) {
            i += c == '\r';
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::size_t FormulaFields(std::string_view csv) {
    std::size_t count = 0;
    for (const std::string& f : CsvFields(csv)) {
        const bool number =
            f.size() > 1 && f[0] == '-' && f.find_first_not_of("0123456789", 1) == std::string::npos;
        count += !f.empty() && f != "-" && !number &&
                 std::string_view("=+-@\t\r").find(f[0]) != std::string_view::npos;
    }
    return count;
}

std::size_t ControlBytes(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool lineEnd = c == '\n' || text.substr(i, 2) == "\r\n";
        count += (c < 0x20 || c == 0x7f) && !lineEnd;
    }
    return count;
}

}  // namespace kestrel::testing
