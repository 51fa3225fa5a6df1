#include "engine/table_call_batch.h"

namespace kestrel {

int TableCallBatch::ItemCount() {
    calls_.push_back({Kind::kItemCount, 0, 0, {}});
    return count_;
}

void TableCallBatch::InsertItem(int index, int image) {
    calls_.push_back({Kind::kInsertItem, index, image, {}});
    ++count_;
}

void TableCallBatch::SetItemText(int row, int column, const char* text) {
    calls_.push_back({Kind::kSetItemText, row, column, text != nullptr ? text : ""});
}

void TableCallBatch::RedrawItems(int first, int last) {
    calls_.push_back({Kind::kRedrawItems, first, last, {}});
}

void TableCallBatch::DeleteAllItems() {
    calls_.push_back({Kind::kDeleteAllItems, 0, 0, {}});
    count_ = 0;
}

void TableCallBatch::ReplayOn(ResultTablePort& table) {
    for (const Call& call : calls_) {
        switch (call.kind) {
            case Kind::kItemCount:
                table.ItemCount();  // the list sees the question; the answer was given when it was asked
                break;
            case Kind::kInsertItem:
                table.InsertItem(call.first, call.second);
                break;
            case Kind::kSetItemText:
                table.SetItemText(call.first, call.second, call.text.c_str());
                break;
            case Kind::kRedrawItems:
                table.RedrawItems(call.first, call.second);
                break;
            case Kind::kDeleteAllItems:
                table.DeleteAllItems();
                break;
        }
    }
    calls_.clear();
}

}  // namespace kestrel
