#pragma once
// What a run of kestrel-collect writes, as one kind: its heading before any
// log is read, an output for each reading job, and its end once every job is
// done (the summary's lines, which need every computer's rows).
#include <cstddef>
#include <memory>
#include <ostream>
#include <string>

#include "collector/collect_options.h"
#include "collector/event_output.h"

namespace kestrel {

class RunOutput {
public:
    virtual ~RunOutput() = default;
    // The heading in the output's encoding; most kinds have none.
    virtual void AppendHeading(std::string&) const {}
    // The output of one reading job; jobs share nothing through it.
    virtual std::unique_ptr<EventOutput> JobOutput() = 0;
    // After every job: what the kind writes of the whole run.
    virtual void WriteEnd(std::ostream&) {}
};

// The kind the options ask for; computers: how many the run reads.
std::unique_ptr<RunOutput> MakeRunOutput(const CollectOptions& options, std::size_t computers);

}  // namespace kestrel
