#pragma once
// Why the reader passed something over, and where: every chunk, record or
// template it does not read carries one, so that tests and fuzz findings can
// say what was wrong with the bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrel::evtx {

enum class Reason : std::uint8_t {
    None,
    Truncated,           // a field or a stretch of bytes runs past its end
    NotAnEventLog,       // the file does not begin with the file signature
    ChunkUnreadable,     // the file could not be read there (shorter than when opened)
    ChunkHeaderDamaged,  // no chunk signature, or a header checksum that does not match
    RecordDamaged,       // a record's signature or its two sizes do not agree
    BadToken,            // binary XML with a token that has no meaning there
    BadName,             // a name that lies outside its chunk
    BadTemplate,         // a template that is damaged, or that uses itself
    TooDeep,             // templates or elements nested beyond what a real event has
    TooMuchWork,         // a record that asks for more work or text than any event
};

const char* ReasonText(Reason reason);

struct Fault {
    Reason reason = Reason::None;
    std::uint64_t offset = 0;  // in the file

    explicit operator bool() const { return reason != Reason::None; }
};

// What a reader passed over: every fault counted, the first few kept.
class PassedOver {
public:
    static constexpr std::size_t kKept = 64;

    void Add(const Fault& fault) {
        ++count_;
        if (kept_.size() < kKept) kept_.push_back(fault);
    }
    void Append(const PassedOver& other) {
        for (const Fault& fault : other.kept_) Add(fault);
        count_ += other.count_ - other.kept_.size();
    }
    void Clear() {
        count_ = 0;
        kept_.clear();
    }
    std::uint64_t Count() const { return count_; }
    const std::vector<Fault>& Kept() const { return kept_; }

private:
    std::uint64_t count_ = 0;
    std::vector<Fault> kept_;
};

}  // namespace kestrel::evtx
