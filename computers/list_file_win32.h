#pragma once
// The list file's save over the Win32 file functions; each step forwards to
// the system and answers GetLastError.
#include <windows.h>

#include "computers/list_file.h"
#include "framework/scoped_handles.h"

namespace kestrel {

class Win32ListFileSystem final : public ListFileSystem {
public:
    Win32ListFileSystem() = default;
    Win32ListFileSystem(const Win32ListFileSystem&) = delete;
    Win32ListFileSystem& operator=(const Win32ListFileSystem&) = delete;
    ~Win32ListFileSystem() override;

    // A name of GetTempFileNameA's in target's folder: the system makes
    // sure no file had it.
    int CreateTemporary(const std::string& target, std::string& temporary) override;
    int Write(std::string_view bytes) override;
    int Close() override;
    // MoveFileExA, replacing and writing through; a read-only file is
    // refused as the system refuses to write it.
    int Replace(const std::string& from, const std::string& to) override;
    void Remove(const std::string& path) override;

private:
    ScopedHandle file_;
};

}  // namespace kestrel
