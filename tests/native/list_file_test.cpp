#include "computers/list_file.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace kestrel {
namespace {

using Names = std::vector<std::string>;

Names NamesOf(std::string_view bytes) { return ReadListFile(bytes).names; }

TEST(ListFileRead, LineEndsAndEmptyLines) {
    const Names expected{"pc1", "pc2", "pc3"};
    EXPECT_EQ(NamesOf("pc1\npc2\npc3\n"), expected);
    EXPECT_EQ(NamesOf("pc1\r\npc2\r\npc3\r\n"), expected);
    EXPECT_EQ(NamesOf("pc1\r\n\r\npc2\n\npc3"), expected);  // empty lines skipped, no final line end
    EXPECT_EQ(NamesOf("\n\r\n\n"), Names{});
    EXPECT_EQ(NamesOf(""), Names{});
    // A CR that is not part of CR LF ends no line; it is removed from the name.
    EXPECT_EQ(NamesOf("pc1\rpc2\n"), Names{"pc1pc2"});
}

TEST(ListFileRead, NamesKeepWhatIsNotALineEnd) {
    EXPECT_EQ(NamesOf(" pc1 \r\n"), Names{" pc1 "});
    // CR CR LF reads as CR LF: a line of CRs gives an empty name, a plain CR LF is skipped.
    EXPECT_EQ(NamesOf("pc1\r\n\r\r\npc2\r\n"), (Names{"pc1", "", "pc2"}));
    EXPECT_EQ(NamesOf("pc1\n\r"), (Names{"pc1", ""}));
    EXPECT_EQ(NamesOf("pc1\npc1\n"), (Names{"pc1", "pc1"}));
    // The line is a C string: its text ends at a NUL byte.
    EXPECT_EQ(NamesOf(std::string_view("pc\0x\n\0\npc3\n", 11)), (Names{"pc", "", "pc3"}));
}

TEST(ListFileRead, EndOfFileByte) {
    EXPECT_EQ(NamesOf("pc1\r\npc2\x1a\r\npc3\r\n"), (Names{"pc1", "pc2"}));
    EXPECT_EQ(NamesOf("\x1apc1\n"), Names{});
    EXPECT_EQ(NamesOf("pc1\r\x1a\n"), Names{"pc1"});  // the CR before 0x1A is no line end
}

TEST(ListFileRead, NameLengthLimit) {
    const std::string kanji16 = "日本語日本語日本語日本語日本語日";  // 16 double-byte characters
    ASSERT_EQ(kanji16.size(), 32u);
    ListFileContents exact = ReadListFile(kanji16 + "\r\n" + std::string(32, 'a'));
    EXPECT_EQ(exact.names, (Names{kanji16, std::string(32, 'a')}));
    EXPECT_EQ(exact.stop, ListStop::EndOfInput);
    EXPECT_EQ(exact.stopLine, 0u);

    // A 33-byte name on line 5 stops after four names.
    ListFileContents longName = ReadListFile("pc1\r\npc2\r\npc3\r\npc4\r\n" + kanji16 + "x\r\npc6\r\n");
    EXPECT_EQ(longName.names, (Names{"pc1", "pc2", "pc3", "pc4"}));
    EXPECT_EQ(longName.stop, ListStop::NameTooLong);
    EXPECT_EQ(longName.stopLine, 5u);
    // CR and LF do not count towards the length.
    EXPECT_EQ(NamesOf(std::string(32, 'b') + "\r\r\r\n"), Names{std::string(32, 'b')});
}

TEST(ListFileRead, LinesComeInPiecesOf249Bytes) {
    ListFileContents longLine = ReadListFile("pc1\n" + std::string(300, 'x') + "\npc2\n");
    EXPECT_EQ(longLine.names, Names{"pc1"});
    EXPECT_EQ(longLine.stop, ListStop::NameTooLong);
    EXPECT_EQ(longLine.stopLine, 2u);
    // 260 CRs and an LF read as 259 CRs and an LF: a piece of 249 CRs and one of 10 CRs and
    // the LF, each an empty name.
    EXPECT_EQ(NamesOf(std::string(260, '\r') + "\npc2\n"), (Names{"", "", "pc2"}));
    // 250 CRs and an LF: 249 CRs fill the buffer, so the LF comes alone and is skipped.
    EXPECT_EQ(NamesOf(std::string(250, '\r') + "\npc2"), (Names{"", "pc2"}));
}

TEST(ListFileRead, ImportLimit) {
    std::string file;
    for (int i = 1; i <= 250; ++i) file += "pc" + std::to_string(i) + "\r\n";
    EXPECT_EQ(ImportRoom(1, 200), 200u);
    EXPECT_EQ(ImportRoom(2, 200), 199u);
    EXPECT_EQ(ImportRoom(201, 200), 0u);
    EXPECT_EQ(ImportRoom(250, 200), 0u);

    ListFileContents intoEmpty = ReadListFile(file, ImportRoom(1, 200));
    ASSERT_EQ(intoEmpty.names.size(), 200u);
    EXPECT_EQ(intoEmpty.names.back(), "pc200");
    EXPECT_EQ(intoEmpty.stop, ListStop::LimitReached);
    EXPECT_EQ(intoEmpty.stopLine, 201u);
    EXPECT_EQ(ReadListFile(file, ImportRoom(2, 200)).names.size(), 199u);

    // The limit is tested before the length: a long name after a full list reports the limit.
    EXPECT_EQ(ReadListFile("pc1\n" + std::string(40, 'x'), 1).stop, ListStop::LimitReached);
    // Nothing follows but empty lines: the list is full, but no limit is reached.
    ListFileContents full = ReadListFile("pc1\npc2\n\n\r\n", 2);
    EXPECT_EQ(full.names.size(), 2u);
    EXPECT_EQ(full.stop, ListStop::EndOfInput);
    EXPECT_EQ(ReadListFile("", 0).stop, ListStop::EndOfInput);
    EXPECT_EQ(ReadListFile("pc1", 0).stop, ListStop::LimitReached);
}

TEST(ListFileWrite, EachNameAndCrLf) {
    EXPECT_EQ(FormatListFile({"localhost"}), "localhost\r\n");
    EXPECT_EQ(FormatListFile({"localhost"}).size(), 11u);
    EXPECT_EQ(FormatListFile({}), "");
    const Names names{" pc1 ", "", "日本語", "pc1"};
    EXPECT_EQ(FormatListFile(names), " pc1 \r\n\r\n日本語\r\npc1\r\n");
    // An empty name reads back as a skipped line; every other name comes back as written.
    EXPECT_EQ(NamesOf(FormatListFile(names)), (Names{" pc1 ", "日本語", "pc1"}));
}

// Files in memory; each operation can fail with a chosen error.
class FakeFiles : public ListFileSystem {
public:
    std::map<std::string, std::string> files;
    int createError = 0;
    int closeError = 0;
    int replaceError = 0;
    std::size_t writeLimit = std::string::npos;  // bytes written before Write fails with ENOSPC
    std::vector<std::string> log;

