#include "shell/frame_dialogs.h"

#include <shlobj.h>

#include "framework/file_dialog.h"

namespace kestrel {
namespace {

// The folder dialog's start: the folder given as its data, once it is ready.
int CALLBACK OpenAtFolder(HWND dialog, UINT message, LPARAM, LPARAM folder) {
    if (message == BFFM_INITIALIZED) ::SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, folder);
    return 0;
}

class SystemDialogs final : public FrameDialogs {
public:
    std::string AskResultsFileName(HWND owner) override {
        CFileDialog dialog(false, "csv", "", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                           "CSVファイル(*.csv)|*.csv|すべてのファイル(*.*)|*.*||", owner);
        return dialog.DoModal() == IDOK ? dialog.GetPathName() : std::string();
    }

    std::string AskLogFolder(HWND owner, const std::string& current) override {
        char name[MAX_PATH] = {};
        BROWSEINFOA info{};
        info.hwndOwner = owner;
        info.pszDisplayName = name;
        info.lpszTitle = "ｵﾌﾗｲﾝﾛｸﾞのﾌｫﾙﾀﾞ";
        info.ulFlags = BIF_RETURNONLYFSDIRS;
        if (!current.empty()) {
            info.lpfn = OpenAtFolder;
            info.lParam = reinterpret_cast<LPARAM>(current.c_str());
        }
        PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderA(&info);
        if (chosen == nullptr) return {};
        char path[MAX_PATH] = {};
        const BOOL ok = ::SHGetPathFromIDListA(chosen, path);
        ::CoTaskMemFree(chosen);
        return ok ? std::string(path) : std::string();
    }
};

}  // namespace

FrameDialogs& SystemFrameDialogs() {
    static SystemDialogs dialogs;
    return dialogs;
}

}  // namespace kestrel
