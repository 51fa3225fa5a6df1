#include "tests/fakes/simulated_site.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/win32_errors.h"
#include "tests/fakes/fake_services.h"
#include "tests/fakes/output_checks.h"

namespace kestrel::testing {
namespace {

constexpr char kSecurityKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\security\\Microsoft-Windows-Security-Auditing";
const auto kMessageModule = reinterpret_cast<MessageModuleService::Module>(1);
const auto kParameterModule = reinterpret_cast<MessageModuleService::Module>(2);

void Sleep(std::uint32_t ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A computer that never answers: the call waits for what never comes, and
// touches nothing of the site once it has begun to wait. The lock and the
// condition are never destroyed: at exit, destroying a condition that threads
// still wait on waits for them, and the process would never end.
[[noreturn]] void NeverAnswer() {
    static auto* const mutex = new std::mutex;
    static auto* const never = new std::condition_variable;
    std::unique_lock<std::mutex> lock(*mutex);
    for (;;) never->wait(lock);
}

// "\\PC0007" is computer 7.
std::size_t ComputerNumber(const char* unc) {
    std::size_t number = 0;
    for (const char* at = unc != nullptr ? unc : ""; *at != '\0'; ++at) {
        if (*at >= '0' && *at <= '9') number = number * 10 + static_cast<std::size_t>(*at - '0');
    }
    return number;
}

// A network logon as Windows writes it; the third of each log is by a user
// whose name an attacker made a parameter reference.
std::vector<std::string> LogonStrings(std::uint32_t k) {
    std::vector<std::string> strings = CsvFields(
        "S-1-5-18,PC01$,KESTREL,0x3e7,S-1-5-21-1013,user,KESTREL,logon ID,3,NtLmSsp ,NTLM,PC07,"
        "{00000000-0000-0000-0000-000000000000},-,NTLM "
        "V2,128,0x0,-,address,port,%%1833,-,-,-,%%1843,0x0,%%1842");
    strings[5] = k == 2 ? "%%1833" : "user" + std::to_string(k % 7);
    strings[7] = "0x" + std::to_string(0x3a000 + k);
    strings[18] = "192.168.10." + std::to_string(k % 200);
    strings[19] = std::to_string(49152 + k);
    return strings;
}

}  // namespace

std::string SiteComputer(std::size_t index) {
    char name[16];
    std::snprintf(name, sizeof name, "PC%04zu", index + 1);
    return name;
}

SimulatedEventLog::SimulatedEventLog(const SiteShape& shape, ErrorService& errors)
    : shape_(shape), errors_(errors) {
    for (std::uint32_t k = 0; k < shape_.events; ++k) {
        RecordShape record;
        record.recordNumber = shape_.events - k;
        record.timeGenerated = static_cast<std::uint32_t>(shape_.end - 60 * static_cast<std::time_t>(k));
        record.strings = LogonStrings(k);
        records_.push_back(BuildRecord(record));
    }
}

void SimulatedEventLog::Wait() const { Sleep(shape_.callMs); }

EventLogService::Handle SimulatedEventLog::Open(const char* uncServerName, const char*) {
    Wait();
    const std::size_t number = ComputerNumber(uncServerName);
    if (shape_.deadEvery != 0 && number % shape_.deadEvery == 0) NeverAnswer();
    if (shape_.unreachableEvery != 0 && number % shape_.unreachableEvery == 0) {
        errors_.SetLastError(kRpcServerUnavailable);
        return nullptr;
    }
    return new Cursor{number, 0};
}

bool SimulatedEventLog::Read(Handle log, std::uint32_t, std::uint32_t, void* buffer, std::uint32_t bufferSize,
                             std::uint32_t& bytesRead, std::uint32_t& minBytesNeeded) {
    Wait();
    bytesRead = minBytesNeeded = 0;
    Cursor& cursor = *static_cast<Cursor*>(log);
    if (cursor.next == records_.size() && shape_.stuckEvery != 0 &&
        cursor.computer % shape_.stuckEvery == 0) {
        NeverAnswer();
    }
    if (cursor.next == records_.size()) {
        errors_.SetLastError(kErrorHandleEof);
        return false;
    }
    for (; cursor.next < records_.size(); ++cursor.next) {
        const auto& record = records_[cursor.next];
        if (record.size() > bufferSize - bytesRead) break;
        std::memcpy(static_cast<unsigned char*>(buffer) + bytesRead, record.data(), record.size());
        bytesRead += static_cast<std::uint32_t>(record.size());
    }
    if (bytesRead > 0) return true;
    minBytesNeeded = static_cast<std::uint32_t>(records_[cursor.next].size());
    errors_.SetLastError(kErrorInsufficientBuffer);
    return false;
}

void SimulatedEventLog::Close(Handle log) { delete static_cast<Cursor*>(log); }

std::uint64_t SimulatedEventLog::AnsweringCallsMs() const {
    const std::uint64_t readsPerLog = 2;  // the records, then the end of the log
    std::uint64_t calls = 0;
    for (std::size_t n = 1; n <= shape_.computers; ++n) {
        if (shape_.deadEvery != 0 && n % shape_.deadEvery == 0) continue;
        const bool unreachable = shape_.unreachableEvery != 0 && n % shape_.unreachableEvery == 0;
        calls += unreachable ? 1 : 1 + readsPerLog;
    }
    return calls * shape_.callMs;
}

std::int32_t SimulatedRegistry::OpenKey(const char* path, Key& key) {
    key = std::strcmp(path, kSecurityKey) == 0 ? reinterpret_cast<Key>(1) : nullptr;
    return key != nullptr ? 0 : static_cast<std::int32_t>(kErrorFileNotFound);
}

std::int32_t SimulatedRegistry::QueryValue(Key, const char* name, void* buffer, std::uint32_t& size) {
    const char* value = std::strcmp(name, "EventMessageFile") == 0 ? "C:\\Windows\\System32\\msaudite.dll"
                        : std::strcmp(name, "ParameterMessageFile") == 0 ? "C:\\Windows\\System32\\msobjs.dll"
                                                                         : nullptr;
    if (value == nullptr) return static_cast<std::int32_t>(kErrorFileNotFound);
    const auto bytes = static_cast<std::uint32_t>(std::strlen(value) + 1);
    if (bytes > size) {
        size = bytes;
        return static_cast<std::int32_t>(kErrorMoreData);
    }
    std::memcpy(buffer, value, bytes);
    size = bytes;
    return 0;
}

MessageModuleService::Module SimulatedModules::LoadDataFile(const char* path) {
    Sleep(shape_.moduleLoadMs);
    ++loads;
    const std::string file = path;
    if (file.ends_with("\\msaudite.dll")) return kMessageModule;
    if (file.ends_with("\\msobjs.dll")) return kParameterModule;
    errors_.SetLastError(kErrorModNotFound);
    return nullptr;
}

char* SimulatedModules::Format(Module module, std::uint32_t messageId, std::uint32_t minSize,
                               const char* const* arguments) {
    std::string text;
    if (module == kParameterModule && messageId == 1833) {
        text = "はい";
    } else if (module == kMessageModule && messageId == 4624 && arguments != nullptr) {
        text = std::string("ｱｶｳﾝﾄ ") + arguments[5] + " がﾛｸﾞｵﾝしました。(ﾀｲﾌﾟ " + arguments[8] + ")";
    } else {
        errors_.SetLastError(kErrorMrMidNotFound);
        return nullptr;
    }
    auto* block = static_cast<char*>(memory_.AllocateZeroed(std::max<std::size_t>(minSize, text.size() + 1)));
    if (block != nullptr) std::memcpy(block, text.c_str(), text.size() + 1);
    return block;
}

std::uint32_t SimulatedModules::ExpandEnvironment(const char* text, char* out, std::uint32_t outSize) {
    const auto needed = static_cast<std::uint32_t>(std::strlen(text) + 1);
    if (needed <= outSize) std::memcpy(out, text, needed);
    return needed;
}

}  // namespace kestrel::testing
