#pragma once
// The result table of the command-line collector as CSV, each row marked with
// the computer whose log it came from. Given a stream, the table writes the
// header at once and every row as soon as it is complete, holding only the row
// being filled, so a log of any size runs in the same memory.
#include <array>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ports.h"

namespace kestrel {

class CsvTable final : public ResultTablePort {
public:
    // Appends a CP932 text to a line in the output's encoding.
    using Converter = void (*)(std::string_view text, std::string& line);

    struct Row {
        std::string computer;
        std::array<std::string, 8> texts;  // by column; column 0 holds no text
    };

    // Keeps the completed rows until Write (small tables).
    CsvTable() = default;
    // Writes the header to out now and each row to out once it is complete;
    // every text passes through convert (CP932 to the output's encoding).
    CsvTable(std::ostream& out, Converter convert);

    // A new computer completes the row being filled and flushes the stream,
    // so a reader of a pipe sees each computer's rows as soon as it is read.
    void SetComputer(const std::string& computer);

    // The rows of this run so far, written or not.
    int ItemCount() override { return count_; }
    // Rows only ever come at the end: the row being filled is complete and
    // the new one follows it, whatever the index.
    void InsertItem(int index, int image) override;
    // Only the row being filled takes texts; the rows before it are gone.
    void SetItemText(int row, int column, const char* text) override;
    void RedrawItems(int, int) override {}
    // Completes the row being filled (a written row stays written).
    void DeleteAllItems() override;

    // Completes the row being filled and flushes the stream: at the end of a
    // run and when a computer fails.
    void Flush();

    // The header and the kept rows, the row being filled too, CR LF ended.
    void Write(std::ostream& out, Converter convert) const;

private:
    void CompleteRow();

    std::ostream* out_ = nullptr;  // null: rows are kept for Write
    Converter convert_ = nullptr;
    std::string computer_;
    int count_ = 0;
    bool filling_ = false;
    Row row_;                      // the row being filled; its strings are reused
    std::vector<Row> kept_;
};

// The header line, CR LF ended, through convert.
void WriteCsvHeader(std::ostream& out, CsvTable::Converter convert);
// One row as a CSV line, CR LF ended, every text through convert.
void WriteCsvRow(std::ostream& out, CsvTable::Converter convert, const CsvTable::Row& row);

// A CSV field: quoted when it holds a comma, a quote, CR or LF, or begins or
// ends with a blank; quotes doubled.
std::string CsvField(const std::string& text);

}  // namespace kestrel