    int CreateTemporary(const std::string& target, std::string& temporary) override {
        temporary = target + ".new";
        log.push_back("create " + temporary);
        if (createError != 0) return createError;
        files[temporary].clear();
        open_ = temporary;
        return 0;
    }
    int Write(std::string_view bytes) override {
        std::string& file = files.at(open_);
        const std::size_t room = writeLimit - std::min(writeLimit, file.size());
        file.append(bytes.substr(0, room));
        return bytes.size() > room ? ENOSPC : 0;
    }
    int Close() override {
        log.push_back("close");
        open_.clear();
        return closeError;
    }
    int Replace(const std::string& from, const std::string& to) override {
        log.push_back("replace " + from + " " + to);
        if (replaceError != 0) return replaceError;
        files[to] = files.at(from);
        files.erase(from);
        return 0;
    }
    void Remove(const std::string& path) override {
        log.push_back("remove " + path);
        files.erase(path);
    }

private:
    std::string open_;
};

TEST(ListFileSave, ReplacesTheOldFileOnlyWhenAllIsWritten) {
    FakeFiles fake;
    fake.files["list.lst"] = "old1\r\nold2\r\n";
    const SaveResult saved = SaveListFile(fake, "list.lst", {"localhost", "pc1"});
    EXPECT_TRUE(saved.Ok());
    EXPECT_EQ(fake.files, (std::map<std::string, std::string>{{"list.lst", "localhost\r\npc1\r\n"}}));
    EXPECT_EQ(fake.log, (Names{"create list.lst.new", "close", "replace list.lst.new list.lst"}));
}

TEST(ListFileSave, AFailedStepLeavesTheOldFile) {
    const std::map<std::string, std::string> before{{"list.lst", "old1\r\nold2\r\n"}};
    struct Case {
        const char* what;
        void (*arrange)(FakeFiles&);
        SaveStep step;
        int error;
    };
    const Case cases[] = {
        {"create", [](FakeFiles& f) { f.createError = EACCES; }, SaveStep::Create, EACCES},
        {"write half-way", [](FakeFiles& f) { f.writeLimit = 14; }, SaveStep::Write, ENOSPC},
        {"close", [](FakeFiles& f) { f.closeError = EIO; }, SaveStep::Close, EIO},
        {"replace", [](FakeFiles& f) { f.replaceError = EPERM; }, SaveStep::Replace, EPERM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeFiles fake;
        fake.files = before;
        c.arrange(fake);
        const SaveResult saved = SaveListFile(fake, "list.lst", {"localhost", "pc1", "pc2"});
        EXPECT_FALSE(saved.Ok());
        EXPECT_EQ(saved.failed, c.step);
        EXPECT_EQ(saved.error, c.error);
        EXPECT_EQ(fake.files, before);  // the new file is gone again, the old one untouched
    }
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ListFileSave, StandardFileSystem) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kestrel_list_file_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "site.lst").string();
    {
        std::ofstream old(path, std::ios::binary);
        old << "a much longer old list that must not leave a tail\r\n";
    }
    {
        // Someone's own file that happens to have the name a save would try first.
        std::ofstream unrelated(path + ".new", std::ios::binary);
        unrelated << "not ours";
    }
    StdListFileSystem files;
    ASSERT_TRUE(SaveListFile(files, path, {"localhost", "PC01"}).Ok());
    EXPECT_EQ(ReadAll(path), "localhost\r\nPC01\r\n");
    EXPECT_EQ(ReadAll(path + ".new"), "not ours");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()),
              2);

    const SaveResult missing = SaveListFile(files, (dir / "no" / "site.lst").string(), {"pc"});
    EXPECT_EQ(missing.failed, SaveStep::Create);
    EXPECT_EQ(missing.error, ENOENT);

    // A directory in the way: the write succeeds, the replace fails and cleans up.
    std::filesystem::create_directories(dir / "busy.lst" / "inside");
    const SaveResult busy = SaveListFile(files, (dir / "busy.lst").string(), {"pc"});
    EXPECT_EQ(busy.failed, SaveStep::Replace);
    EXPECT_NE(busy.error, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "busy.lst.new"));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kestrel
