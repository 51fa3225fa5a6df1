#pragma once
// The result table as list-view messages sent to the list control. The view
// sends a run's calls with it on its own thread (RelayedResultTable); tests
// send from anywhere.
#include <windows.h>

#include "engine/ports.h"

namespace kestrel {

class ListResultTable final : public ResultTablePort {
public:
    explicit ListResultTable(HWND list) : list_(list) {}
    int ItemCount() override;
    void InsertItem(int index, int image) override;
    void SetItemText(int row, int column, const char* text) override;
    void RedrawItems(int first, int last) override;
    void DeleteAllItems() override;

private:
    HWND list_;
};

}  // namespace kestrel
