// The tree view's save and import of the computer list.
#include <algorithm>
#include <cstdio>

#include "computers/left_view.h"
#include "computers/list_file.h"
#include "computers/tree_computer_list.h"
#include "framework/file_exception.h"
#include "framework/message_box.h"
#include "resources/resource.h"

namespace kestrel {
namespace {

// An import reads no further: a list holds a few hundred short names, and
// only a long run of blank lines could make a real list file bigger.
constexpr std::size_t kMaxImportBytes = std::size_t{64} << 20;

// The file's bytes; the text-mode reading is the list format's own.
bool ReadImportFile(const std::string& path, std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    char buffer[16384];
    while (bytes.size() < kMaxImportBytes) {
        const std::size_t got =
            std::fread(buffer, 1, std::min(sizeof buffer, kMaxImportBytes - bytes.size()), file);
        if (got == 0) break;
        bytes.append(buffer, got);
    }
    std::fclose(file);
    return true;
}

}  // namespace

bool CLeftView::OnCommand(UINT id) {
    switch (id) {
        case ID_SAVE_COMPUTER_LIST:
            OnSaveComputerList();
            return true;
        case ID_IMPORT_COMPUTER_LIST:
            OnImportComputerList();
            return true;
        default:
            return CTreeView::OnCommand(id);
    }
}

void CLeftView::OnSaveComputerList() {
    if (GetItemCount() <= 1) {
        ::MessageBoxA(m_hWnd, "ｺﾝﾋﾟｭｰﾀを一台以上追加してください。", "確認", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const std::string path = m_pFileDialogs->AskSaveName(::GetAncestor(m_hWnd, GA_ROOT));
    if (path.empty()) return;

    // The new list goes beside the old file and takes its place only when
    // complete: a failure leaves the old file as it was.
    const SaveResult saved = SaveListFile(*m_pListFiles, path, TreeComputerList(m_hWnd).ComputerNames());
    if (!saved.Ok()) {
        const LONG error = saved.error;
        CFileException(CFileException::OsErrorToException(error), error, path).ReportError();
    }
}

void CLeftView::OnImportComputerList() {
    const std::string path = m_pFileDialogs->AskImportName(::GetAncestor(m_hWnd, GA_ROOT));
    if (path.empty()) return;
    std::string bytes;
    if (!ReadImportFile(path, bytes)) {
        AfxMessageBox("ファイルの読み込みに失敗しました。", MB_OK | MB_ICONEXCLAMATION);
        return;
    }

    AttachImageList();
    if (GetItemCount() > 1 &&
        ::MessageBoxA(m_hWnd, "現在のｺﾝﾋﾟｭｰﾀﾘｽﾄを上書きしますか。[いいえ]を選択すると追加されます。", "確認",
                      MB_YESNO | MB_ICONEXCLAMATION) == IDYES) {
        TreeView_DeleteAllItems(m_hWnd);
        m_hCurrentItem = nullptr;
        m_hRootItem = InsertRootItem();
    }
    HTREEITEM root = TreeView_GetRoot(m_hWnd);
    if (root == nullptr) root = InsertRootItem();  // only a view that never had its initial update

    // The limit is tested before each name: names are added while the item
    // count, root included, is not above MaxComputer.
    const int count = GetItemCount();
    const std::size_t room =
        m_settings.MaxComputer < 0 ? 0 : ImportRoom(static_cast<std::size_t>(count), m_settings.MaxComputer);
    const ListFileContents list = ReadListFile(bytes, room);
    for (const std::string& name : list.names) AppendComputer(root, name.c_str());
    if (list.stop == ListStop::LimitReached) {
        ::MessageBoxA(m_hWnd, "これ以上ｺﾝﾋﾟｭｰﾀを追加することができません。", "注意",
                      MB_OK | MB_ICONEXCLAMATION);
    } else if (list.stop == ListStop::NameTooLong) {
        ::MessageBoxA(
            m_hWnd,
            "ｺﾝﾋﾟｭｰﾀ名が長すぎます。(ｲﾝﾎﾟｰﾄしようとしたﾃｷｽﾄﾌｧｲﾙ内に、長すぎるｺﾝﾋﾟｭｰﾀ名が存在するため、"
            "ｲﾝﾎﾟｰﾄを中止しました。)",
            "注意", MB_OK | MB_ICONEXCLAMATION);
    }

    TreeView_Expand(m_hWnd, root, TVE_EXPAND);
    m_hRootItem = root;
    SelectItem(root);
    m_hCurrentItem = nullptr;
}

}  // namespace kestrel
