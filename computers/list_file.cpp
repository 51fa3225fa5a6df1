#include "computers/list_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace kestrel {

namespace {

// The import reads with a 250-byte buffer: at most 249 bytes a line.
constexpr std::size_t kLinePiece = 249;

// The bytes as the C library's text mode hands them on: CR LF reads as LF and
// 0x1A ends the input.
class TextModeInput {
public:
    explicit TextModeInput(std::string_view bytes) : bytes_(bytes) {}

    // The next byte, or -1 at the end.
    int Next() {
        if (pos_ >= bytes_.size() || bytes_[pos_] == '\x1a') return -1;
        if (bytes_[pos_] == '\r' && pos_ + 1 < bytes_.size() && bytes_[pos_ + 1] == '\n') ++pos_;
        return static_cast<unsigned char>(bytes_[pos_++]);
    }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

int LastErrno() { return errno != 0 ? errno : EIO; }

}  // namespace

ListFileContents ReadListFile(std::string_view bytes, std::size_t maxNames) {
    ListFileContents out;
    TextModeInput input(bytes);
    std::size_t line = 1;
    std::string piece;
    for (;;) {
        piece.clear();
        int c = 0;
        while (piece.size() < kLinePiece && (c = input.Next()) >= 0) {
            piece.push_back(static_cast<char>(c));
            if (c == '\n') break;
        }
        if (piece.empty()) break;
        const std::size_t pieceLine = line;
        if (piece.back() == '\n') ++line;

        // The line is used as a C string: a NUL byte ends its text.
        const std::string_view text(piece.c_str());
        if (text == "\n") continue;
        if (out.names.size() >= maxNames) {
            out.stop = ListStop::LimitReached;
            out.stopLine = pieceLine;
            return out;
        }
        std::string name;
        for (char ch : text) {
            if (ch != '\r' && ch != '\n') name.push_back(ch);
        }
        if (name.size() > kMaxListNameBytes) {
            out.stop = ListStop::NameTooLong;
            out.stopLine = pieceLine;
            return out;
        }
        out.names.push_back(std::move(name));
    }
    return out;
}

std::size_t ImportRoom(std::size_t itemCount, std::size_t maxComputer) {
    return itemCount > maxComputer ? 0 : maxComputer - itemCount + 1;
}

std::string FormatListFile(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) {
        out += name;
        out += "\r\n";
    }
    return out;
}

SaveResult SaveListFile(ListFileSystem& files, const std::string& path,
                        const std::vector<std::string>& names) {
    return SaveWholeFile(files, path, FormatListFile(names));
}

SaveResult SaveWholeFile(ListFileSystem& files, const std::string& path, std::string_view bytes) {
    std::string temporary;
    if (const int error = files.CreateTemporary(path, temporary)) return {SaveStep::Create, error};
    if (const int error = files.Write(bytes)) {
        files.Close();
        files.Remove(temporary);
        return {SaveStep::Write, error};
    }
    if (const int error = files.Close()) {
        files.Remove(temporary);
        return {SaveStep::Close, error};
    }
    if (const int error = files.Replace(temporary, path)) {
        files.Remove(temporary);
        return {SaveStep::Replace, error};
    }
    return {};
}

StdListFileSystem::~StdListFileSystem() { Close(); }

int StdListFileSystem::CreateTemporary(const std::string& target, std::string& temporary) {
    Close();
    // "x": never opens a file that is already there, which may be someone's.
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = target + ".new" + (attempt == 0 ? std::string() : std::to_string(attempt));
        errno = 0;
        file_ = std::fopen(temporary.c_str(), "wbx");
        if (file_ != nullptr) return 0;
        if (errno != EEXIST) break;
    }
    return LastErrno();
}

int StdListFileSystem::Write(std::string_view bytes) {
    if (file_ == nullptr) return EBADF;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), static_cast<std::FILE*>(file_)) != bytes.size()) {
        return LastErrno();
    }
    return 0;
}

int StdListFileSystem::Close() {
    if (file_ == nullptr) return 0;
    auto* file = static_cast<std::FILE*>(file_);
    file_ = nullptr;
    errno = 0;
    int result = std::fflush(file) == 0 ? 0 : LastErrno();
    errno = 0;
    if (std::fclose(file) != 0 && result == 0) result = LastErrno();
    return result;
}

int StdListFileSystem::Replace(const std::string& from, const std::string& to) {
    std::error_code error;
    std::filesystem::rename(from, to, error);
    return error.value();
}

void StdListFileSystem::Remove(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

}  // namespace kestrel
