#pragma once
// Bounds-checked little-endian reads over bytes that came from outside. A
// read that does not fit fails, leaves the cursor where it was and records
// the first fault (with its offset in the file), so that a caller can give up
// with a reason instead of reading past the end.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace kestrel {

// A fixed field of a header: where it lies and what it holds.
template <typename T>
struct HeaderField {
    std::size_t offset;
};

// What a cursor records when a read does not fit, for a caller with no
// reasons of its own. A format with more reasons gives its own fault type: a
// `reason` with None and Truncated, an `offset`, and a test for being set.
struct ReadFault {
    enum class Reason : std::uint8_t { None, Truncated };
    Reason reason = Reason::None;
    std::uint64_t offset = 0;  // in the file

    explicit operator bool() const { return reason != Reason::None; }
};

template <typename Fault = ReadFault>
class ByteCursor {
public:
    using Reason = decltype(Fault::reason);

    // `fileOffset` is where data[0] lies in the file, for faults.
    ByteCursor(const unsigned char* data, std::size_t size, std::uint64_t fileOffset = 0)
        : data_(data), size_(size), fileOffset_(fileOffset) {}

    std::size_t Pos() const { return pos_; }
    std::size_t Size() const { return size_; }
    std::size_t Left() const { return size_ - pos_; }
    bool Fits(std::size_t bytes) const { return bytes <= size_ - pos_; }
    const Fault& LastFault() const { return fault_; }
    const unsigned char* Data() const { return data_; }

    bool Seek(std::size_t pos) {
        if (pos > size_) return Fail(Reason::Truncated, pos);
        pos_ = pos;
        return true;
    }
    bool Skip(std::size_t bytes) {
        if (!Fits(bytes)) return Fail(Reason::Truncated, pos_);
        pos_ += bytes;
        return true;
    }

    // Reads a little-endian integer and moves past it.
    template <typename T>
    bool Read(T& value) {
        static_assert(std::is_integral_v<T>);
        if (!Fits(sizeof(T))) return Fail(Reason::Truncated, pos_);
        std::memcpy(&value, data_ + pos_, sizeof(T));  // every target is little-endian
        pos_ += sizeof(T);
        return true;
    }

    // Reads at an offset without moving.
    template <typename T>
    bool At(std::size_t offset, T& value) const {
        static_assert(std::is_integral_v<T>);
        if (offset > size_ || sizeof(T) > size_ - offset) return Fail(Reason::Truncated, offset);
        std::memcpy(&value, data_ + offset, sizeof(T));
        return true;
    }
    template <typename T>
    bool At(HeaderField<T> field, T& value) const {
        return At(field.offset, value);
    }

    // `bytes` bytes from here, and moves past them.
    bool Take(std::size_t bytes, const unsigned char*& at) {
        if (!Fits(bytes)) return Fail(Reason::Truncated, pos_);
        at = data_ + pos_;
        pos_ += bytes;
        return true;
    }

    // Records a fault other than running out of bytes; returns false.
    bool Fail(Reason reason, std::size_t offset) const {
        if (!fault_) fault_ = {reason, fileOffset_ + offset};
        return false;
    }

private:
    const unsigned char* data_;
    std::size_t size_;
    std::uint64_t fileOffset_;
    std::size_t pos_ = 0;
    mutable Fault fault_;
};

// Reads a field of bytes already known to be large enough for it (a whole
// header whose size was checked once).
template <typename T>
T FieldOf(const unsigned char* header, HeaderField<T> field) {
    T value;
    std::memcpy(&value, header + field.offset, sizeof(T));
    return value;
}

}  // namespace kestrel
