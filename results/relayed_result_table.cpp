#include "results/relayed_result_table.h"

#include <commctrl.h>

namespace kestrel {

RelayedResultTable::RelayedResultTable(HWND list)
    : list_(list), batch_(static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0))) {}

RelayedResultTable::~RelayedResultTable() {
    if (!batch_.Empty()) Hand();
}

void RelayedResultTable::RedrawItems(int first, int last) {
    batch_.RedrawItems(first, last);
    Hand();
}

void RelayedResultTable::DeleteAllItems() {
    batch_.DeleteAllItems();
    Hand();
}

void RelayedResultTable::Hand() {
    // A list that is gone takes nothing; the calls are dropped with it.
    if (::SendMessageA(list_, WM_KESTREL_TABLE_CALLS, 0, reinterpret_cast<LPARAM>(&batch_)) == 0)
        batch_.Clear();
}

}  // namespace kestrel
