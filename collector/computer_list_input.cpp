#include "collector/computer_list_input.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "computers/list_file.h"

namespace kestrel {
namespace {

constexpr char kNotAnsi[] = ": save it as text in the ANSI code page (Shift-JIS), one name a line";

}  // namespace

bool ComputerListParser::Feed(std::string_view bytes) {
    for (const char c : bytes) {
        if (!Byte(c)) return false;
        ++offset_;
    }
    return true;
}

bool ComputerListParser::Finish() {
    if (!error_.empty()) return false;
    return name_.empty() || EndLine();
}

bool ComputerListParser::Byte(char c) {
    if (!error_.empty()) return false;
    // Byte-order marks stand at the very start: UTF-8, then either UTF-16.
    if ((offset_ == 2 && name_ == "\xEF\xBB" && c == '\xBF') ||
        (offset_ == 1 && (name_ == "\xFF" || name_ == "\xFE") && (c == '\xFE' || c == '\xFF') &&
         c != name_[0])) {
        return Fail(std::string("it begins with a Unicode byte-order mark") + kNotAnsi);
    }
    const bool lineFeedOfCrLf = afterCr_ && c == '\n';
    afterCr_ = c == '\r';
    switch (c) {
        case '\x1a':
            return Fail("line " + std::to_string(line_) + " holds an end-of-file byte (0x1A)");
        case '\0':
            return Fail("line " + std::to_string(line_) + " holds a NUL byte" + kNotAnsi);
        case '\n':
            return lineFeedOfCrLf || EndLine();
        case '\r':
            return EndLine();
        default:
            name_ += c;
            if (name_.size() > kMaxListNameBytes) {
                return Fail("line " + std::to_string(line_) + " names a computer of more than " +
                            std::to_string(kMaxListNameBytes) + " bytes");
            }
            return true;
    }
}

bool ComputerListParser::EndLine() {
    if (!name_.empty()) {
        if (names_.size() == kMaxListedComputers) {
            return Fail("it names more than " + std::to_string(kMaxListedComputers) + " computers");
        }
        names_.push_back(std::move(name_));
        name_.clear();
    }
    ++line_;
    return true;
}

bool ComputerListParser::Fail(std::string why) {
    error_ = std::move(why);
    return false;
}

bool ReadComputerListFile(const std::string& path, std::vector<std::string>& names, std::string& error) {
    const std::string file = "the list file " + path;
    std::error_code status;
    const std::filesystem::file_status kind = std::filesystem::status(path, status);
    if (std::filesystem::is_directory(kind)) {
        error = file + " is a folder, not a file";
        return false;
    }
    // A pipe (--list /dev/stdin) is read like a file; a device is not.
    if (!status && !std::filesystem::is_regular_file(kind) && !std::filesystem::is_fifo(kind)) {
        error = file + " is a device, not a file";
        return false;
    }
    errno = 0;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        error = "cannot read " + file + ": " + std::strerror(errno != 0 ? errno : ENOENT);
        return false;
    }
    ComputerListParser parser;
    char buffer[65536];
    std::size_t got = 0;
    bool sound = true;
    while (sound && (got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        sound = parser.Feed(std::string_view(buffer, got));
    }
    const bool readError = sound && std::ferror(in) != 0;
    std::fclose(in);
    if (readError) {
        error = "cannot read " + file;
        return false;
    }
    if (!sound || !parser.Finish()) {
        error = file + ": " + parser.Error();
        return false;
    }
    names = parser.TakeNames();
    return true;
}

}  // namespace kestrel
