// One CSV or tab-separated field, as each output writes it.
#include "base/csv_field.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(CsvField, QuotesGuardsAndEscapesOnlyWhereNeeded) {
    constexpr CsvStyle kTerminal{',', true, true};
    constexpr CsvStyle kTabs{'\t', true, false};
    struct Case {
        const char* text;
        CsvStyle style;
        const char* field;
    };
    for (const Case& c : std::vector<Case>{
             {"tanaka", kTerminal, "tanaka"},
             {"", kTerminal, ""},
             {"2024/03/14 09:00:00  ", kTerminal, "\"2024/03/14 09:00:00  \""},  // blanks a spreadsheet drops
             {"a,b", kTerminal, "\"a,b\""},
             {"a,b", kTabs, "a,b"},
             {"a\tb", kTabs, "\"a\tb\""},
             {"say \"hi\"", kTerminal, "\"say \"\"hi\"\"\""},
             {"=1+1", kTerminal, "'=1+1"},
             {"-", kTerminal, "-"},
             {"-2+3", kRawCsv, "-2+3"},
             {"\x1b[2J", kTerminal, "\\x1b[2J"},
             {"\tx", kTerminal, "\\x09x"},  // escaped, it is no formula any more
             {"\tx", kTabs, "\"'\tx\""},
             {"a\r\nb", kRawCsv, "\"a\r\nb\""},
         }) {
        EXPECT_EQ(CsvField(c.text, c.style), c.field) << c.text;
    }
}

}  // namespace
}  // namespace kestrel
