#include "collector/reading_job.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <thread>

namespace kestrel {
namespace {

// Each computer's text goes to the ordered output in pieces this large.
constexpr std::size_t kWriteSize = 64 * 1024;

bool IsTableEvent(std::uint32_t id) { return id == 4624 || id == 4625 || id == 4634; }

bool IsReadable(std::uint32_t id) {
    return std::find(std::begin(kReadableEvents), std::end(kReadableEvents), id) != std::end(kReadableEvents);
}

}  // namespace

ReadingJob::ReadingJob(const ReadingShared& shared, std::unique_ptr<EventOutput> output)
    : output_(std::move(output)),
      ordered_(shared.ordered),
      progress_(shared.progress),
      modules_(shared.services.modules, shared.services.errors),
      reader_(WithModules(shared.services, shared.keepModules), shared.job, report_,
              [this](const LogEvent& event) { HandOn(event); }),
      run_(reader_, shared.job, report_, noList_, row_, noDialog_),
      events_(shared.options.events) {
    run_.UseLog(shared.options.log);
    reader_.ResolveMessageText(shared.options.messages);
}

void ReadingJob::Read(std::size_t index, const std::string& name) {
    index_ = index;
    output_->BeginComputer(index, name);
    const bool read = run_.ReadComputer(name);
    modules_.Forget();  // the computer is done
    ordered_.Write(index, text_);
    ordered_.Finish(index, std::move(report_), !read, reader_.PassedOverCount() > 0);
    report_.clear();
}

ReaderServices ReadingJob::WithModules(const ReaderServices& s, bool keepModules) {
    return {s.eventLog,
            s.memory,
            s.errors,
            s.systemTime,
            s.fatal,
            s.registry,
            keepModules ? modules_ : s.modules};
}

void ReadingJob::HandOn(const LogEvent& event) {
    const TableRow* row = nullptr;
    const EventDetails* details = nullptr;  // read once, for the output too
    if (IsTableEvent(event.eventId)) {
        if (events_.Has(event.eventId) && classifier_.InsertEventMessage(event) == 1) row = &row_.Texts();
    } else if (events_.Has(event.eventId)) {
        if (ReadEventDetails(event, details_)) {
            row = &OtherRow(event);
            details = &details_;
        }
    } else if (IsReadable(event.eventId)) {
        return;  // not asked for: as if the log did not hold it
    }
    if (row != nullptr) progress_.AddRow();
    output_->Event(event, row, details, text_);
    if (text_.size() >= kWriteSize) ordered_.Write(index_, text_);
}

// The table's columns of an event the table does not show: its time,
// account and event ID.
const TableRow& ReadingJob::OtherRow(const LogEvent& event) {
    otherRow_[kColumnTime] = event.timeText;
    otherRow_[kColumnUser] = details_.user;
    otherRow_[kColumnDomain] = details_.domain;
    otherRow_[kColumnEventId] = std::to_string(details_.eventId);
    return otherRow_;
}

void ReadComputers(const std::vector<std::string>& names, unsigned jobs, const ReadingShared& shared,
                   const std::function<std::unique_ptr<EventOutput>()>& makeOutput) {
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        ReadingJob reading(shared, makeOutput());
        for (std::size_t index; (index = next.fetch_add(1)) < names.size();)
            reading.Read(index, names[index]);
    };
    if (jobs <= 1) {
        work();
        return;
    }
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < jobs; ++i) workers.emplace_back(work);
    for (std::thread& worker : workers) worker.join();
}

}  // namespace kestrel
