#include <gtest/gtest.h>

#include <sstream>

#include "collector/collect_options.h"
#include "collector/csv_table.h"
#include "collector/output_text.h"
#include "tests/native/test_time_zone.h"

namespace kestrel::testing {
namespace {

TEST(CollectOptions, NamesDatesAndFolder) {
    TimeZone tz("Europe/Berlin");
    const auto parsed = ParseCollectOptions(
        {"--from", "2013-03-31", "--to", "2013-10-27", "PC01", "--log-dir", "/logs", "SV01"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.computers, (std::vector<std::string>{"PC01", "SV01"}));
    EXPECT_EQ(parsed.options.from, Local(2013, 3, 31));
    EXPECT_EQ(parsed.options.to, Local(2013, 10, 27));
    EXPECT_EQ(parsed.options.logDir, "/logs");
    EXPECT_FALSE(parsed.options.help);
}

TEST(CollectOptions, ErrorsAreClear) {
    struct Case {
        std::vector<std::string> arguments;
        const char* error;
    };
    for (const Case& c : std::vector<Case>{
             {{}, "no computer given"},
             {{"--list"}, "--list needs a value"},
             {{"--frm", "x"}, "unknown option --frm"},
             {{"--from", "2013-02-30", "pc"}, "--from: '2013-02-30' is not a date of the form YYYY-MM-DD"},
             {{"--to", "13-1-1", "pc"}, "--to: '13-1-1' is not a date of the form YYYY-MM-DD"},
             {{"--list", "a.lst", "pc"}, "give computer names or --list, not both"},
             {{"--from", "2013-06-02", "--to", "2013-06-01", "pc"}, "--to lies before --from"},
         }) {
        EXPECT_EQ(ParseCollectOptions(c.arguments).error, c.error);
    }
    EXPECT_EQ(ParseCollectOptions({"--from", "2013-06-01", "--to", "2013-06-01", "pc"}).error, "");
    EXPECT_TRUE(ParseCollectOptions({"--help"}).options.help);
}

TEST(CollectOptions, ThreadCount) {
    EXPECT_EQ(ParseCollectOptions({"pc"}).options.threads, 0u);
    EXPECT_EQ(ParseCollectOptions({"--threads", "1", "pc"}).options.threads, 1u);
    const auto parsed = ParseCollectOptions({"pc", "--threads", "64"});
    EXPECT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.threads, 64u);
    EXPECT_EQ(parsed.options.computers, std::vector<std::string>{"pc"});
    EXPECT_EQ(ParseCollectOptions({"pc", "--threads"}).error, "--threads needs a value");
    for (const char* bad : {"0", "65", "-1", "+4", " 4", "4 ", "4x", "", "0x10", "2.5",
                            "4294967297", "99999999999999999999"}) {
        EXPECT_EQ(ParseCollectOptions({"--threads", bad, "pc"}).error,
                  std::string("--threads: '") + bad + "' is not a whole number from 1 to 64")
            << bad;
    }
    EXPECT_NE(std::string(kCollectUsage).find("--threads N"), std::string::npos);
}

TEST(CsvTable, RowsCarryTheirComputerAndQuoting) {
    CsvTable table;
    table.SetComputer("PC01");
    table.InsertItem(0, 3);
    table.SetItemText(0, 1, "2013/06/01 09:05:07  ");
    table.SetItemText(0, 2, "ログオン");
    table.SetItemText(0, 4, "Smith, \"Bob\"");
    table.SetItemText(0, 6, "4624");
    table.SetComputer("SV01");
    table.InsertItem(1, 4);
    table.SetItemText(1, 9, "ignored");
    std::ostringstream out;
    table.Write(out, [](std::string_view s, std::string& line) { line += s; });
    EXPECT_EQ(out.str(),
              "コンピュータ,時刻,ログオン,ログオフ,ユーザ名,コンピュータ名,イベントID,タイプ\r\n"
              "PC01,\"2013/06/01 09:05:07  \",ログオン,,\"Smith, \"\"Bob\"\"\",,4624,\r\n"
              "SV01,,,,,,,\r\n");
    table.DeleteAllItems();
    EXPECT_EQ(table.ItemCount(), 0);
}

const std::string kHeaderLine =
    "コンピュータ,時刻,ログオン,ログオフ,ユーザ名,コンピュータ名,イベントID,タイプ\r\n";

TEST(CsvTable, StreamsEachRowOnceItIsComplete) {
    std::ostringstream out;
    CsvTable table(out, [](std::string_view s, std::string& line) { line += s; });
    EXPECT_EQ(out.str(), kHeaderLine);
    table.DeleteAllItems();  // as a run begins: no second header
    EXPECT_EQ(out.str(), kHeaderLine);

    table.SetComputer("PC01");
    table.InsertItem(0, 3);
    table.SetItemText(0, 1, "t1");
    table.SetItemText(0, 4, "smith");
    EXPECT_EQ(out.str(), kHeaderLine);  // still being filled
    table.InsertItem(1, 3);
    EXPECT_EQ(out.str(), kHeaderLine + "PC01,t1,,,smith,,,\r\n");
    table.SetItemText(0, 5, "too late");  // a written row takes no more text
    table.SetItemText(1, 2, "ログオン");
    table.SetItemText(1, 8, "no such column");
    EXPECT_EQ(table.ItemCount(), 2);
    table.SetComputer("SV01");  // completes the row, which keeps its computer
    table.InsertItem(99, 4);    // any index: the row follows the others
    table.SetItemText(2, 3, "ログオフ");
    EXPECT_EQ(table.ItemCount(), 3);
    table.DeleteAllItems();  // completes the row; the count starts again
    EXPECT_EQ(table.ItemCount(), 0);
    table.InsertItem(0, 3);
    table.SetItemText(0, 1, " padded ");
    EXPECT_EQ(table.ItemCount(), 1);
    table.Flush();
    table.Flush();  // nothing twice
    EXPECT_EQ(out.str(), kHeaderLine +
                             "PC01,t1,,,smith,,,\r\n"
                             "PC01,,ログオン,,,,,\r\n"
                             "SV01,,,ログオフ,,,,\r\n"
                             "SV01,\" padded \",,,,,,\r\n");
}

TEST(OutputText, Cp932BecomesUtf8) {
    EXPECT_EQ(ToOutputText("ascii only"), "ascii only");
    EXPECT_EQ(ToOutputText("ﾛｸﾞ"), "\xEF\xBE\x9B\xEF\xBD\xB8\xEF\xBE\x9E");  // half-width katakana
    EXPECT_EQ(ToOutputText(std::string("a\x81", 2)), "a?");  // a lead byte with no trail
}

}  // namespace
}  // namespace kestrel::testing
