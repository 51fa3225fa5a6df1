#include "platform/offline/offline_event_log.h"

#include <cstring>
#include <type_traits>

#include "base/cp932.h"
#include "base/utf16_cp932.h"
#include "evtx/byte_source.h"
#include "evtx/record_reader.h"
#include "platform/event_log_record.h"
#include "platform/win32_errors.h"

namespace kestrel {

struct OfflineEventLog::OpenLog {
    evtx::FileBytes file;
    std::unique_ptr<evtx::RecordReader> reader;
    evtx::Order order = evtx::Order::NewestFirst;
    bool started = false;  // the first read fixes the direction
    // A record that did not fit the last buffer; the reader keeps its bytes
    // until it is asked for the next one.
    const unsigned char* pending = nullptr;
    std::size_t pendingSize = 0;
    std::mutex mutex;  // one read of a handle at a time
};

namespace {

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

// The entry of `folder` whose name equals `name` without regard to case,
// whatever it is: a folder in the place of a log is refused when opened.
bool FindEntry(const std::filesystem::path& folder, const std::string& name, std::filesystem::path& found) {
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        if (SameNameIgnoringCase(NameOf(entries->path()), name)) {
            found = entries->path();
            return true;
        }
    }
    return false;
}

void Put32(std::vector<unsigned char>& out, std::size_t at, std::uint32_t value) {
    std::memcpy(out.data() + at, &value, sizeof value);
}

// Records are laid one after another from an aligned start: padding is
// counted from the record's own start.
void PadToFour(std::vector<unsigned char>& out, std::size_t start) {
    while ((out.size() - start) % 4 != 0) out.push_back(0);
}

}  // namespace

std::string FoldedName(const std::string& name) {
    std::string folded = name;
    for (std::size_t i = 0; i < folded.size(); ++i) {
        const auto c = static_cast<unsigned char>(folded[i]);
        if (IsCp932LeadByte(c)) {
            ++i;
        } else {
            folded[i] = static_cast<char>(Fold(c));
        }
    }
    return folded;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (IsCp932LeadByte(x) && i + 1 < a.size()) {
            if (x != y || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (Fold(x) != Fold(y)) return false;
    }
    return true;
}

void EncodeEventLogRecord(const evtx::Event& event, std::vector<unsigned char>& out) {
    const std::size_t start = out.size();
    out.resize(start + sizeof(EventLogRecord));
    out.insert(out.end(), event.source.begin(), event.source.end());
    out.push_back(0);
    out.insert(out.end(), event.computer.begin(), event.computer.end());
    out.push_back(0);
    PadToFour(out, start);
    const auto sidOffset = static_cast<std::uint32_t>(out.size() - start);
    // NumStrings is 16 bits: strings beyond that many are left out.
    std::size_t stringBytes = event.strings.size();
    std::uint32_t count = event.stringCount;
    if (count > 0xFFFF) {
        count = 0xFFFF;
        std::size_t at = 0;
        for (std::uint32_t i = 0; i < count; ++i) at = event.strings.find('\0', at) + 1;
        stringBytes = at;
    }
    out.insert(out.end(), event.strings.begin(),
               event.strings.begin() + static_cast<std::ptrdiff_t>(stringBytes));
    const auto dataOffset = static_cast<std::uint32_t>(out.size() - start);
    out.insert(out.end(), event.data.begin(), event.data.end());
    PadToFour(out, start);
    out.resize(out.size() + 4);
    const auto length = static_cast<std::uint32_t>(out.size() - start);

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
    std::memcpy(out.data() + start, &header, sizeof header);
    Put32(out, start + length - 4, length);
}

OfflineEventLog::OfflineEventLog(ErrorService& errors, std::filesystem::path folder, unsigned decodeThreads)
    : errors_(errors),
      folder_(std::move(folder)),
      decodeThreads_(decodeThreads == 0 ? evtx::DefaultDecodeThreads() : decodeThreads) {}

OfflineEventLog::~OfflineEventLog() = default;

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
    // The report's cause line says what is missing: the computer's folder or its log.
    if (computer.empty() || !FindComputerFolder(computer, computerFolder)) {
        errors_.SetLastError(kErrorPathNotFound);
        return nullptr;
    }
    std::filesystem::path path;
    if (!FindEntry(computerFolder, std::string(logName) + ".evtx", path)) {
        errors_.SetLastError(kErrorFileNotFound);
        return nullptr;
    }
    auto log = std::make_shared<OpenLog>();
    if (!log->file.Open(path)) {  // a folder of that name too, as the system answers
        errors_.SetLastError(kErrorAccessDenied);
        return nullptr;
    }
    log->reader = std::make_unique<evtx::RecordReader>(log->file, EncodeEventLogRecord, decodeThreads_);
    evtx::Fault why;
    if (!log->reader->Open(why)) {
        errors_.SetLastError(kErrorEventlogFileCorrupt);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    const std::uintptr_t handle = ++lastHandle_;
    open_.emplace(handle, std::move(log));
    return reinterpret_cast<Handle>(handle);
}

bool OfflineEventLog::FindComputerFolder(const std::string& computer, std::filesystem::path& found) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!computerFolders_) {
        computerFolders_.emplace();
        std::error_code error;
        std::filesystem::directory_iterator entries(folder_, error);
        for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
            std::error_code ignored;
            if (!entries->is_directory(ignored)) continue;
            // The first of two names that differ only in case, as a search would find it.
            computerFolders_->emplace(FoldedName(NameOf(entries->path())), entries->path());
        }
    }
    const auto entry = computerFolders_->find(FoldedName(computer));
    if (entry == computerFolders_->end()) return false;
    found = entry->second;
    return true;
}

