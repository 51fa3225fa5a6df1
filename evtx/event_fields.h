#pragma once
// The fields of one event taken out of its record's binary XML: the System
// values, the insertion strings (every Data of EventData; below UserData
// every attribute and every element without elements inside) and the Binary.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "evtx/binxml.h"
#include "evtx/event.h"
#include "evtx/fault.h"
#include "evtx/template_plan.h"
#include "evtx/values.h"

namespace kestrel::evtx {

class Chunk;

// The insertion strings of the record being read. Room is made before a text
// is written and only what was written counts, so a text goes in with one
// size check and no clearing.
class Texts {
public:
    char* Room(std::size_t bytes) {
        if (capacity_ - size_ < bytes || capacity_ == 0) Grow(bytes);
        return data_.get() + size_;
    }
    void Commit(const char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }
    void Push(char c) {
        *Room(1) = c;
        ++size_;
    }
    void Truncate(std::size_t size) { size_ = size; }
    std::size_t Size() const { return size_; }
    const char* Data() const { return data_.get(); }

private:
    void Grow(std::size_t bytes);

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// Room one decoding thread keeps from record to record, so that reading a
// record allocates nothing once the first few have been read.
struct DecodeScratch {
    std::array<std::vector<Token>, kMaxNesting + 1> tokens;  // streams outside templates, per level
    std::array<std::vector<Value>, kMaxNesting + 1> values;
    std::string sourceName;
    Texts strings;
};

// Reads the record of `chunk` at `offset` (checked by the chunk's scan) into
// `out`. False, with the reason in `why`, when its contents are damaged
// beyond reading.
bool ReadEventFields(Chunk& chunk, std::uint32_t offset, std::uint32_t size, DecodeScratch& scratch,
                     Event& out, Fault& why);

}  // namespace kestrel::evtx
