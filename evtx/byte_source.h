#pragma once
// Where a log's bytes come from: positioned reads of a file, so that a log of
// any size is read a chunk at a time, or bytes already in memory.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#ifdef _WIN32
#include <cstdio>
#include <mutex>
#endif

namespace kestrel::evtx {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Copies up to `size` bytes from `offset`; returns how many there were.
    // Safe to call from several threads at once.
    virtual std::size_t ReadAt(std::uint64_t offset, void* to, std::size_t size) = 0;
    // The size when the source was opened.
    virtual std::uint64_t Size() const = 0;
    // The bytes in place, where the source holds them in memory; null otherwise.
    virtual const unsigned char* View(std::uint64_t /*offset*/, std::size_t /*size*/) const {
        return nullptr;
    }
};

class MemoryBytes final : public ByteSource {
public:
    // `data` stays alive and unchanged while the source is used.
    MemoryBytes(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t ReadAt(std::uint64_t offset, void* to, std::size_t size) override;
    std::uint64_t Size() const override { return size_; }
    const unsigned char* View(std::uint64_t offset, std::size_t size) const override {
        return offset <= size_ && size <= size_ - offset ? data_ + offset : nullptr;
    }

private:
    const unsigned char* data_;
    std::size_t size_;
};

class FileBytes final : public ByteSource {
public:
    FileBytes() = default;
    ~FileBytes() override;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    // False when the file cannot be opened for reading (a folder cannot).
    bool Open(const std::filesystem::path& path);
    std::size_t ReadAt(std::uint64_t offset, void* to, std::size_t size) override;
    std::uint64_t Size() const override { return size_; }

private:
#ifdef _WIN32
    std::FILE* file_ = nullptr;
    std::mutex mutex_;  // one position for every thread
#else
    int file_ = -1;  // read at positions, from any thread at once
#endif
    std::uint64_t size_ = 0;
};

}  // namespace kestrel::evtx
