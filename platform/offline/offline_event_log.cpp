#include "platform/offline/offline_event_log.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <type_traits>

#include "platform/event_log_record.h"
#include "platform/offline/utf16_cp932.h"
#include "platform/win32_errors.h"

namespace kestrel {

struct OfflineEventLog::OpenLog {
    std::vector<unsigned char> bytes;
    evtx::File file;
    std::size_t served = 0;  // records handed out or skipped so far
    evtx::Event event;
    std::vector<unsigned char> pending;  // encoded, but did not fit the last buffer
};

namespace {

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

unsigned char Fold(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

// A file name as CP932 bytes, whatever the platform keeps names in.
std::string NameOf(const std::filesystem::path& path) {
    if constexpr (std::is_same_v<std::filesystem::path::value_type, wchar_t>) {
        const std::wstring wide = path.filename().wstring();
        return Utf16ToCp932(std::u16string(wide.begin(), wide.end()));
    } else {
        return Utf8ToCp932(path.filename().string());
    }
}

// The entry of `folder` whose name equals `name` without regard to case.
bool FindEntry(const std::filesystem::path& folder, const std::string& name, bool directory,
               std::filesystem::path& found) {
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) return false;
    for (const auto& entry : entries) {
        const bool isDirectory = entry.is_directory(error);
        if (error || isDirectory != directory) continue;
        if (!directory && !entry.is_regular_file(error)) continue;
        if (SameNameIgnoringCase(NameOf(entry.path()), name)) {
            found = entry.path();
            return true;
        }
    }
    return false;
}

void Put32(std::vector<unsigned char>& out, std::size_t at, std::uint32_t value) {
    std::memcpy(out.data() + at, &value, sizeof value);
}

void PadToFour(std::vector<unsigned char>& out) {
    while (out.size() % 4 != 0) out.push_back(0);
}

}  // namespace

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (IsLeadByte(x) && i + 1 < a.size()) {
            if (x != y || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (Fold(x) != Fold(y)) return false;
    }
    return true;
}

void EncodeEventLogRecord(const evtx::Event& event, std::vector<unsigned char>& out) {
    out.assign(sizeof(EventLogRecord), 0);
    out.insert(out.end(), event.source.begin(), event.source.end());
    out.push_back(0);
    out.insert(out.end(), event.computer.begin(), event.computer.end());
    out.push_back(0);
    PadToFour(out);
    const auto sidOffset = static_cast<std::uint32_t>(out.size());
    // NumStrings is 16 bits: strings beyond that many are left out.
    std::size_t stringBytes = event.strings.size();
    std::uint32_t count = event.stringCount;
    if (count > 0xFFFF) {
        count = 0xFFFF;
        std::size_t at = 0;
        for (std::uint32_t i = 0; i < count; ++i) at = event.strings.find('\0', at) + 1;
        stringBytes = at;
    }
    out.insert(out.end(), event.strings.begin(), event.strings.begin() + static_cast<std::ptrdiff_t>(stringBytes));
    const auto dataOffset = static_cast<std::uint32_t>(out.size());
    out.insert(out.end(), event.data.begin(), event.data.end());
    PadToFour(out);
    out.resize(out.size() + 4);
    const auto length = static_cast<std::uint32_t>(out.size());

    EventLogRecord header{};
    header.Length = length;
    header.Reserved = kEventLogRecordSignature;
    header.RecordNumber = static_cast<std::uint32_t>(event.recordId);
    header.TimeGenerated = event.timeGenerated;
    header.TimeWritten = event.timeWritten;
    header.EventID = event.eventId;
    header.EventType = event.eventType;
    header.NumStrings = static_cast<std::uint16_t>(count);
    header.EventCategory = event.category;
    header.StringOffset = sidOffset;
    header.UserSidLength = 0;
    header.UserSidOffset = sidOffset;
    header.DataLength = static_cast<std::uint32_t>(event.data.size());
    header.DataOffset = dataOffset;
    std::memcpy(out.data(), &header, sizeof header);
    Put32(out, length - 4, length);
}

OfflineEventLog::OfflineEventLog(ErrorService& errors, std::filesystem::path folder)
    : errors_(errors), folder_(std::move(folder)) {}

OfflineEventLog::~OfflineEventLog() {
    for (OpenLog* log : open_) delete log;
}

EventLogService::Handle OfflineEventLog::Open(const char* uncServerName, const char* logName) {
    if (uncServerName == nullptr || logName == nullptr) {
        errors_.SetLastError(kErrorInvalidParameter);
        return nullptr;
    }
    std::string computer = uncServerName;
    std::size_t skip = 0;
    while (skip < 2 && skip < computer.size() && computer[skip] == '\\') ++skip;
    computer.erase(0, skip);
    std::filesystem::path computerFolder;
    if (computer.empty() || !FindEntry(folder_, computer, true, computerFolder)) {
        errors_.SetLastError(kRpcServerUnavailable);
        return nullptr;
    }
    std::filesystem::path file;
    if (!FindEntry(computerFolder, std::string(logName) + ".evtx", false, file)) {
        errors_.SetLastError(kErrorFileNotFound);
        return nullptr;
    }
    auto log = std::make_unique<OpenLog>();
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        errors_.SetLastError(kErrorAccessDenied);
        return nullptr;
    }
    log->bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        errors_.SetLastError(kErrorAccessDenied);
        return nullptr;
    }
    if (!log->file.Open(log->bytes.data(), log->bytes.size())) {
        errors_.SetLastError(kErrorEventlogFileCorrupt);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    OpenLog* handle = log.release();
    open_.insert(handle);
    return handle;
}

