#pragma once
// The computer list: a tree whose root's children are the computers. There is
// no other copy of the list.
#include <windows.h>
#include <commctrl.h>

#include "computers/list_file_dialogs.h"
#include "computers/list_file_win32.h"
#include "engine/app_settings.h"
#include "framework/image_list.h"
#include "framework/view.h"

namespace kestrel {

class CLeftView : public CTreeView {
public:
    // settings are the application object's: it hands them in when it makes
    // the view, and the list commands read MaxComputer from them.
    explicit CLeftView(AppSettings& settings) : m_settings(settings) {}
    ~CLeftView() override;

    // Ctrl+D: removes the current computer; the one before it, or else the
    // first one, becomes current.
    void RemoveCurrentComputer();
    // Every item of the tree, root(s) included.
    int GetItemCount() const;

    // A fresh image list (list and computer pictures) for the tree.
    bool AttachImageList();
    // A computer as the last child of root.
    HTREEITEM AppendComputer(HTREEITEM root, const char* name);

    // Where the save and import commands ask for a file and how the save
    // writes it: the system's dialogs and files unless a test puts its own.
    void SetListFileServices(ListFileDialogs& dialogs, ListFileSystem& files) {
        m_pFileDialogs = &dialogs;
        m_pListFiles = &files;
    }

    HTREEITEM m_hRootItem = nullptr;
    // The computer Ctrl+D removes; null: none.
    HTREEITEM m_hCurrentItem = nullptr;

protected:
    BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
    void OnInitialUpdate() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Save (32790) and import (32791) of the list.
    bool OnCommand(UINT id) override;

    AppSettings& m_settings;

private:
    void SelectItem(HTREEITEM item);
    // A new root "ｺﾝﾋﾟｭｰﾀﾘｽﾄ" before every other item.
    HTREEITEM InsertRootItem();
    void OnSaveComputerList();
    void OnImportComputerList();

    CImageList m_imageList;
    Win32ListFileSystem m_listFiles;
    ListFileDialogs* m_pFileDialogs = &SystemListFileDialogs();
    ListFileSystem* m_pListFiles = &m_listFiles;
};

}  // namespace kestrel
