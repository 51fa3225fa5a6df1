// kestrel-collect's outputs over events whose insertion strings came from
// another computer. Events are split at 0xFE 0xFE markers; in each, the first
// byte picks the event ID and whether the table kept it, the next four are the
// time, then come NUL-separated texts: the time text, the record's computer
// name and the insertion strings. Whatever the texts, no output may hold a
// control byte but its line ends, nor a CSV field a spreadsheet would run.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "collector/logon_summary.h"
#include "collector/row_output.h"
#include "collector/session_output.h"

using namespace kestrel;

namespace {

void Same(std::string_view text, std::string& out) { out += text; }

void CheckNoControls(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool lineEnd = c == '\n' || text.substr(i, 2) == "\r\n";
        if ((c < 0x20 || c == 0x7f) && !lineEnd) std::abort();
    }
}

// Fields split at commas outside quotes; the quotes themselves are not part of a field.
void CheckNoFormulas(std::string_view csv) {
    std::string field;
    bool quoted = false;
    auto check = [&] {
        // A negative number (seconds of a session whose clock went back) is no formula.
        const bool number = field.size() > 1 && field[0] == '-' &&
                            field.find_first_not_of("0123456789", 1) == std::string::npos;
        if (field != "-" && !number && !field.empty() && std::strchr("=+-@\t\r", field[0]) != nullptr) {
            std::abort();
        }
        field.clear();
    };
    for (std::size_t i = 0; i < csv.size(); ++i) {
        const char c = csv[i];
        if (quoted && c == '"' && csv.substr(i, 2) == "\"\"") {
            field += csv[++i];
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == ',' || c == '\r' || c == '\n')) {
            check();
        } else {
            field += c;
        }
    }
    check();
}

void Feed(const std::uint8_t* data, std::size_t size, std::vector<EventOutput*>& outputs,
          std::size_t csvOutputs, LogonSummary& summary, std::uint32_t recordId) {
    if (size < 5) return;
    static constexpr std::uint32_t kIds[] = {4624, 4625, 4634, 4647};
    EventLogRecord record{};
    record.EventID = kIds[data[0] & 3];
    record.RecordNumber = recordId;
    std::memcpy(&record.TimeGenerated, data + 1, 4);
    std::vector<std::string> texts(1);
    for (std::size_t i = 5; i < size && texts.size() < 40; ++i) {
        if (data[i] == 0) {
            texts.emplace_back();
        } else {
            texts.back() += static_cast<char>(data[i]);
        }
    }
    texts.resize(std::max<std::size_t>(texts.size(), 2));
    InsertionTable strings{};
    for (std::size_t i = 2; i < texts.size(); ++i) strings[i - 2] = texts[i].c_str();
    std::string message = "m";
    const LogEvent event{record,           "\\\\pc",       "src",   message.data(),  "security",
                         texts[0].c_str(), record.EventID, strings, texts[1].c_str()};
    // The table's texts are insertion strings too.
    std::array<std::string, 8> row{};
    for (std::size_t k = 1; k < row.size() && k + 1 < texts.size(); ++k) row[k] = texts[k + 1];
    const bool kept = (data[0] & 4) != 0;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        std::string out;
        outputs[i]->Event(event, kept ? &row : nullptr, out);
        CheckNoControls(out);
        if (i < csvOutputs) CheckNoFormulas(out);
    }
    EventDetails details;
    if (kept && ReadEventDetails(event, details)) summary.Add("pc", details);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CsvRowOutput csv(Same, true);
    SessionOutput csvSessions(false, Same);
    JsonRowOutput json;
    SessionOutput sessions(true, Same);
    std::vector<EventOutput*> outputs = {&csv, &csvSessions, &json, &sessions};
    for (EventOutput* output : outputs) output->BeginComputer(0, "pc");
    LogonSummary summary;
    std::uint32_t recordId = 1000000;
    std::size_t start = 0;
    for (std::size_t i = 0; i + 2 <= size; ++i) {
        if (data[i] == 0xFE && data[i + 1] == 0xFE) {
            Feed(data + start, i - start, outputs, 2, summary, --recordId);
            start = i + 2;
            ++i;
        }
    }
    Feed(data + start, size - start, outputs, 2, summary, --recordId);
    std::ostringstream out;
    summary.WriteTable(out, Same, SummaryThresholds{2, 2, 600});
    summary.WriteJsonLines(out, SummaryThresholds{2, 2, 600});
    CheckNoControls(out.str());
    return 0;
}
