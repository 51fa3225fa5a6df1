#pragma once
// The computer list file: one name per line in the ANSI code page. Reading
// follows the C library's text mode and the 250-byte line buffer of the import,
// so a file imports the same names everywhere; writing gives each name and CR LF.
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// A name longer than this, in bytes, stops an import.
inline constexpr std::size_t kMaxListNameBytes = 32;

enum class ListStop {
    EndOfInput,    // every line was read
    NameTooLong,   // a name of more than kMaxListNameBytes bytes
    LimitReached,  // another name followed when no more could be taken
};

struct ListFileContents {
    std::vector<std::string> names;  // in file order, up to the stop
    ListStop stop = ListStop::EndOfInput;
    std::size_t stopLine = 0;  // line (from 1) that stopped the read; 0 at the end
};

// Reads a list file's bytes. At most maxNames names are taken; a further line
// stops the read with LimitReached before its length is looked at.
ListFileContents ReadListFile(std::string_view bytes,
                              std::size_t maxNames = std::numeric_limits<std::size_t>::max());

// How many names an import may still add to a tree of itemCount items (root
// included): it adds while the count is not above maxComputer.
std::size_t ImportRoom(std::size_t itemCount, std::size_t maxComputer);

// The file's bytes for names: each name followed by CR LF, nothing else.
std::string FormatListFile(const std::vector<std::string>& names);

// The file operations a save needs. Each returns 0 or the platform's error
// code for the failure (errno natively, GetLastError on Windows).
class ListFileSystem {
public:
    virtual ~ListFileSystem() = default;
    // Creates a new, empty file in the folder of target under a name that no
    // file had, opens it for writing and gives its name in temporary.
    virtual int CreateTemporary(const std::string& target, std::string& temporary) = 0;
    // Appends to the open file; it may have written part when it fails.
    virtual int Write(std::string_view bytes) = 0;
    // Flushes and closes the open file (a late write error shows here).
    virtual int Close() = 0;
    // Puts the file from in place of to, replacing any file there.
    virtual int Replace(const std::string& from, const std::string& to) = 0;
    virtual void Remove(const std::string& path) = 0;
};

enum class SaveStep { None, Create, Write, Close, Replace };

struct SaveResult {
    SaveStep failed = SaveStep::None;
    int error = 0;  // the platform's code for the failed step
    bool Ok() const { return failed == SaveStep::None; }
};

// Writes names to a new file beside path and puts it in place of path only
// when every byte is written, so a failed save leaves the old file as it was.
SaveResult SaveListFile(ListFileSystem& files, const std::string& path,
                        const std::vector<std::string>& names);

// The same for any bytes: a report, say, that must never be left half written.
SaveResult SaveWholeFile(ListFileSystem& files, const std::string& path, std::string_view bytes);

// ListFileSystem over the C++ standard library, for the native tools.
class StdListFileSystem : public ListFileSystem {
public:
    ~StdListFileSystem() override;
    // target + ".new", or + ".new1", ".new2" ... when that name is taken.
    int CreateTemporary(const std::string& target, std::string& temporary) override;
    int Write(std::string_view bytes) override;
    int Close() override;
    int Replace(const std::string& from, const std::string& to) override;
    void Remove(const std::string& path) override;

private:
    void* file_ = nullptr;  // std::FILE*
};

}  // namespace kestrel
