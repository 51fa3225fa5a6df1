// Save and import of the computer list: the tree view in a stand-in frame,
// real files in a folder of its own, dialogs answered by the tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "computers/left_view.h"
#include "computers/tree_computer_list.h"
#include "framework/message_box.h"
#include "resources/resource.h"
#include "tests/win/support/dialog_answerer.h"
#include "tests/win/support/ui_support.h"

namespace kestrel::testing {
namespace {

using Names = std::vector<std::string>;

// File names as a user picks them; notes each question.
class ScriptedDialogs final : public ListFileDialogs {
public:
    std::string AskSaveName(HWND owner) override { return Answer("save", owner); }
    std::string AskImportName(HWND owner) override { return Answer("import", owner); }

    std::string answer;
    Names asked;
    HWND owner = nullptr;

private:
    std::string Answer(const char* what, HWND from) {
        asked.emplace_back(what);
        owner = from;
        return answer;
    }
};

// The real files, with a write that stops half-way when asked to.
class FailingWrites final : public ListFileSystem {
public:
    int CreateTemporary(const std::string& target, std::string& temporary) override {
        return files.CreateTemporary(target, temporary);
    }
    int Write(std::string_view bytes) override {
        files.Write(bytes.substr(0, bytes.size() / 2));
        return ERROR_DISK_FULL;
    }
    int Close() override { return files.Close(); }
    int Replace(const std::string& from, const std::string& to) override { return files.Replace(from, to); }
    void Remove(const std::string& path) override { files.Remove(path); }

    Win32ListFileSystem files;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

class ListCommandsTest : public FrameSuite {
protected:
    static void SetUpTestSuite() {
        FrameSuite::SetUpTestSuite();
        char temp[MAX_PATH] = {};
        ::GetTempPathA(sizeof temp, temp);
        folder = std::string(temp) + "kestrel_lists_" + std::to_string(::GetCurrentProcessId()) + "\\";
        ::CreateDirectoryA(folder.c_str(), nullptr);
    }
    static void TearDownTestSuite() {
        EmptyFolder();
        ::RemoveDirectoryA(folder.c_str());
        FrameSuite::TearDownTestSuite();
    }

    void SetUp() override {
        EmptyFolder();
        settings.MaxComputer = 200;
        ASSERT_TRUE(view.Create(*frame, frame->ViewRect(), 0xE900, nullptr));
        tree = view.GetSafeHwnd();
        ::SendMessageA(tree, WM_INITIALUPDATE, 0, 0);
        view.SetListFileServices(dialogs, files);
    }

