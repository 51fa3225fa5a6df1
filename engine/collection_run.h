#pragma once
// One collection run: the Security log of every computer of the list, in list
// order, with a begin and an end line per computer in the run report, and a
// last line when a stop request ended it.
#include <atomic>
#include <functional>
#include <string>

#include "engine/app_settings.h"
#include "engine/log_reader.h"
#include "engine/ports.h"

namespace kestrel {

class CollectionRun {
public:
    CollectionRun(LogReader& reader, const CollectJob& job, std::string& runReport,
                  ComputerListPort& computers, ResultTablePort& results, ReportPort& report,
                  const std::atomic<bool>* stop = nullptr);

    // Returns 1, the thread's exit code.
    int Run();

    // One computer's part of a run: its begin line, its log, and its end line
    // or its failure line and the report shown. False when the read failed.
    bool ReadComputer(const std::string& name);

    // While *gather holds, a failed computer's report waits: Run shows it
    // once, whole, after the last computer.
    void GatherFailures(const std::atomic<bool>* gather) { gather_ = gather; }
    std::size_t Failures() const { return failures_; }
    // A stop request ended the run before its last computer was read whole.
    bool Stopped() const { return stopped_; }

    // The log read of each computer: "security" unless told otherwise.
    void UseLog(std::string logName) { logName_ = std::move(logName); }

    // Told the name of each computer before its log is read (the command-line
    // collector marks its rows with it).
    void OnComputer(std::function<void(const std::string&)> observer) { onComputer_ = std::move(observer); }

private:
    bool StopRequested() const { return stop_ != nullptr && stop_->load(std::memory_order_relaxed); }

    LogReader& reader_;
    const CollectJob& job_;
    std::string& report_;
    ComputerListPort& computers_;
    ResultTablePort& results_;
    ReportPort& reportDialog_;
    const std::atomic<bool>* stop_;
    const std::atomic<bool>* gather_ = nullptr;
    std::size_t failures_ = 0;
    bool reportWaiting_ = false;  // a failure no report has shown yet
    bool stopped_ = false;
    std::function<void(const std::string&)> onComputer_;
    std::string logName_ = "security";
};

}  // namespace kestrel
