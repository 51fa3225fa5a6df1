#pragma once
// Output of computers read at once, written as if they had been read one
// after another: each computer's text and report lines in list order. The
// first unfinished computer writes straight through; the others keep their
// text until their turn, and a computer that has kept too much waits for it,
// so memory stays bounded however long the logs are.
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "collector/progress_line.h"

namespace kestrel {

class OrderedOutput {
public:
    // report: the run report's lines so far (CP932), written at the first
    // failure or at the end, with their control characters escaped: they
    // carry names from the logs, and standard error is often a terminal.
    OrderedOutput(std::ostream& out, std::ostream& err, std::size_t computers, std::string report,
                  std::size_t keepLimit = std::size_t{8} << 20);

    // Text of computer index, in its output encoding; takes text's contents.
    void Write(std::size_t index, std::string& text);
    // The computer is done: its report lines (CP932), whether its log failed
    // and whether damaged stretches of it were passed over.
    void Finish(std::size_t index, std::string report, bool failed, bool passedOver = false);
    // The report lines not written yet; call once every computer is finished.
    void End();

    int Failures() const { return failures_; }
    int PassedOver() const { return passedOver_; }
    // The computers that failed, in list order; complete after End.
    const std::vector<std::size_t>& Failed() const { return failed_; }

    // Report lines go above progress's line, and progress hears of each
    // computer done. Before the first Write or Finish.
    void ShowProgress(ProgressLine& progress) { progress_ = &progress; }

private:
    struct Slot {
        std::string kept;
        std::string report;
        bool finished = false;
        bool failed = false;
        bool passedOver = false;
    };
    void Advance();
    void WriteReport();

    std::ostream& out_;
    std::ostream& err_;
    std::size_t keepLimit_;
    std::mutex mutex_;
    std::condition_variable turn_;
    std::vector<Slot> slots_;
    std::size_t head_ = 0;  // the first unfinished computer
    std::string report_;    // report lines waiting for a failure or the end
    int failures_ = 0;
    int passedOver_ = 0;
    std::vector<std::size_t> failed_;
    ProgressLine* progress_ = nullptr;
};

}  // namespace kestrel
