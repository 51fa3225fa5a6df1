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

#include "analysis/logon_summary.h"
#include "collector/ecs_output.h"
#include "collector/row_output.h"
#include "collector/session_output.h"
#include "collector/summary_output.h"
#include "collector/timesketch_output.h"
#include "tests/fakes/output_checks.h"

using namespace kestrel;
using namespace kestrel::testing;

namespace {

void Same(std::string_view text, std::string& out) { out += text; }

// A finding, not a crash: abort so that the fuzzer keeps the input.
void Check(std::string_view text, bool csv) {
    if (ControlBytes(text) != 0 || (csv && FormulaFields(text) != 0)) std::abort();
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
    TableRow row{};
    for (std::size_t k = 1; k < row.size() && k + 1 < texts.size(); ++k) row[k] = texts[k + 1];
    const bool kept = (data[0] & 4) != 0;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        std::string out;
        outputs[i]->Event(event, kept ? &row : nullptr, out);
        Check(out, i < csvOutputs);
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
    EcsRowOutput ecs("Security", true);
    TimesketchRowOutput timesketch(true);
    std::vector<EventOutput*> outputs = {&csv, &csvSessions, &json, &sessions, &ecs, &timesketch};
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
    WriteSummaryTable(summary, out, Same, SummaryThresholds{2, 2, 600});
    WriteSummaryJsonLines(summary, out, SummaryThresholds{2, 2, 600});
    Check(out.str(), false);
    return 0;
}
