#pragma once
// The --summary of kestrel-collect, written from the logon summary: an aligned
// table or JSON lines.
#include <ostream>

#include "analysis/logon_summary.h"
#include "analysis/summary_warnings.h"
#include "collector/output_text.h"

namespace kestrel {

// The accounts as an aligned table with a heading, then a warning line a
// flag, then a line a lockout; CR LF ended, each line through convert.
// Named: the warnings say which events they counted.
void WriteSummaryTable(const LogonSummary& summary, std::ostream& out, TextConverter convert,
                       const SummaryThresholds& thresholds, CountedEvents events = CountedEvents::Unnamed);

// One JSON object a line: the accounts, the guessing flags, the spraying
// flags (named: with the failures of each event), the lockouts.
void WriteSummaryJsonLines(const LogonSummary& summary, std::ostream& out,
                           const SummaryThresholds& thresholds,
                           CountedEvents events = CountedEvents::Unnamed);

}  // namespace kestrel
