#include "evtx/byte_source.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kestrel::evtx {

std::size_t MemoryBytes::ReadAt(std::uint64_t offset, void* to, std::size_t size) {
    if (offset >= size_) return 0;
    const std::size_t count = std::min<std::uint64_t>(size, size_ - offset);
    std::memcpy(to, data_ + offset, count);
    return count;
}

#ifdef _WIN32

FileBytes::~FileBytes() {
    if (file_ != nullptr) std::fclose(file_);
}

bool FileBytes::Open(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return false;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) return false;
    file_ = _wfopen(path.c_str(), L"rb");
    if (file_ == nullptr) return false;
    // Chunks are read whole; the stream's own buffer would only copy them twice.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    size_ = size;
    return true;
}

std::size_t FileBytes::ReadAt(std::uint64_t offset, void* to, std::size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ == nullptr || _fseeki64(file_, static_cast<long long>(offset), SEEK_SET) != 0) return 0;
    return std::fread(to, 1, size, file_);
}

#else

FileBytes::~FileBytes() {
    if (file_ >= 0) ::close(file_);
}

bool FileBytes::Open(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return false;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) return false;
    file_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file_ < 0) return false;
    size_ = size;
    return true;
}

std::size_t FileBytes::ReadAt(std::uint64_t offset, void* to, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got =
            ::pread(file_, static_cast<char*>(to) + done, size - done, static_cast<off_t>(offset + done));
        if (got <= 0) break;  // the end, or an error: what was read counts
        done += static_cast<std::size_t>(got);
    }
    return done;
}

#endif

}  // namespace kestrel::evtx