    static void EmptyFolder() {
        for (const std::string& name : FolderFiles()) {
            const std::string path = folder + name;
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileA(path.c_str());
        }
    }
    static Names FolderFiles() {
        Names names;
        WIN32_FIND_DATAA found{};
        HANDLE search = ::FindFirstFileA((folder + "*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
        } while (::FindNextFileA(search, &found));
        ::FindClose(search);
        std::sort(names.begin(), names.end());
        return names;
    }

    // The command as Ctrl+W and Ctrl+R bring it: to the frame, which hands
    // it to its active view.
    void Command(UINT id) {
        frame->SetActiveView(&view);
        ::SendMessageA(*frame, WM_COMMAND, MAKEWPARAM(id, 1), 0);
    }
    void Save(const std::string& path) {
        dialogs.answer = path;
        Command(ID_SAVE_COMPUTER_LIST);
    }
    void Import(const std::string& path) {
        dialogs.answer = path;
        Command(ID_IMPORT_COMPUTER_LIST);
    }
    Names Computers() const { return TreeComputerList(tree).ComputerNames(); }

    static inline std::string folder;
    AppSettings settings;
    CLeftView view{settings};
    HWND tree = nullptr;
    ScriptedDialogs dialogs;
    Win32ListFileSystem files;
    DialogAnswerer answerer;
};

TEST_F(ListCommandsTest, SaveWritesEachNameAndCrLfAndLeavesOtherFilesAlone) {
    const std::string path = folder + "site.lst";
    WriteFile(path, "an older and much longer list\r\n");
    WriteFile(path + ".new", "someone else's file");

    Save(path);
    EXPECT_EQ(dialogs.asked, Names{"save"});
    EXPECT_EQ(dialogs.owner, frame->GetSafeHwnd());
    EXPECT_EQ(ReadFile(path), "localhost\r\n");
    EXPECT_EQ(ReadFile(path).size(), 11u);
    EXPECT_EQ(ReadFile(path + ".new"), "someone else's file");
    EXPECT_EQ(FolderFiles(), (Names{"site.lst", "site.lst.new"}));  // no temporary file left
    EXPECT_TRUE(answerer.boxes.empty());

    // A list with a double-byte name and blanks comes back from its file as it was.
    WriteFile(folder + "in.txt", " pc 1 \r\n\r\nｻｰﾊﾞ01\n");
    answerer.answers = {IDNO};
    Import(folder + "in.txt");
    Save(path);
    EXPECT_EQ(ReadFile(path), "localhost\r\n pc 1 \r\nｻｰﾊﾞ01\r\n");
}

TEST_F(ListCommandsTest, CommandsReachOnlyTheActiveTree) {
    dialogs.answer.clear();  // the user cancels: nothing is written
    Command(ID_SAVE_COMPUTER_LIST);
    Command(ID_IMPORT_COMPUTER_LIST);
    EXPECT_EQ(dialogs.asked, (Names{"save", "import"}));
    EXPECT_TRUE(FolderFiles().empty());
    EXPECT_EQ(Computers(), Names{"localhost"});
    EXPECT_EQ(view.m_hCurrentItem, TreeView_GetChild(tree, view.m_hRootItem));

    frame->SetActiveView(nullptr);
    ::SendMessageA(*frame, WM_COMMAND, MAKEWPARAM(ID_SAVE_COMPUTER_LIST, 1), 0);
    EXPECT_EQ(dialogs.asked.size(), 2u);
}

TEST_F(ListCommandsTest, SavingAnEmptyListAsksForAComputerFirst) {
    view.RemoveCurrentComputer();
    Save(folder + "empty.lst");
    EXPECT_TRUE(dialogs.asked.empty());
    EXPECT_TRUE(FolderFiles().empty());
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].text, "ｺﾝﾋﾟｭｰﾀを一台以上追加してください。");
    EXPECT_EQ(answerer.boxes[0].caption, "確認");
    EXPECT_EQ(answerer.boxes[0].icon, static_cast<UINT>(MB_ICONEXCLAMATION));
}

TEST_F(ListCommandsTest, AFailedSaveNamesTheCauseAndKeepsTheOldFile) {
    const std::string missing = folder + "no such folder\\site.lst";
    Save(missing);
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].text, missing + " のﾊﾟｽが正しくないか、ﾌｫﾙﾀﾞが存在しません。");
    EXPECT_EQ(answerer.boxes[0].caption, AfxGetAppName());
    EXPECT_EQ(answerer.boxes[0].caption, "kestrel_list_tests");
    EXPECT_EQ(answerer.boxes[0].icon, static_cast<UINT>(MB_ICONSTOP));
    EXPECT_TRUE(FolderFiles().empty());

    // Files that may not be replaced: read-only, and held open by another program.
    const std::string readOnly = folder + "read-only.lst";
    WriteFile(readOnly, "old1\r\nold2\r\n");
    ::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    Save(readOnly);
    const std::string locked = folder + "locked.lst";
    WriteFile(locked, "old1\r\nold2\r\n");
    HANDLE holder = ::CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    Save(locked);
    ::CloseHandle(holder);
    ASSERT_EQ(answerer.boxes.size(), 3u);
    EXPECT_EQ(answerer.boxes[1].text, readOnly + " へのｱｸｾｽは拒否されました。");
    EXPECT_EQ(answerer.boxes[2].text, locked + " へのｱｸｾｽは拒否されました。");
    EXPECT_EQ(ReadFile(readOnly), "old1\r\nold2\r\n");
    EXPECT_EQ(ReadFile(locked), "old1\r\nold2\r\n");
    EXPECT_EQ(FolderFiles(), (Names{"locked.lst", "read-only.lst"}));

