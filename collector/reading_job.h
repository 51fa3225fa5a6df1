#pragma once
// The parallel read of kestrel-collect: jobs that each take the next computer
// of the list, read its log with their own reader and hand its events to
// their own output, the ordered output putting the text in list order.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/event_details.h"
#include "analysis/event_set.h"
#include "collector/collect_options.h"
#include "collector/event_output.h"
#include "collector/ordered_output.h"
#include "collector/progress_line.h"
#include "collector/row_capture.h"
#include "engine/classification.h"
#include "engine/collection_run.h"
#include "engine/log_reader.h"
#include "platform/cached_message_modules.h"

namespace kestrel {

// What every job of a run shares.
struct ReadingShared {
    const ReaderServices& services;
    const CollectJob& job;
    const CollectOptions& options;
    OrderedOutput& ordered;
    ProgressLine& progress;
    // With --messages, each computer's modules stay loaded while it is read.
    bool keepModules;
};

class ReadingJob {
public:
    ReadingJob(const ReadingShared& shared, std::unique_ptr<EventOutput> output);

    void Read(std::size_t index, const std::string& name);

private:
    class NoList final : public ComputerListPort {
    public:
        std::vector<std::string> ComputerNames() override { return {}; }
    };
    // A failed computer is written with its report by the ordered output.
    class NoDialog final : public ReportPort {
    public:
        void ShowReport() override {}
    };

    ReaderServices WithModules(const ReaderServices& s, bool keepModules);
    void HandOn(const LogEvent& event);
    const TableRow& OtherRow(const LogEvent& event);

    std::unique_ptr<EventOutput> output_;
    OrderedOutput& ordered_;
    ProgressLine& progress_;
    CachedMessageModules modules_;
    std::string report_;
    std::string text_;
    std::size_t index_ = 0;
    RowCapture row_;
    EventClassifier classifier_{row_};
    NoList noList_;
    NoDialog noDialog_;
    LogReader reader_;
    CollectionRun run_;
    EventSet events_;
    EventDetails details_;
    TableRow otherRow_;  // the columns of the log-on kinds stay empty
};

// Reads every computer of names, on jobs threads at once (one: on this
// thread), each job with an output of its own from makeOutput.
void ReadComputers(const std::vector<std::string>& names, unsigned jobs, const ReadingShared& shared,
                   const std::function<std::unique_ptr<EventOutput>()>& makeOutput);

}  // namespace kestrel
