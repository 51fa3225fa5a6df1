#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "collector/collect_options.h"
#include "collector/computer_list_input.h"
#include "collector/csv_line.h"
#include "collector/row_output.h"
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

// --help and --version stand alone: no computer needed, the rest unchecked;
// an unknown option still stops the parse where it stands.
TEST(CollectOptions, HelpAndVersionNeedNoComputer) {
    struct Case {
        std::vector<std::string> arguments;
        bool help;
        bool version;
        const char* error;
    };
    for (const Case& c : std::vector<Case>{
             {{"--version"}, false, true, ""},
             {{"--version", "--list", "a.lst", "pc"}, false, true, ""},
             {{"-h"}, true, false, ""},
             {{"--help", "--version"}, true, true, ""},
             {{"--version", "--frm"}, false, true, "unknown option --frm"},
             {{"--version", "--threads", "0"},
              false,
              true,
              "--threads: '0' is not a whole number from 1 to 64"},
         }) {
        const ParsedOptions parsed = ParseCollectOptions(c.arguments);
        EXPECT_EQ(parsed.options.help, c.help) << c.arguments[0];
        EXPECT_EQ(parsed.options.version, c.version) << c.arguments[0];
        EXPECT_EQ(parsed.error, c.error) << c.arguments.back();
    }
    EXPECT_NE(std::string(kCollectUsage).find("\n  --version "), std::string::npos);
}

// An option that takes a value says so when it comes last; one that takes
// none leaves the next word a computer's name.
TEST(CollectOptions, EachOptionTakesItsValueOrNone) {
    for (const char* name :
         {"--threads", "--jobs", "--timeout", "--guess-failures", "--spray-users", "--window", "--format",
          "--events", "--log", "--list", "--failed-list", "--report", "--log-dir", "--from", "--to"}) {
        EXPECT_EQ(ParseCollectOptions({"pc", name}).error, std::string(name) + " needs a value");
    }
    for (const char* name :
         {"--details", "--raw", "--messages", "--progress", "--no-progress", "--sessions", "--summary"}) {
        const ParsedOptions parsed = ParseCollectOptions({name, "pc"});
        EXPECT_EQ(parsed.options.computers, std::vector<std::string>{"pc"}) << name;
    }
    EXPECT_EQ(ParseCollectOptions({"-"}).options.computers, std::vector<std::string>{"-"});
}

TEST(CollectOptions, ThreadCount) {
    EXPECT_EQ(ParseCollectOptions({"pc"}).options.threads, 0u);
    EXPECT_EQ(ParseCollectOptions({"--threads", "1", "pc"}).options.threads, 1u);
    const auto parsed = ParseCollectOptions({"pc", "--threads", "64"});
    EXPECT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.threads, 64u);
    EXPECT_EQ(parsed.options.computers, std::vector<std::string>{"pc"});
    EXPECT_EQ(ParseCollectOptions({"pc", "--threads"}).error, "--threads needs a value");
    for (const char* bad :
         {"0", "65", "-1", "+4", " 4", "4 ", "4x", "", "0x10", "2.5", "4294967297", "99999999999999999999"}) {
        EXPECT_EQ(ParseCollectOptions({"--threads", bad, "pc"}).error,
                  std::string("--threads: '") + bad + "' is not a whole number from 1 to 64")
            << bad;
    }
    EXPECT_NE(std::string(kCollectUsage).find("--threads N"), std::string::npos);
}

