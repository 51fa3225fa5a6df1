#include "computers/list_file_dialogs.h"

#include "framework/file_dialog.h"

namespace kestrel {
namespace {

constexpr char kFilter[] = "テキストファイル(*.txt)|*.txt|すべてのファイル(*.*)|*.*||";

class SystemDialogs final : public ListFileDialogs {
public:
    std::string AskSaveName(HWND owner) override {
        CFileDialog dialog(false, "lst", "", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, kFilter, owner);
        return dialog.DoModal() == IDOK ? dialog.GetPathName() : std::string();
    }
    std::string AskImportName(HWND owner) override {
        CFileDialog dialog(true, nullptr, nullptr, OFN_HIDEREADONLY, kFilter, owner);
        return dialog.DoModal() == IDOK ? dialog.GetPathName() : std::string();
    }
};

}  // namespace

ListFileDialogs& SystemListFileDialogs() {
    static SystemDialogs dialogs;
    return dialogs;
}

}  // namespace kestrel
