#pragma once
// The calls a run makes on the result table for one row, kept so that the
// table's own thread can make them again in one go. A call from the worker to
// the window's thread is a thread switch each way; one per row instead of one
// per call is what lets the table keep up with the reader.
#include <string>
#include <vector>

#include "engine/ports.h"

namespace kestrel {

class TableCallBatch final : public ResultTablePort {
public:
    // count: the rows the table holds now; ItemCount answers from it, since
    // the run is the only one that adds or removes rows while it goes.
    explicit TableCallBatch(int count = 0) : count_(count) {}

    int ItemCount() override;
    void InsertItem(int index, int image) override;
    void SetItemText(int row, int column, const char* text) override;
    void RedrawItems(int first, int last) override;
    void DeleteAllItems() override;

    bool Empty() const { return calls_.empty(); }
    // The rows the table holds after the calls so far.
    int Count() const { return count_; }

    // Makes the calls on table in the order they came and forgets them.
    void ReplayOn(ResultTablePort& table);
    // Forgets the calls without making them.
    void Clear() { calls_.clear(); }

private:
    enum class Kind { kItemCount, kInsertItem, kSetItemText, kRedrawItems, kDeleteAllItems };
    struct Call {
        Kind kind;
        int first;   // index, row
        int second;  // image, column, last
        std::string text;
    };

    std::vector<Call> calls_;
    int count_;
};

}  // namespace kestrel