TEST(CollectOptions, OutputsAndTheirCombinations) {
    const auto jsonSessions = ParseCollectOptions({"--format", "jsonl", "--sessions", "--jobs", "3", "pc"});
    EXPECT_EQ(jsonSessions.error, "");
    EXPECT_EQ(jsonSessions.options.format, OutputFormat::JsonLines);
    EXPECT_EQ(jsonSessions.options.shape, OutputShape::Sessions);
    EXPECT_EQ(jsonSessions.options.jobs, 3u);
    const auto summary = ParseCollectOptions({"--summary", "--window", "5", "--spray-users", "3", "pc"});
    EXPECT_EQ(summary.error, "");
    EXPECT_EQ(summary.options.windowMinutes, 5u);
    EXPECT_EQ(summary.options.sprayUsers, 3u);
    EXPECT_EQ(summary.options.guessFailures, 10u);
    // The report's warnings take the thresholds too, beside any output.
    const auto report =
        ParseCollectOptions({"--report", "r.html", "--window", "5", "--format", "jsonl", "pc"});
    EXPECT_EQ(report.error, "");
    EXPECT_EQ(report.options.report, "r.html");
    EXPECT_EQ(report.options.windowMinutes, 5u);
    // Any spelling of Security is the log the program reads; other names stay as given.
    EXPECT_EQ(ParseCollectOptions({"--log", "SECURITY", "pc"}).options.log, "security");
    EXPECT_EQ(ParseCollectOptions({"--log", "ForwardedEvents", "pc"}).options.log, "ForwardedEvents");

    struct Case {
        std::vector<std::string> arguments;
        std::string error;
    };
    for (const Case& c : std::vector<Case>{
             {{"--format", "xml", "pc"}, "--format: 'xml' is no format: give csv, jsonl, ecs or timesketch"},
             {{"--format", "ecs", "--sessions", "pc"},
              "--format ecs writes the rows: not --sessions or --summary"},
             {{"--summary", "--format", "timesketch", "pc"},
              "--format timesketch writes the rows: not --sessions or --summary"},
             {{"--details", "--format", "ecs", "pc"},
              "--details adds CSV columns: JSON lines hold those keys already"},
             {{"--format"}, "--format needs a value"},
             {{"--details", "--format", "jsonl", "pc"},
              "--details adds CSV columns: JSON lines hold those keys already"},
             {{"--details", "--sessions", "pc"},
              "--details adds columns to the rows, not to --sessions or --summary"},
             {{"--sessions", "--summary", "pc"}, "give --sessions or --summary, not both"},
             {{"--window", "10", "pc"}, "--window sets a threshold of --summary or --report"},
             {{"--report"}, "--report needs a value"},
             {{"--report", "r.html", "--failed-list", "r.html", "pc"},
              "--report and --failed-list name the same file"},
             {{"--summary", "--guess-failures", "0", "pc"},
              "--guess-failures: '0' is not a whole number from 1 to 1000000"},
             {{"--jobs", "257", "pc"}, "--jobs: '257' is not a whole number from 1 to 256"},
             {{"--timeout", "-1", "pc"}, "--timeout: '-1' is not a whole number from 0 to 86400"},
             {{"--messages", "--sessions", "pc"},
              "--messages adds each event's message to the rows, not to --sessions or --summary"},
             {{"--messages", "pc"}, "--messages adds a column to --details (or a key to the JSON formats)"},
             {{"--events", "4624,4647", "pc"},
              "--events: '4647' is no event that can be read: give logon, all or IDs from "
              "4624,4625,4634,4648,4672,4740,4768,4769,4771,4776,4778,4779"},
             {{"--events", "4771,", "pc"},
              "--events: '' is no event that can be read: give logon, all or IDs from "
              "4624,4625,4634,4648,4672,4740,4768,4769,4771,4776,4778,4779"},
             {{"--log", "../Security", "pc"}, "--log: '../Security' is no log name"},
             {{"--log", "a/b", "pc"}, "--log: 'a/b' is no log name"},
             {{"--log", "", "pc"}, "--log: '' is no log name"},
         }) {
        EXPECT_EQ(ParseCollectOptions(c.arguments).error, c.error) << c.arguments[0];
    }
}