bool OfflineEventLog::Read(Handle handle, std::uint32_t flags, std::uint32_t /*recordOffset*/,
                           void* buffer, std::uint32_t bufferSize, std::uint32_t& bytesRead,
                           std::uint32_t& minBytesNeeded) {
    bytesRead = 0;
    minBytesNeeded = 0;
    OpenLog* log = static_cast<OpenLog*>(handle);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (open_.count(log) == 0) {
            errors_.SetLastError(kErrorInvalidHandle);
            return false;
        }
    }
    // Sequential reads in one direction; seeking to a record is not offered.
    const bool forwards = (flags & kForwardsRead) != 0;
    const bool backwards = (flags & kBackwardsRead) != 0;
    if ((flags & kSequentialRead) == 0 || (flags & kSeekRead) != 0 || forwards == backwards ||
        (buffer == nullptr && bufferSize != 0)) {
        errors_.SetLastError(kErrorInvalidParameter);
        return false;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    const std::size_t total = log->file.RecordCount();
    for (;;) {
        if (log->pending.empty()) {
            // Records whose contents cannot be read are passed over.
            while (log->served < total) {
                const std::size_t index = backwards ? log->served : total - 1 - log->served;
                ++log->served;
                if (log->file.Read(index, log->event)) {
                    EncodeEventLogRecord(log->event, log->pending);
                    break;
                }
            }
            if (log->pending.empty()) break;  // no record left
        }
        const auto size = static_cast<std::uint32_t>(log->pending.size());
        if (size > bufferSize - bytesRead) {
            if (bytesRead > 0) return true;
            minBytesNeeded = size;
            errors_.SetLastError(kErrorInsufficientBuffer);
            return false;
        }
        std::memcpy(out + bytesRead, log->pending.data(), size);
        bytesRead += size;
        log->pending.clear();
    }
    if (bytesRead > 0) return true;
    errors_.SetLastError(kErrorHandleEof);
    return false;
}

void OfflineEventLog::Close(Handle handle) {
    OpenLog* log = static_cast<OpenLog*>(handle);
    std::lock_guard<std::mutex> lock(mutex_);
    if (open_.erase(log) != 0) delete log;
}

}  // namespace kestrel
