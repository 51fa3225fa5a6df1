#include "platform/win32/win32_services.h"

#include <cstring>

namespace kestrel {

static_assert(sizeof(SYSTEMTIME) == sizeof(SystemTime));

EventLogService::Handle Win32EventLog::Open(const char* uncServerName, const char* logName) {
    return OpenEventLogA(uncServerName, logName);
}

bool Win32EventLog::Read(Handle log, std::uint32_t flags, std::uint32_t recordOffset, void* buffer,
                         std::uint32_t bufferSize, std::uint32_t& bytesRead, std::uint32_t& minBytesNeeded) {
    DWORD read = 0;
    DWORD needed = 0;
    const BOOL ok =
        ReadEventLogA(static_cast<HANDLE>(log), flags, recordOffset, buffer, bufferSize, &read, &needed);
    bytesRead = read;
    minBytesNeeded = needed;
    return ok != FALSE;
}

void Win32EventLog::Close(Handle log) { CloseEventLog(static_cast<HANDLE>(log)); }

void* Win32Memory::AllocateZeroed(std::size_t bytes) { return LocalAlloc(LMEM_ZEROINIT, bytes); }

bool Win32Memory::Release(void* block) { return LocalFree(block) == nullptr; }

std::uint32_t Win32Errors::LastError() { return GetLastError(); }

void Win32Errors::SetLastError(std::uint32_t code) { ::SetLastError(code); }

std::string Win32Errors::SystemText(std::uint32_t code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
        code, LANG_USER_DEFAULT, reinterpret_cast<char*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) return UnknownErrorText(code);
    std::string result(text, length);
    LocalFree(text);
    return result;
}

bool Win32SystemTime::ToFileTime(const SystemTime& time) {
    SYSTEMTIME system;
    static_assert(sizeof system == sizeof time);
    std::memcpy(&system, &time, sizeof system);
    FILETIME file;
    return SystemTimeToFileTime(&system, &file) != FALSE;
}

void Win32FatalStop::Stop(const char* text, const char* caption) {
    MessageBoxA(owner_ != nullptr ? owner_() : nullptr, text, caption, MB_OK | MB_ICONSTOP);
    ExitProcess(1);
}

}  // namespace kestrel
