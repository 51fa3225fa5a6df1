#include "collector/ordered_output.h"

#include "base/control_escape.h"
#include "collector/output_text.h"

namespace kestrel {

OrderedOutput::OrderedOutput(std::ostream& out, std::ostream& err, std::size_t computers, std::string report,
                             std::size_t keepLimit)
    : out_(out), err_(err), keepLimit_(keepLimit), slots_(computers), report_(std::move(report)) {}

void OrderedOutput::Write(std::size_t index, std::string& text) {
    std::unique_lock lock(mutex_);
    if (index == head_) {
        out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    } else {
        Slot& slot = slots_[index];
        slot.kept += text;
        // Advance writes what was kept when this computer's turn comes.
        turn_.wait(lock, [&] { return index == head_ || slot.kept.size() <= keepLimit_; });
    }
    text.clear();
}

void OrderedOutput::Finish(std::size_t index, std::string report, bool failed, bool passedOver) {
    std::lock_guard lock(mutex_);
    Slot& slot = slots_[index];
    slot.report = std::move(report);
    slot.failed = failed;
    slot.passedOver = passedOver;
    slot.finished = true;
    if (progress_ != nullptr) progress_->ComputerDone(failed);
    if (index == head_) Advance();
}

void OrderedOutput::Advance() {
    while (head_ < slots_.size()) {
        Slot& slot = slots_[head_];
        if (!slot.kept.empty()) {
            out_.write(slot.kept.data(), static_cast<std::streamsize>(slot.kept.size()));
            std::string().swap(slot.kept);
        }
        if (!slot.finished) break;
        // A reader of the pipe sees each computer's rows as soon as they are
        // all there, and the rows before a failure before its report.
        out_.flush();
        report_ += slot.report;
        std::string().swap(slot.report);
        if (slot.passedOver) ++passedOver_;
        if (slot.failed) {
            ++failures_;
            failed_.push_back(head_);
            WriteReport();
        }
        ++head_;
    }
    turn_.notify_all();
}

void OrderedOutput::End() {
    std::lock_guard lock(mutex_);
    out_.flush();
    WriteReport();
}

void OrderedOutput::WriteReport() {
    const std::string text = ToOutputText(EscapedLines(report_));
    report_.clear();
    if (progress_ != nullptr) {
        progress_->Write(text);
    } else {
        err_ << text;
    }
    err_.flush();
}

}  // namespace kestrel
