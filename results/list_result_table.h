#pragma once
// The result table as a run changes it: list-view messages sent to the list
// control from the worker thread, carried out by the user-interface thread.
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
