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
    table.Write(out, [](const std::string& s) { return s; });
    EXPECT_EQ(out.str(),
              "コンピュータ,時刻,ログオン,ログオフ,ユーザ名,コンピュータ名,イベントID,タイプ\r\n"
              "PC01,\"2013/06/01 09:05:07  \",ログオン,,\"Smith, \"\"Bob\"\"\",,4624,\r\n"
              "SV01,,,,,,,\r\n");
    table.DeleteAllItems();
    EXPECT_EQ(table.ItemCount(), 0);
}

TEST(OutputText, Cp932BecomesUtf8) {
    EXPECT_EQ(ToOutputText("ascii only"), "ascii only");
    EXPECT_EQ(ToOutputText("ﾛｸﾞ"), "\xEF\xBE\x9B\xEF\xBD\xB8\xEF\xBE\x9E");  // half-width katakana
    EXPECT_EQ(ToOutputText(std::string("a\x81", 2)), "a?");  // a lead byte with no trail
}

}  // namespace
}  // namespace kestrel::testing
