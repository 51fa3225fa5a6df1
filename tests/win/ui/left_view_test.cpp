// The computer list tree, built for real in a stand-in frame and read back
// through the tree control's own messages.
#include <gtest/gtest.h>

#include "computers/left_view.h"
#include "computers/tree_computer_list.h"
#include "resources/resource.h"
#include "tests/win/support/ui_support.h"

namespace kestrel::testing {
namespace {

struct Item {
    std::string text;
    int image = -1;
    int selectedImage = -1;
};

class LeftViewTest : public FrameSuite {
protected:
    void SetUp() override {
        ASSERT_TRUE(view.Create(*frame, frame->ViewRect(), 0xE900, nullptr));
        tree = view.GetSafeHwnd();
        ::SendMessageA(tree, WM_INITIALUPDATE, 0, 0);
    }

    Item Read(HTREEITEM handle) const {
        char text[260] = {};
        TVITEMA item{};
        item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        item.hItem = handle;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        if (!::SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return {};
        return {text, item.iImage, item.iSelectedImage};
    }
    HTREEITEM Selected() const { return TreeView_GetSelection(tree); }
    HTREEITEM FirstChild(HTREEITEM item) const { return TreeView_GetChild(tree, item); }

    // The walk of a run, made from a second thread as the worker makes it.
    std::vector<std::string> WalkFromWorker() const {
        std::vector<std::string> names;
        EXPECT_TRUE(OnWorkerThread([&] { names = TreeComputerList(tree).ComputerNames(); }));
        return names;
    }

    void Press(UINT message, WPARAM wParam, HTREEITEM on) const {
        RECT rect{};
        TreeView_GetItemRect(tree, on, &rect, TRUE);
        ::SendMessageA(tree, message, wParam, MAKELPARAM(rect.left + 2, rect.top + 2));
    }

    AppSettings settings;
    CLeftView view{settings};
    HWND tree = nullptr;
};

TEST_F(LeftViewTest, InitialUpdateShowsRootAndLocalhostCurrentAndSelected) {
    const LONG style = ::GetWindowLongA(tree, GWL_STYLE);
    const LONG wanted = WS_CHILD | WS_VISIBLE | WS_BORDER | 0x17 | TVS_SHOWSELALWAYS;
    EXPECT_EQ(style & wanted, wanted);

    EXPECT_EQ(view.GetItemCount(), 2);
    HTREEITEM root = TreeView_GetRoot(tree);
    EXPECT_EQ(root, view.m_hRootItem);
    EXPECT_EQ(TreeView_GetNextSibling(tree, root), nullptr);
    const Item rootItem = Read(root);
    EXPECT_EQ(rootItem.text, "ｺﾝﾋﾟｭｰﾀﾘｽﾄ");
    EXPECT_EQ(rootItem.image, 0);
    EXPECT_EQ(rootItem.selectedImage, 0);

    HTREEITEM localhost = FirstChild(root);
    const Item computer = Read(localhost);
    EXPECT_EQ(computer.text, "localhost");
    EXPECT_EQ(computer.image, 1);
    EXPECT_EQ(computer.selectedImage, 1);
    EXPECT_EQ(TreeView_GetNextSibling(tree, localhost), nullptr);
    EXPECT_EQ(view.m_hCurrentItem, localhost);
    EXPECT_EQ(Selected(), localhost);
    EXPECT_TRUE(TreeView_GetItemState(tree, root, TVIS_EXPANDED) & TVIS_EXPANDED);

    HIMAGELIST images = TreeView_GetImageList(tree, TVSIL_NORMAL);
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(images), 2);
    EXPECT_TRUE(ImageShowsBitmap(images, 0, IDB_COMPUTER_LIST, RGB(255, 255, 255)));
    EXPECT_TRUE(ImageShowsBitmap(images, 1, IDB_COMPUTER, RGB(255, 255, 255)));