    // The disk fills half-way through: the old list stays whole.
    const std::string full = folder + "full.lst";
    WriteFile(full, "old1\r\nold2\r\n");
    FailingWrites failing;
    view.SetListFileServices(dialogs, failing);
    Save(full);
    ASSERT_EQ(answerer.boxes.size(), 4u);
    EXPECT_EQ(answerer.boxes[3].text, full + " の書き込み中にﾃﾞｨｽｸがいっぱいになりました。");
    EXPECT_EQ(ReadFile(full), "old1\r\nold2\r\n");
    EXPECT_EQ(FolderFiles(), (Names{"full.lst", "locked.lst", "read-only.lst"}));
}

Names NumberedNames(int count) {
    Names names;
    for (int i = 1; i <= count; ++i) names.push_back("pc" + std::to_string(i));
    return names;
}

std::string FileOf(const Names& names) {
    std::string bytes;
    for (const std::string& name : names) bytes += name + "\r\n";
    return bytes;
}

TEST_F(ListCommandsTest, ImportStopsAtMaxComputer) {
    const std::string path = folder + "250.txt";
    WriteFile(path, FileOf(NumberedNames(250)));

    // From localhost, answered No: appended after it, 199 of them.
    answerer.answers = {IDNO};
    Import(path);
    ASSERT_EQ(answerer.boxes.size(), 2u);
    EXPECT_EQ(answerer.boxes[0].text, "現在のｺﾝﾋﾟｭｰﾀﾘｽﾄを上書きしますか。[いいえ]を選択すると追加されます。");
    EXPECT_EQ(answerer.boxes[0].caption, "確認");
    EXPECT_TRUE(answerer.boxes[0].yesNo);
    EXPECT_EQ(answerer.boxes[0].icon, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(answerer.boxes[1].text, "これ以上ｺﾝﾋﾟｭｰﾀを追加することができません。");
    EXPECT_EQ(answerer.boxes[1].caption, "注意");
    EXPECT_EQ(answerer.boxes[1].icon, static_cast<UINT>(MB_ICONEXCLAMATION));
    Names expected{"localhost"};
    for (const std::string& name : NumberedNames(199)) expected.push_back(name);
    EXPECT_EQ(Computers(), expected);
    EXPECT_EQ(view.GetItemCount(), 201);

    // A full list takes nothing more, whatever the file holds.
    answerer.answers = {IDNO};
    Import(path);
    EXPECT_EQ(answerer.boxes.back().text, "これ以上ｺﾝﾋﾟｭｰﾀを追加することができません。");
    EXPECT_EQ(view.GetItemCount(), 201);

    // Into an empty list nothing is asked: the first 200.
    answerer.answers = {IDYES};
    WriteFile(folder + "empty.txt", "");
    Import(folder + "empty.txt");
    ASSERT_EQ(view.GetItemCount(), 1);
    answerer.boxes.clear();
    Import(path);
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].text, "これ以上ｺﾝﾋﾟｭｰﾀを追加することができません。");
    EXPECT_EQ(Computers(), NumberedNames(200));
}

TEST_F(ListCommandsTest, ImportWithYesReplacesTheListAndLeavesNothingCurrent) {
    HIMAGELIST before = TreeView_GetImageList(tree, TVSIL_NORMAL);
    const std::string path = folder + "list.txt";
    WriteFile(path, "pc1\n\n pc2 \r\nlocalhost");
    answerer.answers = {IDYES};
    Import(path);
    EXPECT_EQ(Computers(), (Names{"pc1", " pc2 ", "localhost"}));
    HTREEITEM root = TreeView_GetRoot(tree);
    EXPECT_EQ(view.m_hRootItem, root);
    EXPECT_EQ(TreeView_GetNextSibling(tree, root), nullptr);
    EXPECT_EQ(TreeView_GetSelection(tree), root);
    EXPECT_EQ(view.m_hCurrentItem, nullptr);
    EXPECT_TRUE(TreeView_GetItemState(tree, root, TVIS_EXPANDED) & TVIS_EXPANDED);
    HIMAGELIST fresh = TreeView_GetImageList(tree, TVSIL_NORMAL);
    EXPECT_NE(fresh, before);
    EXPECT_EQ(ImageList_GetImageCount(fresh), 2);

    // Ctrl+D has no current computer to remove.
    view.RemoveCurrentComputer();
    EXPECT_EQ(view.GetItemCount(), 4);

    // An empty file answered Yes: only the root, selected, nothing current.
    WriteFile(path, "");
    answerer.answers = {IDYES};
    Import(path);
    EXPECT_EQ(view.GetItemCount(), 1);
    EXPECT_EQ(TreeView_GetSelection(tree), TreeView_GetRoot(tree));
    EXPECT_EQ(view.m_hCurrentItem, nullptr);
    EXPECT_TRUE(Computers().empty());
}

