#include "evtx/byte_source.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace kestrel::evtx {
namespace {

bool SeekTo(std::FILE* file, std::uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

}  // namespace

std::size_t MemoryBytes::ReadAt(std::uint64_t offset, void* to, std::size_t size) {
    if (offset >= size_) return 0;
    const std::size_t count = std::min<std::uint64_t>(size, size_ - offset);
    std::memcpy(to, data_ + offset, count);
    return count;
}

FileBytes::~FileBytes() {
    if (file_ != nullptr) std::fclose(file_);
}

bool FileBytes::Open(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return false;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) return false;
#ifdef _WIN32
    file_ = _wfopen(path.c_str(), L"rb");
#else
    file_ = std::fopen(path.c_str(), "rb");
#endif
    if (file_ == nullptr) return false;
    // Chunks are read whole; the stream's own buffer would only copy them twice.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    size_ = size;
    return true;
}

std::size_t FileBytes::ReadAt(std::uint64_t offset, void* to, std::size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ == nullptr || !SeekTo(file_, offset)) return 0;
    return std::fread(to, 1, size, file_);
}

}  // namespace kestrel::evtx
