#pragma once
// The computer names of --list, read as a stream: memory stays small however
// large the file, and the read stops at the first fault it meets, which is
// said with its line. Stricter than the window's import, which keeps the C
// library's text-mode reading: a CR alone ends a line too, and a byte-order
// mark, a NUL or an end-of-file byte (0x1A) is an error, not part of a name
// or a silent end.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// Far above any real site; a file with more names is refused.
inline constexpr std::size_t kMaxListedComputers = 1000000;

class ComputerListParser {
public:
    // The next bytes of the file; false once a fault was met (see Error).
    bool Feed(std::string_view bytes);
    // The end of the file; false on a fault.
    bool Finish();

    const std::vector<std::string>& Names() const { return names_; }
    std::vector<std::string> TakeNames() { return std::move(names_); }
    // Why the read stopped, for "the list file F ..."; empty without a fault.
    const std::string& Error() const { return error_; }

private:
    bool Byte(char c);
    bool EndLine();
    bool Fail(std::string why);

    std::vector<std::string> names_;
    std::string name_;
    std::size_t line_ = 1;
    std::size_t offset_ = 0;  // bytes fed so far
    bool afterCr_ = false;    // the last byte ended a line with CR
    std::string error_;
};

// Reads the list file at path. False with a message naming the file when it
// is a folder, a device or unreadable, or when the parser refuses it.
bool ReadComputerListFile(const std::string& path, std::vector<std::string>& names, std::string& error);

}  // namespace kestrel