    EXPECT_EQ(WalkFromWorker(), (std::vector<std::string>{"localhost"}));
}

TEST_F(LeftViewTest, RemoveCurrentComputerDownToAnEmptyList) {
    HTREEITEM root = view.m_hRootItem;
    HTREEITEM pc1 = view.AppendComputer(root, "pc1");
    HTREEITEM pc2 = view.AppendComputer(root, "pc2");
    HTREEITEM pc3 = view.AppendComputer(root, "pc3");

    // With a computer before it, that one takes over.
    view.m_hCurrentItem = pc3;
    view.RemoveCurrentComputer();
    EXPECT_EQ(view.m_hCurrentItem, pc2);
    EXPECT_EQ(Selected(), pc2);

    view.m_hCurrentItem = FirstChild(root);  // localhost, the first
    view.RemoveCurrentComputer();
    EXPECT_EQ(view.m_hCurrentItem, pc1);
    EXPECT_EQ(Selected(), pc1);
    view.RemoveCurrentComputer();  // pc1: pc2 is now the first
    EXPECT_EQ(view.m_hCurrentItem, pc2);
    view.RemoveCurrentComputer();
    EXPECT_EQ(view.GetItemCount(), 1);
    EXPECT_EQ(view.m_hCurrentItem, nullptr);
    EXPECT_EQ(Selected(), nullptr);

    view.RemoveCurrentComputer();  // nothing current: nothing happens
    EXPECT_EQ(view.GetItemCount(), 1);
    EXPECT_TRUE(WalkFromWorker().empty());

    // The root itself is never removed.
    view.m_hCurrentItem = root;
    view.RemoveCurrentComputer();
    EXPECT_EQ(view.GetItemCount(), 1);
    EXPECT_EQ(Read(TreeView_GetRoot(tree)).text, "ｺﾝﾋﾟｭｰﾀﾘｽﾄ");
}

TEST_F(LeftViewTest, ClicksKeysAndCharactersChangeNothing) {
    HTREEITEM root = view.m_hRootItem;
    HTREEITEM localhost = view.m_hCurrentItem;
    HTREEITEM zeta = view.AppendComputer(root, "zeta");

    Press(WM_LBUTTONDOWN, MK_LBUTTON, root);
    Press(WM_LBUTTONUP, 0, root);
    Press(WM_RBUTTONDOWN, MK_RBUTTON, zeta);
    Press(WM_RBUTTONUP, 0, zeta);
    ::SendMessageA(tree, WM_KEYDOWN, VK_DOWN, 0);
    ::SendMessageA(tree, WM_KEYDOWN, VK_HOME, 0);
    ::SendMessageA(tree, WM_CHAR, 'z', 0);  // the tree's own type-ahead would pick zeta
    ::SendMessageA(tree, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(tree), MAKELPARAM(-1, -1));
    PumpFor(50);

    EXPECT_EQ(Selected(), localhost);
    EXPECT_EQ(view.m_hCurrentItem, localhost);
    EXPECT_EQ(view.GetItemCount(), 3);
}

TEST_F(LeftViewTest, DoubleClickReachesTheTreeAndTheWalkStaysInListOrder) {
    view.AppendComputer(view.m_hRootItem, "pc1");
    Press(WM_LBUTTONDBLCLK, MK_LBUTTON, view.m_hRootItem);
    PumpFor(50);
    // The tree's own double-click folds the root away...
    EXPECT_FALSE(TreeView_GetItemState(tree, view.m_hRootItem, TVIS_EXPANDED) & TVIS_EXPANDED);
    // ...and a run still meets every computer, as with an expanded root.
    EXPECT_EQ(WalkFromWorker(), (std::vector<std::string>{"localhost", "pc1"}));
}

TEST_F(LeftViewTest, RepeatedInitialUpdatePutsANewListAboveTheOld) {
    HTREEITEM oldRoot = view.m_hRootItem;
    view.AppendComputer(oldRoot, "pc1");
    HIMAGELIST oldImages = TreeView_GetImageList(tree, TVSIL_NORMAL);

    ::SendMessageA(tree, WM_INITIALUPDATE, 0, 0);

    EXPECT_EQ(view.GetItemCount(), 5);
    HTREEITEM newRoot = TreeView_GetRoot(tree);
    EXPECT_NE(newRoot, oldRoot);
    EXPECT_EQ(view.m_hRootItem, newRoot);
    EXPECT_EQ(TreeView_GetNextSibling(tree, newRoot), oldRoot);
    EXPECT_EQ(view.m_hCurrentItem, FirstChild(newRoot));
    EXPECT_EQ(Selected(), FirstChild(newRoot));
    EXPECT_EQ(Read(FirstChild(newRoot)).text, "localhost");

    HIMAGELIST images = TreeView_GetImageList(tree, TVSIL_NORMAL);
    EXPECT_NE(images, oldImages);
    EXPECT_EQ(ImageList_GetImageCount(images), 2);

    // The walk runs on past the new list into the old root and its computers.
    EXPECT_EQ(WalkFromWorker(), (std::vector<std::string>{"localhost", "ｺﾝﾋﾟｭｰﾀﾘｽﾄ", "localhost", "pc1"}));

    // Ctrl+D reaches only the new localhost.
    view.RemoveCurrentComputer();
    EXPECT_EQ(view.m_hCurrentItem, nullptr);
    EXPECT_EQ(view.GetItemCount(), 4);
    EXPECT_TRUE(WalkFromWorker().empty());
}

}  // namespace
}  // namespace kestrel::testing
