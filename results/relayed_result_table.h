#pragma once
// The result table as a run changes it from the worker thread: the list-view
// messages of one row are gathered and handed to the list in one sent
// message, and the list's own thread sends them to the list, in the same
// order, while the worker waits. Rows still appear one by one as they are
// read; each costs one thread switch instead of one per message.
#include <windows.h>

#include "engine/table_call_batch.h"

namespace kestrel {

// Sent to the result view with lParam a TableCallBatch*: the view makes the
// calls on its list and returns TRUE.
inline constexpr UINT WM_KESTREL_TABLE_CALLS = WM_APP + 0x41;

class RelayedResultTable final : public ResultTablePort {
public:
    // Asks the list for its row count once; from then on the run is the only
    // one that changes the rows.
    explicit RelayedResultTable(HWND list);
    ~RelayedResultTable() override;
    RelayedResultTable(const RelayedResultTable&) = delete;
    RelayedResultTable& operator=(const RelayedResultTable&) = delete;

    int ItemCount() override { return batch_.ItemCount(); }
    void InsertItem(int index, int image) override { batch_.InsertItem(index, image); }
    void SetItemText(int row, int column, const char* text) override {
        batch_.SetItemText(row, column, text);
    }
    void RedrawItems(int first, int last) override;
    void DeleteAllItems() override;

    // The rows the list holds once the calls so far are made, without asking it.
    int Count() const { return batch_.Count(); }

private:
    void Hand();

    HWND list_;
    TableCallBatch batch_;
};

}  // namespace kestrel
