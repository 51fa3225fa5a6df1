#include "computers/tree_computer_list.h"

#include <commctrl.h>

namespace kestrel {
namespace {

HTREEITEM Next(HWND tree, HTREEITEM item, UINT relation) {
    return reinterpret_cast<HTREEITEM>(
        ::SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

bool IsExpanded(HWND tree, HTREEITEM item) {
    return (::SendMessageA(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED) &
            TVIS_EXPANDED) != 0;
}

// The item after item in the display order of the expanded tree. That is the
// tree's own next visible item, except where a double-click has collapsed a
// root and hidden its computers.
HTREEITEM NextComputer(HWND tree, HTREEITEM item) {
    HTREEITEM parent = Next(tree, item, TVGN_PARENT);
    if (parent != nullptr && !IsExpanded(tree, parent)) {
        if (HTREEITEM sibling = Next(tree, item, TVGN_NEXT)) return sibling;
        return Next(tree, parent, TVGN_NEXT);
    }
    HTREEITEM child = Next(tree, item, TVGN_CHILD);
    if (child != nullptr && !IsExpanded(tree, item)) return child;
    return Next(tree, item, TVGN_NEXTVISIBLE);
}

}  // namespace

std::vector<std::string> TreeComputerList::ComputerNames() {
    std::vector<std::string> names;
    HTREEITEM root = Next(tree_, nullptr, TVGN_ROOT);
    if (root == nullptr) return names;
    for (HTREEITEM item = Next(tree_, root, TVGN_CHILD); item != nullptr; item = NextComputer(tree_, item)) {
        char text[260] = {};
        TVITEMA query{};
        query.mask = TVIF_TEXT;
        query.hItem = item;
        query.pszText = text;
        query.cchTextMax = sizeof text;
        if (::SendMessageA(tree_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query)))
            names.emplace_back(text);
    }
    return names;
}

}  // namespace kestrel
