#include "collector/progress_line.h"

#include <cstdio>

namespace kestrel {
namespace {

// The time as it passes; <chrono> itself cannot be compiled with the
// program's execution character set, the clock of <thread> can.
std::int64_t SteadySeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string Clock(std::int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

// 4567 as "4,567".
std::string Grouped(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t at = 0; at < digits.size(); ++at) {
        if (at > 0 && (digits.size() - at) % 3 == 0) grouped += ',';
        grouped += digits[at];
    }
    return grouped;
}

}  // namespace

ProgressLine::ProgressLine(std::ostream& err, std::size_t computers, bool shown)
    : err_(err), computers_(computers), shown_(shown), start_(SteadySeconds()) {
    if (shown_) ticker_ = std::thread([this] { Tick(); });
}

ProgressLine::~ProgressLine() { End(); }

std::string ProgressLine::Text(std::size_t done, std::size_t computers, std::size_t failed,
                               std::uint64_t rows, std::int64_t seconds) {
    std::string text = std::to_string(done) + "/" + std::to_string(computers) + " computers, " +
                       std::to_string(failed) + " failed, " + Grouped(rows) + " rows, " + Clock(seconds);
    // What is left goes as the computers done went.
    if (done > 0 && done < computers) {
        text +=
            ", about " +
            Clock(seconds * static_cast<std::int64_t>(computers - done) / static_cast<std::int64_t>(done)) +
            " left";
    }
    return text;
}

void ProgressLine::Write(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    Erase();
    err_ << text;
    Draw();
}

void ProgressLine::ComputerDone(bool failed) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    failed_ += failed ? 1 : 0;
    Draw();
}

void ProgressLine::End() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (ended_) return;
        Erase();
        ended_ = true;
    }
    wake_.notify_all();
    if (ticker_.joinable()) ticker_.join();
}

void ProgressLine::Tick() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!ended_) {
        Draw();
        wake_.wait_for(lock, std::chrono::milliseconds(500));
    }
}

void ProgressLine::Draw() {
    if (!shown_ || ended_) return;
    const std::string text =
        "kestrel-collect: " + Text(done_, computers_, failed_, rows_.load(), SteadySeconds() - start_);
    // Blanks over what a longer line left, and back to its start.
    const std::size_t width = text.size();
    err_ << '\r' << text << std::string(drawn_ > width ? drawn_ - width : 0, ' ') << '\r';
    err_.flush();
    drawn_ = width;
}

void ProgressLine::Erase() {
    if (!shown_ || drawn_ == 0) return;
    err_ << '\r' << std::string(drawn_, ' ') << '\r';
    drawn_ = 0;
}

}  // namespace kestrel
