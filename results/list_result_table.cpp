#include "results/list_result_table.h"

#include <commctrl.h>

namespace kestrel {

int ListResultTable::ItemCount() { return static_cast<int>(::SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0)); }

void ListResultTable::InsertItem(int index, int image) {
    LVITEMA item{};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    item.iImage = image;
    ::SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void ListResultTable::SetItemText(int row, int column, const char* text) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text);
    ::SendMessageA(list_, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void ListResultTable::RedrawItems(int first, int last) {
    ::SendMessageA(list_, LVM_REDRAWITEMS, first, last);
}

void ListResultTable::DeleteAllItems() { ::SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0); }

}  // namespace kestrel
