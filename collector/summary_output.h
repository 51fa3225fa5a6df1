#pragma once
// The --summary of kestrel-collect, written from the logon summary: an aligned
// table or JSON lines.
#include <ostream>

#include "analysis/logon_summary.h"
#include "collector/output_text.h"

namespace kestrel {

// The accounts as an aligned table with a heading, then a warning line a
// flag; CR LF ended, each line through convert.
void WriteSummaryTable(const LogonSummary& summary, std::ostream& out, TextConverter convert,
                       const SummaryThresholds& thresholds);

// One JSON object a line: the accounts, the guessing flags, the spraying flags.
void WriteSummaryJsonLines(const LogonSummary& summary, std::ostream& out,
                           const SummaryThresholds& thresholds);

}  // namespace kestrel
