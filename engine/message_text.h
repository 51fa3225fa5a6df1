#pragma once
// The category text and the message text of each kept event, from the message
// modules its source registered under the event-log key of the local registry,
// loaded from the event's computer through its administrative shares.
// Parameter messages are substituted into the insertion strings first.
// Problems become numbered lines of the run report.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/event_log_record_view.h"
#include "engine/log_event.h"
#include "platform/error_service.h"
#include "platform/event_log_record.h"
#include "platform/fatal_stop.h"
#include "platform/memory_service.h"
#include "platform/message_module_service.h"
#include "platform/registry_service.h"

namespace kestrel {

inline constexpr std::size_t kRegistryBufferSize = 1040;  // key paths and values
inline constexpr std::size_t kModuleListSize = 1044;
inline constexpr std::size_t kCategoryBlockSize = 256;
inline constexpr std::size_t kParameterSlotCount = 9;
inline constexpr std::size_t kParameterSlotSize = 1024;
inline constexpr std::uint32_t kMessageMinSize = 320000;
inline constexpr std::uint32_t kParameterMessageMinSize = 510;

// "SYSTEM\CurrentControlSet\Services\EventLog\" + log + "\" + source. False when
// the path does not fit its buffer (kRegistryBufferSize with the terminator).
bool EventLogKeyPath(const char* log, const char* source, std::string& path);

// A module list value made usable: a bare file name gains the system folder,
// environment variables are expanded (at most kModuleListSize bytes).
std::string ExpandModulePath(const char* value, MessageModuleService& modules);

// The entries of a module list in order; empty entries are left out.
std::vector<std::string_view> ModuleListEntries(std::string_view list);

// The entry seen from the event's computer: "\\PC\C$\dir\x.dll" for "C:\dir\x.dll".
std::string ToAdminSharePath(const char* uncComputer, std::string_view entry);

// The share paths of a module list value's entries, in order.
std::vector<std::string> ModulePaths(const char* uncComputer, const char* value,
                                     MessageModuleService& modules);

// The text with every "%%nnnn" replaced by parameter message nnnn of module.
std::string SubstituteParameters(const char* text, MessageModuleService::Module module,
                                 MessageModuleService& modules, MemoryService& memory);

// The part of text that fits a slot, cut between characters.
void CopyToSlot(std::string_view text, std::array<char, kParameterSlotSize>& slot);

struct MessageServices {
    RegistryService& registry;
    MessageModuleService& modules;
    MemoryService& memory;
    ErrorService& errors;
    FatalStop& fatal;
};

// What the reader knows of one kept record.
struct KeptRecord {
    const EventLogRecord& record;  // the fixed part, aligned
    const char* computer;          // UNC form
    const char* log;
    const char* source;
    const char* timeText;
    // The whole record where it lies in the batch; left empty, the record's
    // bytes follow `record` itself.
    EventLogRecordView bytes = {};

    EventLogRecordView Bytes() const {
        if (bytes.Bytes().Size() != 0) return bytes;
        return EventLogRecordView(reinterpret_cast<const unsigned char*>(&record), record.Length);
    }
};

class EventMessageText {
public:
    enum class Step { Done, Stop };  // Stop: the read ends with ReadFailed
    // The classifier's InsertEventMessage, in the reader.
    using HandOnFunction = std::function<void(const LogEvent&)>;

    EventMessageText(const MessageServices& services, std::string& runReport, HandOnFunction handOn);
    ~EventMessageText();
    EventMessageText(const EventMessageText&) = delete;
    EventMessageText& operator=(const EventMessageText&) = delete;

    // Stop when the category block cannot be had (the lines are written) or
    // cannot be released (after the fatal stop).
    Step ResolveCategoryText(const KeptRecord& kept);

    // Hands the event on to the classifier unless handedOn is already set, and
    // sets it. strings holds the record's insertion strings on entry and what
    // the classifier saw on return; it may point into the parameter slots.
    void ResolveEventText(const KeptRecord& kept, InsertionTable& strings, bool& handedOn);

    // Gives back the block kept from record to record; false after the fatal
    // stop when that fails.
    bool ReleaseCategoryBlock();

    // The category text of the last record (the text itself is released).
    const std::string& CategoryText() const { return category_; }

private:
    using Key = RegistryService::Key;
    using Module = MessageModuleService::Module;

    std::int32_t OpenKey(const KeptRecord& kept, Key& key);
    std::int32_t ReadValue(Key key, const char* name, char (&value)[kRegistryBufferSize + 1]);
    bool CategoryFromRegistry(const KeptRecord& kept);
    bool CategoryFromModules(const KeptRecord& kept, const char* list);
    bool StoreCategory(const KeptRecord& kept, const char* linePrefix, const char* causePrefix,
                       const char* text);
    void SubstituteInto(const KeptRecord& kept, Key key, InsertionTable& strings);
    void RebuildStrings(const EventLogRecordView& record, Module module, InsertionTable& strings);
    bool FormatAndHandOn(const KeptRecord& kept, Module module, InsertionTable& strings, bool& handedOn);
    void HandOn(const KeptRecord& kept, const InsertionTable& strings, char* message, bool& handedOn);
    void HandOnFallback(const KeptRecord& kept, const InsertionTable& strings, bool& handedOn);

    void AppendHead(const KeptRecord& kept, const char* prefix);
    void AppendLine(const KeptRecord& kept, const char* prefix, const char* text);
    void AppendPathLine(const KeptRecord& kept, const char* prefix, const char* before,
                        const std::string& path, const char* after);
    void AppendCause(const char* prefix, std::uint32_t error);

    MessageServices services_;
    std::string& report_;
    HandOnFunction handOn_;

    void* categoryBlock_ = nullptr;  // kept from record to record until released
    char* categoryText_ = nullptr;   // in categoryBlock_ or in the formatter's block
    std::string category_;
    std::string keyPath_;

    std::array<std::array<char, kParameterSlotSize>, kParameterSlotCount> slots_{};
    std::size_t slotsUsed_ = 0;
    std::string fallback_;
};

// The message text of an event handed on before, worked out again with the
// same services: event.record must be whole (its strings after it) and hold
// the handed-on strings, so that no parameter message is put in twice. Its
// report lines go nowhere: the run has written them.
std::string MessageTextAgain(const MessageServices& services, const LogEvent& event);

}  // namespace kestrel
