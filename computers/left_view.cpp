#include "computers/left_view.h"

#include <string>

#include "resources/resource.h"

namespace kestrel {
namespace {

constexpr char kRootText[] = "ｺﾝﾋﾟｭｰﾀﾘｽﾄ";
constexpr COLORREF kWhite = RGB(255, 255, 255);

HTREEITEM InsertItem(HWND tree, HTREEITEM parent, HTREEITEM after, const char* text, int image) {
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = const_cast<char*>(text);
    insert.item.iImage = image;
    insert.item.iSelectedImage = image;
    return reinterpret_cast<HTREEITEM>(
        ::SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

}  // namespace

CLeftView::~CLeftView() { DestroyWindow(); }

BOOL CLeftView::PreCreateWindow(CREATESTRUCTA& cs) {
    // The first four make 0x17. The selection also shows while the result
    // list has the focus.
    cs.style |= TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_DISABLEDRAGDROP | TVS_SHOWSELALWAYS;
    return CTreeView::PreCreateWindow(cs);
}

int CLeftView::GetItemCount() const { return static_cast<int>(TreeView_GetCount(m_hWnd)); }

bool CLeftView::AttachImageList() {
    // The tree only borrows the list: the old one goes once the new one is in.
    CImageList fresh;
    if (!fresh.Create(16, 16, ILC_COLOR24 | ILC_MASK, 2, 5)) return false;
    fresh.Add(IDB_COMPUTER_LIST, kWhite);
    fresh.Add(IDB_COMPUTER, kWhite);
    TreeView_SetImageList(m_hWnd, fresh.GetSafeHandle(), TVSIL_NORMAL);
    m_imageList.Swap(fresh);
    return true;
}

HTREEITEM CLeftView::AppendComputer(HTREEITEM root, const char* name) {
    return InsertItem(m_hWnd, root, TVI_LAST, name, 1);
}

void CLeftView::OnInitialUpdate() {
    CTreeView::OnInitialUpdate();
    AttachImageList();

    // Before every existing item: a repeated initial update puts a new list
    // above the old one.
    m_hRootItem = InsertRootItem();
    m_hCurrentItem = m_hRootItem;

    // Every start begins from the same working list text.
    std::string names = "localhost";
    while (!names.empty()) {
        const std::size_t end = names.find(';');
        AppendComputer(m_hRootItem, names.substr(0, end).c_str());
        names.erase(0, end == std::string::npos ? names.size() : end + 1);
    }

    TreeView_Expand(m_hWnd, m_hRootItem, TVE_EXPAND);
    m_hCurrentItem = TreeView_GetChild(m_hWnd, m_hRootItem);
    SelectItem(m_hCurrentItem);
}

void CLeftView::RemoveCurrentComputer() {
    if (m_hCurrentItem == nullptr || m_hCurrentItem == m_hRootItem) return;
    HTREEITEM previous = TreeView_GetPrevSibling(m_hWnd, m_hCurrentItem);
    TreeView_DeleteItem(m_hWnd, m_hCurrentItem);
    m_hCurrentItem = previous != nullptr ? previous : TreeView_GetChild(m_hWnd, m_hRootItem);
    SelectItem(m_hCurrentItem);
}

HTREEITEM CLeftView::InsertRootItem() { return InsertItem(m_hWnd, TVI_ROOT, TVI_FIRST, kRootText, 0); }

void CLeftView::SelectItem(HTREEITEM item) { TreeView_Select(m_hWnd, item, TVGN_CARET); }

LRESULT CLeftView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        // Only the program moves the selection: clicks and keys do nothing.
        // Characters too, or the tree's type-ahead search would move it.
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_CONTEXTMENU:
        case WM_KEYDOWN:
        case WM_CHAR:
            return 0;
        default:
            return CTreeView::WindowProc(message, wParam, lParam);
    }
}

}  // namespace kestrel
