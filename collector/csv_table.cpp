#include "collector/csv_table.h"

namespace kestrel {

CsvTable::CsvTable(std::ostream& out, Converter convert) : out_(&out), convert_(convert) {
    WriteCsvHeader(out, convert);
}

void CsvTable::SetComputer(const std::string& computer) {
    Flush();
    computer_ = computer;
}

void CsvTable::InsertItem(int, int) {
    CompleteRow();
    row_.computer = computer_;
    for (std::string& text : row_.texts) text.clear();
    filling_ = true;
    ++count_;
}

void CsvTable::SetItemText(int row, int column, const char* text) {
    if (!filling_ || row != count_ - 1 || column < 0 || column >= 8) return;
    row_.texts[static_cast<std::size_t>(column)] = text;
}

void CsvTable::DeleteAllItems() {
    CompleteRow();
    kept_.clear();
    count_ = 0;
}

void CsvTable::Flush() {
    CompleteRow();
    if (out_ != nullptr) out_->flush();
}

void CsvTable::CompleteRow() {
    if (!filling_) return;
    filling_ = false;
    if (out_ != nullptr) {
        WriteCsvRow(*out_, convert_, row_);
    } else {
        kept_.push_back(row_);
    }
}

void CsvTable::Write(std::ostream& out, Converter convert) const {
    WriteCsvHeader(out, convert);
    for (const Row& row : kept_) WriteCsvRow(out, convert, row);
    if (filling_) WriteCsvRow(out, convert, row_);
}

namespace {

// Appends a field, quoted when it holds a comma, a quote, CR or LF, or begins
// or ends with a blank; quotes doubled.
void AppendCsvField(std::string& line, std::string_view text) {
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

}  // namespace

std::string CsvField(const std::string& text) {
    std::string field;
    AppendCsvField(field, text);
    return field;
}

void WriteCsvHeader(std::ostream& out, CsvTable::Converter convert) {
    static const char* const kHeader[] = {"コンピュータ", "時刻", "ログオン", "ログオフ",
                                          "ユーザ名", "コンピュータ名", "イベントID", "タイプ"};
    std::string line;
    for (std::size_t i = 0; i < 8; ++i) {
        if (i != 0) line += ',';
        convert(kHeader[i], line);
    }
    line += "\r\n";
    out << line;
}

void WriteCsvRow(std::ostream& out, CsvTable::Converter convert, const CsvTable::Row& row) {
    // One write a row, from room kept from row to row: each text is converted
    // into `text`, then quoted into `line`.
    thread_local std::string line, text;
    line.clear();
    for (std::size_t column = 0; column < 8; ++column) {
        if (column != 0) line += ',';
        text.clear();
        convert(column == 0 ? row.computer : row.texts[column], text);
        AppendCsvField(line, text);
    }
    line += "\r\n";
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
}

}  // namespace kestrel
