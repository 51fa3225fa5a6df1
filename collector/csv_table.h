#pragma once
// The result table of the command-line collector: the rows in memory, each
// marked with the computer whose log it came from, written out as CSV.
#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "engine/ports.h"

namespace kestrel {

class CsvTable final : public ResultTablePort {
public:
    struct Row {
        std::string computer;
        std::array<std::string, 8> texts;  // by column; column 0 holds no text
    };

    void SetComputer(const std::string& computer) { computer_ = computer; }

    int ItemCount() override { return static_cast<int>(rows_.size()); }
    void InsertItem(int index, int image) override;
    void SetItemText(int row, int column, const char* text) override;
    void RedrawItems(int, int) override {}
    void DeleteAllItems() override { rows_.clear(); }

    const std::vector<Row>& Rows() const { return rows_; }

    // The header line and one line a row, CR LF ended; every text passes
    // through convert (CP932 to the output's encoding).
    void Write(std::ostream& out, std::string (*convert)(const std::string&)) const;

private:
    std::string computer_;
    std::vector<Row> rows_;
};

// A CSV field: quoted when it holds a comma, a quote, CR or LF, or begins or
// ends with a blank; quotes doubled.
std::string CsvField(const std::string& text);

}  // namespace kestrel