TEST(CsvRowOutput, RowsCarryTheirComputerAndQuoting) {
    auto same = [](std::string_view s, std::string& line) { line += s; };
    std::string out;
    CsvRowOutput::AppendHeader(same, false, out);
    CsvRowOutput output(same, false);
    InsertionTable strings{};
    EventLogRecord record{};
    char message[] = "";
    const LogEvent event{record, "\\\\PC01", "src", message, "security", "", 4624, strings};
    TableRow row{};
    row[1] = "2013/06/01 09:05:07  ";
    row[2] = "ログオン";
    row[4] = "Smith, \"Bob\"";
    row[6] = "4624";
    output.BeginComputer(0, "PC01");
    output.Event(event, &row, out);
    output.Event(event, nullptr, out);  // dropped by the table
    output.BeginComputer(1, "SV01");
    row = {};
    output.Event(event, &row, out);
    EXPECT_EQ(out,
              "コンピュータ,時刻,ログオン,ログオフ,ユーザ名,コンピュータ名,イベントID,タイプ\r\n"
              "PC01,\"2013/06/01 09:05:07  \",ログオン,,\"Smith, \"\"Bob\"\"\",,4624,\r\n"
              "SV01,,,,,,,\r\n");
}

TEST(OutputText, Cp932BecomesUtf8) {
    EXPECT_EQ(ToOutputText("ascii only"), "ascii only");
    EXPECT_EQ(ToOutputText("ﾛｸﾞ"), "\xEF\xBE\x9B\xEF\xBD\xB8\xEF\xBE\x9E");  // half-width katakana
    EXPECT_EQ(ToOutputText(std::string("a\x81", 2)), "a?");                  // a lead byte with no trail
}

TEST(ComputerListInput, NamesLineByLineAndEveryFaultAtOnce) {
    struct Case {
        std::string bytes;
        std::vector<std::string> names;
        const char* error;
    };
    const std::string longest(32, 'x');
    for (const Case& c : std::vector<Case>{
             {"pc1\r\npc2\npc3\rpc4", {"pc1", "pc2", "pc3", "pc4"}, ""},
             {"\r\n\n\r\r\n pc1 \r\n\r\n", {" pc1 "}, ""},
             {longest + "\n" + "あいう", {longest, "あいう"}, ""},
             {"pc1\n" + longest + "y\npc3", {}, "line 2 names a computer of more than 32 bytes"},
             {"pc1\x1apc2", {}, "line 1 holds an end-of-file byte (0x1A)"},
             {"\xEF\xBB\xBFpc1", {}, "it begins with a Unicode byte-order mark"},
             {"\xFF\xFEp\0c\0", {}, "it begins with a Unicode byte-order mark"},
             {std::string("pc1\r\np\0c\0", 9), {}, "line 2 holds a NUL byte"},
         }) {
        SCOPED_TRACE(c.bytes.substr(0, 20));
        // Byte by byte too: a read may end anywhere.
        for (const std::size_t piece : {c.bytes.size(), std::size_t{1}}) {
            ComputerListParser parser;
            bool sound = true;
            for (std::size_t at = 0; sound && at < c.bytes.size(); at += piece) {
                sound = parser.Feed(std::string_view(c.bytes).substr(at, piece));
            }
            sound = sound && parser.Finish();
            EXPECT_EQ(sound, *c.error == 0);
            EXPECT_EQ(parser.Error().substr(0, std::strlen(c.error)), c.error);
            if (sound) {
                EXPECT_EQ(parser.Names(), c.names);
            }
        }
    }

    ComputerListParser parser;
    std::string names;
    for (std::size_t i = 0; i <= kMaxListedComputers; ++i) names += "a\n";
    EXPECT_FALSE(parser.Feed(names));
    EXPECT_EQ(parser.Error(), "it names more than 1000000 computers");
}

TEST(ComputerListInput, OnlyAReadableFileIsAList) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("kestrel_list_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "site.lst", std::ios::binary) << "PC01\r\nPC02\r\n";
    std::vector<std::string> names;
    std::string error;
    EXPECT_TRUE(ReadComputerListFile((folder / "site.lst").string(), names, error));
    EXPECT_EQ(names, (std::vector<std::string>{"PC01", "PC02"}));
    for (const auto& [path, message] : std::vector<std::pair<std::string, std::string>>{
             {folder.string(), " is a folder, not a file"},
             {"/dev/zero", " is a device, not a file"},
             {(folder / "none.lst").string(), "No such file or directory"}}) {
        EXPECT_FALSE(ReadComputerListFile(path, names, error));
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace kestrel::testing
