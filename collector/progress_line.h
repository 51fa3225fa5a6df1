#pragma once
// Standard error while a run goes: the run report, and under it, when shown,
// one line that says how far the run has got, rewritten in place: computers
// done of all, failed, rows, the time so far and about how long is left. The
// two never mix: the line is taken away before report lines are written and
// drawn again after them, and it is gone when the run ends.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

namespace kestrel {

class ProgressLine {
public:
    // shown: standard error is a terminal, or --progress said so.
    ProgressLine(std::ostream& err, std::size_t computers, bool shown);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Report text, written above the line.
    void Write(const std::string& text);
    void ComputerDone(bool failed);
    void AddRow() { rows_.fetch_add(1, std::memory_order_relaxed); }
    // Takes the line away for good.
    void End();

    // "12/2000 computers, 1 failed, 4,567 rows, 0:01:05, about 0:10:12 left".
    static std::string Text(std::size_t done, std::size_t computers, std::size_t failed, std::uint64_t rows,
                            std::int64_t seconds);

private:
    void Tick();
    void Draw();   // with mutex_ held
    void Erase();  // with mutex_ held

    std::ostream& err_;
    const std::size_t computers_;
    const bool shown_;
    const std::int64_t start_;  // seconds of a steady clock
    std::atomic<std::uint64_t> rows_{0};
    std::mutex mutex_;
    std::condition_variable wake_;
    std::size_t done_ = 0, failed_ = 0;
    std::size_t drawn_ = 0;  // width of the line on screen
    bool ended_ = false;
    std::thread ticker_;  // redraws the time as it passes
};

}  // namespace kestrel