TEST_F(ListCommandsTest, ImportStopsAtALongNameAndKeepsWhatCameBefore) {
    // 16 double-byte characters are 32 bytes: still a name.
    const std::string kanji16 = "日本語日本語日本語日本語日本語日";
    WriteFile(folder + "long.txt", "pc1\npc2\n" + kanji16 + "\npc4\n" + std::string(33, 'x') + "\npc6\n");
    answerer.answers = {IDNO};
    Import(folder + "long.txt");
    EXPECT_EQ(Computers(), (Names{"localhost", "pc1", "pc2", kanji16, "pc4"}));
    ASSERT_EQ(answerer.boxes.size(), 2u);
    EXPECT_EQ(answerer.boxes[1].text,
              "ｺﾝﾋﾟｭｰﾀ名が長すぎます。(ｲﾝﾎﾟｰﾄしようとしたﾃｷｽﾄﾌｧｲﾙ内に、長すぎるｺﾝﾋﾟｭｰﾀ名が存在するため、"
              "ｲﾝﾎﾟｰﾄを中止しました。)");
    EXPECT_EQ(answerer.boxes[1].caption, "注意");
    EXPECT_EQ(view.m_hCurrentItem, nullptr);
}

TEST_F(ListCommandsTest, AFileThatCannotBeOpenedLeavesTheListAsItWas) {
    HTREEITEM current = view.m_hCurrentItem;
    Import(folder + "missing.txt");
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].text, "ファイルの読み込みに失敗しました。");
    EXPECT_EQ(answerer.boxes[0].caption, "kestrel_list_tests");
    EXPECT_EQ(answerer.boxes[0].icon, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(answerer.boxes[0].owner, frame->GetSafeHwnd());
    EXPECT_EQ(Computers(), Names{"localhost"});
    EXPECT_EQ(view.m_hCurrentItem, current);
}

// The system's own dialogs, answered from the hook.
TEST_F(ListCommandsTest, TheSystemDialogs) {
    ListFileDialogs& system = SystemListFileDialogs();
    const Names types{"テキストファイル(*.txt)", "すべてのファイル(*.*)"};

    // A name typed without an extension gets "lst" when the chosen type
    // (all files) has none of its own to give.
    answerer.fileNames = {{folder + "typed", 2}};
    EXPECT_EQ(system.AskSaveName(*frame), folder + "typed.lst");
    ASSERT_EQ(answerer.fileDialogs.size(), 1u);
    EXPECT_EQ(answerer.fileDialogs[0].fileTypes, types);
    EXPECT_FALSE(answerer.fileDialogs[0].readOnlyShown);
    EXPECT_EQ(answerer.fileDialogs[0].owner, frame->GetSafeHwnd());

    // An existing file: the dialog asks before it gives the name back.
    WriteFile(folder + "old.lst", "old\r\n");
    answerer.fileNames = {folder + "old.lst"};
    answerer.answers = {IDYES};
    EXPECT_EQ(system.AskSaveName(*frame), folder + "old.lst");
    EXPECT_EQ(answerer.boxes.size(), 1u);

    answerer.fileNames = {folder + "old.lst"};
    EXPECT_EQ(system.AskImportName(*frame), folder + "old.lst");
    EXPECT_EQ(answerer.fileDialogs.back().fileTypes, types);
    EXPECT_FALSE(answerer.fileDialogs.back().readOnlyShown);
    EXPECT_EQ(answerer.boxes.size(), 1u);  // opening asks nothing

    answerer.fileNames = {""};
    EXPECT_EQ(system.AskImportName(*frame), "");
}

}  // namespace
}  // namespace kestrel::testing