std::shared_ptr<OfflineEventLog::OpenLog> OfflineEventLog::Find(Handle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = open_.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == open_.end() ? nullptr : found->second;
}

bool OfflineEventLog::Read(Handle handle, std::uint32_t flags, std::uint32_t /*recordOffset*/, void* buffer,
                           std::uint32_t bufferSize, std::uint32_t& bytesRead,
                           std::uint32_t& minBytesNeeded) {
    bytesRead = 0;
    minBytesNeeded = 0;
    const std::shared_ptr<OpenLog> log = Find(handle);
    if (log == nullptr) {
        errors_.SetLastError(kErrorInvalidHandle);
        return false;
    }
    std::lock_guard<std::mutex> lock(log->mutex);
    // Sequential reads in one direction; seeking to a record is not offered.
    const bool forwards = (flags & kForwardsRead) != 0;
    const bool backwards = (flags & kBackwardsRead) != 0;
    const evtx::Order order = forwards ? evtx::Order::OldestFirst : evtx::Order::NewestFirst;
    if ((flags & kSequentialRead) == 0 || (flags & kSeekRead) != 0 || forwards == backwards ||
        (buffer == nullptr && bufferSize != 0) || (log->started && order != log->order)) {
        errors_.SetLastError(kErrorInvalidParameter);
        return false;
    }
    if (!log->started && order != log->order) {
        // Opened newest first, as nearly every reader reads.
        log->reader =
            std::make_unique<evtx::RecordReader>(log->file, EncodeEventLogRecord, decodeThreads_, order);
        evtx::Fault why;
        if (!log->reader->Open(why)) {
            errors_.SetLastError(kErrorEventlogFileChanged);
            return false;
        }
        log->order = order;
    }
    log->started = true;
    auto* out = static_cast<unsigned char*>(buffer);
    for (;;) {
        if (log->pending == nullptr) {
            std::uint64_t id = 0;
            if (!log->reader->Next(log->pending, log->pendingSize, id)) {
                log->pending = nullptr;
                break;
            }
        }
        const std::size_t size = log->pendingSize;
        if (size > bufferSize - bytesRead) {
            if (bytesRead > 0) return true;
            minBytesNeeded = static_cast<std::uint32_t>(size);
            errors_.SetLastError(kErrorInsufficientBuffer);
            return false;
        }
        std::memcpy(out + bytesRead, log->pending, size);
        bytesRead += static_cast<std::uint32_t>(size);
        log->pending = nullptr;
    }
    if (bytesRead > 0) return true;
    // Chunks that were there when the log was opened and are gone now: the
    // file changed under the reader, which the live service reports so too.
    errors_.SetLastError(log->reader->FileChanged() ? kErrorEventlogFileChanged : kErrorHandleEof);
    return false;
}

evtx::PassedOver OfflineEventLog::DamagePassedOver(Handle handle) {
    const std::shared_ptr<OpenLog> log = Find(handle);
    if (log == nullptr) return {};
    std::lock_guard<std::mutex> lock(log->mutex);
    return log->reader->Passed();
}

void OfflineEventLog::Close(Handle handle) {
    std::shared_ptr<OpenLog> log;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = open_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (found == open_.end()) return;
        log = std::move(found->second);
        open_.erase(found);
    }
    // Freed here, or by a read still holding it when that read ends.
}

}  // namespace kestrel
