#pragma once
// The result table of one row: the classifier fills it as it would fill the
// list, and the collector takes the row's texts as soon as the event is
// classified.
#include <array>
#include <string>

#include "collector/event_output.h"
#include "engine/ports.h"

namespace kestrel {

class RowCapture final : public ResultTablePort {
public:
    int ItemCount() override { return count_; }
    void InsertItem(int, int image) override {
        for (std::string& text : texts_) text.clear();
        image_ = image;
        ++count_;
    }
    void SetItemText(int, int column, const char* text) override {
        if (column >= 0 && column < static_cast<int>(texts_.size()))
            texts_[static_cast<std::size_t>(column)] = text;
    }
    void RedrawItems(int, int) override {}
    void DeleteAllItems() override { count_ = 0; }

    // The texts of the last row, by column; column 0 holds none.
    const TableRow& Texts() const { return texts_; }
    int Image() const { return image_; }

private:
    int count_ = 0;
    int image_ = 0;
    TableRow texts_;  // kept from row to row: no allocation a row
};

}  // namespace kestrel
