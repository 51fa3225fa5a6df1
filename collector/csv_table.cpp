#include "collector/csv_table.h"

namespace kestrel {

void CsvTable::InsertItem(int index, int) {
    if (index < 0 || index > ItemCount()) index = ItemCount();
    rows_.insert(rows_.begin() + index, Row{computer_, {}});
}

void CsvTable::SetItemText(int row, int column, const char* text) {
    if (row < 0 || row >= ItemCount() || column < 0 || column >= 8) return;
    rows_[static_cast<std::size_t>(row)].texts[static_cast<std::size_t>(column)] = text;
}

std::string CsvField(const std::string& text) {
    const bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) return text;
    std::string field = "\"";
    for (char c : text) {
        if (c == '"') field += '"';
        field += c;
    }
    field += '"';
    return field;
}

void CsvTable::Write(std::ostream& out, std::string (*convert)(const std::string&)) const {
    static const char* const kHeader[] = {"コンピュータ", "時刻", "ログオン", "ログオフ",
                                          "ユーザ名", "コンピュータ名", "イベントID", "タイプ"};
    for (std::size_t i = 0; i < 8; ++i) out << (i ? "," : "") << convert(kHeader[i]);
    out << "\r\n";
    for (const Row& row : rows_) {
        out << CsvField(convert(row.computer));
        for (std::size_t column = 1; column < 8; ++column) {
            out << ',' << CsvField(convert(row.texts[column]));
        }
        out << "\r\n";
    }
}

}  // namespace kestrel
