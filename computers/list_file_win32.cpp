#include "computers/list_file_win32.h"

#include <algorithm>

namespace kestrel {
namespace {

int LastError() {
    const DWORD error = ::GetLastError();
    return error != NO_ERROR ? static_cast<int>(error) : ERROR_GEN_FAILURE;
}

}  // namespace

Win32ListFileSystem::~Win32ListFileSystem() { Close(); }

int Win32ListFileSystem::CreateTemporary(const std::string& target, std::string& temporary) {
    Close();
    // The folder part as the system sees it; it knows where double-byte
    // names end.
    char full[MAX_PATH] = {};
    char* name = nullptr;
    const DWORD length = ::GetFullPathNameA(target.c_str(), sizeof full, full, &name);
    if (length == 0) return LastError();
    if (length >= sizeof full) return ERROR_FILENAME_EXCED_RANGE;
    if (name == nullptr) return ERROR_PATH_NOT_FOUND;  // target names a folder
    *name = '\0';

    char created[MAX_PATH] = {};
    if (::GetTempFileNameA(full, "kst", 0, created) == 0) return LastError();
    temporary = created;
    file_.Reset(
        ::CreateFileA(created, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        const int error = LastError();
        ::DeleteFileA(created);
        return error;
    }
    return 0;
}

int Win32ListFileSystem::Write(std::string_view bytes) {
    if (!file_) return ERROR_INVALID_HANDLE;
    while (!bytes.empty()) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(file_.Get(), bytes.data(), piece, &written, nullptr)) return LastError();
        if (written == 0) return ERROR_WRITE_FAULT;
        bytes.remove_prefix(written);
    }
    return 0;
}

int Win32ListFileSystem::Close() {
    if (!file_) return 0;
    int result = ::FlushFileBuffers(file_.Get()) ? 0 : LastError();
    if (!file_.Close() && result == 0) result = LastError();
    return result;
}

int Win32ListFileSystem::Replace(const std::string& from, const std::string& to) {
    // Windows refuses to replace a read-only file; Wine would replace it.
    const DWORD attributes = ::GetFileAttributesA(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return ERROR_ACCESS_DENIED;
    if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
    return LastError();
}

void Win32ListFileSystem::Remove(const std::string& path) { ::DeleteFileA(path.c_str()); }

}  // namespace kestrel
