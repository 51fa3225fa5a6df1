#include "engine/message_text.h"

#include <charconv>
#include <cstring>
#include <utility>

#include "base/cp932.h"
#include "engine/fallback_text.h"
#include "engine/log_reader.h"
#include "platform/win32_errors.h"

namespace kestrel {
namespace {

// "(category) text(status)", as printf would write it; this runs for every
// record whose source has no registry entry, where printf would cost more
// than the rest of the record.
template <std::size_t N>
void FormatCategoryError(char (&text)[N], unsigned category, const char* middle, std::int32_t status) {
    char* at = text;
    char* const end = text + N - 1;
    const auto put = [&](const char* from, std::size_t size) {
        const std::size_t room = static_cast<std::size_t>(end - at);
        if (size > room) size = room;
        std::memcpy(at, from, size);
        at += size;
    };
    char number[16];
    put("(", 1);
    put(number,
        static_cast<std::size_t>(std::to_chars(number, number + sizeof number, category).ptr - number));
    put(") ", 2);
    put(middle, std::strlen(middle));
    put("(", 1);
    put(number, static_cast<std::size_t>(std::to_chars(number, number + sizeof number, status).ptr - number));
    put(")", 1);
    *at = '\0';
}

constexpr const char* kEventLogKeyPrefix = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\";
constexpr const char* kSystemFolderPrefix = "%SystemRoot%\\System32\\";
constexpr const char* kCategoryRelease = "ｴﾗｰ 103";
constexpr const char* kOutOfMemory = "ﾒﾓﾘ不足です。";
constexpr const char* kContinuation = "         ";

// Zero bytes enough for a wide read too: what the formatter gets in place of
// a missing insertion string.
constexpr char kEmptyText[4] = {};

using ArgumentTable = std::array<const char*, kInsertionTableSize>;

// Category and parameter messages are formatted without arguments, yet a
// module may still name %1 in them: they get empty texts, never a null table.
const ArgumentTable kNoArguments = [] {
    ArgumentTable table;
    table.fill(kEmptyText);
    return table;
}();

// A "\" that is a trail byte of a double-byte character does not count.
bool ContainsBackslash(const char* text) {
    for (const char* at = text; *at != '\0'; ++at) {
        if (IsCp932LeadByte(static_cast<unsigned char>(*at)) && at[1] != '\0') {
            ++at;
        } else if (*at == '\\') {
            return true;
        }
    }
    return false;
}

}  // namespace

bool EventLogKeyPath(const char* log, const char* source, std::string& path) {
    path.assign(kEventLogKeyPrefix).append(log).append("\\").append(source);
    return path.size() < kRegistryBufferSize;
}

std::string ExpandModulePath(const char* value, MessageModuleService& modules) {
    std::string text;
    if (!ContainsBackslash(value)) text.assign(kSystemFolderPrefix);
    text.append(value);

    char expanded[kModuleListSize];
    const std::uint32_t needed = modules.ExpandEnvironment(text.c_str(), expanded, sizeof expanded);
    if (needed != 0 && needed <= sizeof expanded) {
        const std::size_t length = strnlen(expanded, sizeof expanded);
        if (length != 0 && length < sizeof expanded) return std::string(expanded, length);
    }
    if (text.size() < kModuleListSize) return text;
    return {};
}

std::vector<std::string_view> ModuleListEntries(std::string_view list) {
    std::vector<std::string_view> entries;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(';', start);
        if (end == std::string_view::npos) end = list.size();
        if (end > start) entries.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

std::string ToAdminSharePath(const char* uncComputer, std::string_view entry) {
    std::string path(uncComputer);
    path.push_back('\\');
    if (!entry.empty()) path.push_back(entry[0]);
    path.push_back('$');
    if (entry.size() > 2) path.append(entry.substr(2));
    return path;
}

std::vector<std::string> ModulePaths(const char* uncComputer, const char* value,
                                     MessageModuleService& modules) {
    const std::string list = ExpandModulePath(value, modules);
    std::vector<std::string> paths;
    for (const std::string_view entry : ModuleListEntries(list)) {
        paths.push_back(ToAdminSharePath(uncComputer, entry));
    }
    return paths;
}

std::string SubstituteParameters(const char* text, MessageModuleService::Module module,
                                 MessageModuleService& modules, MemoryService& memory) {
    std::string out;
    const char* at = text;
    while (*at != '\0') {
        if (at[0] != '%' || at[1] != '%') {
            out.push_back(*at++);
            continue;
        }
        // Four characters after "%%", or what is left before the end.
        std::size_t taken = 0;
        while (taken < 4 && at[2 + taken] != '\0') ++taken;
        std::uint32_t number = 0;
        for (std::size_t i = 0; i < taken && at[2 + i] >= '0' && at[2 + i] <= '9'; ++i) {
            number = number * 10 + static_cast<std::uint32_t>(at[2 + i] - '0');
        }
        char* message = modules.Format(module, number, kParameterMessageMinSize, kNoArguments.data());
        if (message != nullptr) {
            out.append(message);
            memory.Release(message);
        } else {
            out.append(at, 2 + taken);
        }
        at += 2 + taken;
    }
    return out;
}

void CopyToSlot(std::string_view text, std::array<char, kParameterSlotSize>& slot) {
    std::size_t length = 0;
    while (length < text.size()) {
        const bool pair =
            IsCp932LeadByte(static_cast<unsigned char>(text[length])) && length + 1 < text.size();
        const std::size_t next = length + (pair ? 2 : 1);
        if (next > slot.size() - 1) break;
        length = next;
    }
    std::memcpy(slot.data(), text.data(), length);
    slot[length] = '\0';
}

EventMessageText::EventMessageText(const MessageServices& services, std::string& runReport,
                                   HandOnFunction handOn)
    : services_(services), report_(runReport), handOn_(std::move(handOn)) {}

EventMessageText::~EventMessageText() {
    if (categoryBlock_ != nullptr) services_.memory.Release(categoryBlock_);
}

bool EventMessageText::ReleaseCategoryBlock() {
    void* block = categoryBlock_;
    categoryBlock_ = nullptr;
    categoryText_ = nullptr;
    if (block == nullptr || services_.memory.Release(block)) return true;
    services_.fatal.Stop(kReleaseFailedText, kCategoryRelease);
    return false;
}

// ---------------------------------------------------------------- category

EventMessageText::Step EventMessageText::ResolveCategoryText(const KeptRecord& kept) {
    const std::uint16_t category = kept.record.EventCategory;
    if (category == 0) {
        if (!StoreCategory(kept, "ｴﾗｰ 019:", "原因 020:", "なし")) return Step::Stop;
        category_.assign(categoryText_);
        return Step::Done;
    }

    categoryText_ = nullptr;
    const bool stored = CategoryFromRegistry(kept);
    category_.assign(categoryText_ != nullptr ? categoryText_ : "");
    if (!stored) return Step::Stop;

    char* text = categoryText_;
    categoryText_ = nullptr;
    if (text == categoryBlock_) categoryBlock_ = nullptr;
    if (text != nullptr && !services_.memory.Release(text)) {
        services_.fatal.Stop(kReleaseFailedText, kCategoryRelease);
        return Step::Stop;
    }
    return Step::Done;
}

bool EventMessageText::CategoryFromRegistry(const KeptRecord& kept) {
    const unsigned category = kept.record.EventCategory;
    char text[kCategoryBlockSize];
    Key key = nullptr;
    std::int32_t status = OpenKey(kept, key);
    if (status != 0) {
        FormatCategoryError(text, category, "ﾚｼﾞｽﾄﾘにｴﾝﾄﾘが見つかりません。", status);
        return StoreCategory(kept, "ｴﾗｰ 021:", "原因 022:", text);
    }

    bool stored = true;
    char value[kRegistryBufferSize + 1];
    status = ReadValue(key, "CategoryMessageFile", value);
    if (status != 0) {
        FormatCategoryError(text, category, "ﾒｯｾｰｼﾞﾌｧｲﾙが見つかりませんでした。", status);
        stored = StoreCategory(kept, "ｴﾗｰ 023:", "原因 024:", text);
    } else {
        stored = CategoryFromModules(kept, value);
    }
    services_.registry.CloseKey(key);
    return stored;
}

bool EventMessageText::CategoryFromModules(const KeptRecord& kept, const char* value) {
    for (const std::string& path : ModulePaths(kept.computer, value, services_.modules)) {
        const Module module = services_.modules.LoadDataFile(path.c_str());
        if (module == nullptr) {
            const std::uint32_t error = services_.errors.LastError();
            if (!StoreCategory(kept, "ｴﾗｰ 025:", "原因 026:", "")) return false;
            AppendPathLine(kept, "ｴﾗｰ 027:", "ﾒｯｾｰｼﾞﾌｧｲﾙ ", path, " の読み込みに失敗しました。");
            AppendCause("原因 028:", error);
            continue;
        }
        char* formatted =
            services_.modules.Format(module, kept.record.EventCategory, kMessageMinSize, kNoArguments.data());
        if (formatted != nullptr) {
            categoryText_ = formatted;
            services_.modules.Free(module);
            return true;
        }
        const std::uint32_t error = services_.errors.LastError();
        if (!StoreCategory(kept, "ｴﾗｰ 029:", "原因 030:", "")) {
            services_.modules.Free(module);
            return false;
        }
        AppendLine(kept, "ｴﾗｰ 031:", "ﾒｯｾｰｼﾞのﾌｫｰﾏｯﾄに失敗しました。");
        AppendCause("原因 032:", error);
        services_.modules.Free(module);
    }
    return true;
}

// The block is allocated when first needed and kept until a category text in
// it is released.
bool EventMessageText::StoreCategory(const KeptRecord& kept, const char* linePrefix, const char* causePrefix,
                                     const char* text) {
    if (categoryBlock_ == nullptr) {
        categoryBlock_ = services_.memory.AllocateZeroed(kCategoryBlockSize);
        if (categoryBlock_ == nullptr) {
            const std::uint32_t error = services_.errors.LastError();
            AppendLine(kept, linePrefix, kOutOfMemory);
            AppendCause(causePrefix, error);
            return false;
        }
    }
    auto* block = static_cast<char*>(categoryBlock_);
    const std::size_t length = strnlen(text, kCategoryBlockSize - 1);
    std::memcpy(block, text, length);
    block[length] = '\0';
    categoryText_ = block;
    return true;
}

// ---------------------------------------------------------------- message

void EventMessageText::ResolveEventText(const KeptRecord& kept, InsertionTable& strings, bool& handedOn) {
    Key key = nullptr;
    if (OpenKey(kept, key) != 0) {
        HandOnFallback(kept, strings, handedOn);
        return;
    }

    SubstituteInto(kept, key, strings);

    Module module = nullptr;
    char value[kRegistryBufferSize + 1];
    if (ReadValue(key, "EventMessageFile", value) != 0) {
        // The query gives its status directly; the line carries the thread's last error.
        const std::uint32_t error = services_.errors.LastError();
        AppendLine(kept, "ｴﾗｰ 051:", "ﾒｯｾｰｼﾞﾌｧｲﾙが指定されていません。");
        AppendCause("原因 052:", error);
    } else {
        const std::vector<std::string> paths = ModulePaths(kept.computer, value, services_.modules);
        if (paths.empty()) {
            services_.registry.CloseKey(key);
            key = nullptr;
        } else {
            // Entries between the first and the last are never tried.
            module = services_.modules.LoadDataFile(paths.front().c_str());
            if (module == nullptr) {
                const std::uint32_t error = services_.errors.LastError();
                report_.append("情報 050:").append(services_.errors.SystemText(error));
                AppendLine(kept, "原因 049:",
                           "ﾒｯｾｰｼﾞﾌｧｲﾙへｱｸｾｽできませんでした。ｾｷｭﾘﾃｨにより管理共有(c$,d$など)へｱｸｾｽできない,"
                           "あるいはﾒｯｾｰｼﾞﾌｧｲﾙがみつかりません。(これはｴﾗｰではありません。)");
                AppendHead(kept, kContinuation);
                report_.append(kept.computer)
                    .append(
                        "のadministratorsｸﾞﾙｰﾌﾟにあなたが属しているか確認してください。"
                        "あるいはこのｲﾍﾞﾝﾄﾛｸﾞを出力したｿﾌﾄｳｪｱのﾒｰｶへ確認してください。\r\n");
                AppendLine(kept, kContinuation,
                           "ﾛｰｶﾙﾒｯｾｰｼﾞを変わりに使用しますが、ﾒｯｾｰｼﾞの一部が省略され、"
                           "ﾊﾟﾗﾒｰﾀのみ表示される場合があります。");
            } else if (!FormatAndHandOn(kept, module, strings, handedOn)) {
                if (paths.size() > 1) {
                    const Module other = services_.modules.LoadDataFile(paths.back().c_str());
                    if (other != nullptr) {
                        FormatAndHandOn(kept, other, strings, handedOn);
                        services_.modules.Free(other);
                    }
                }
                if (!handedOn) {
                    services_.modules.Free(module);
                    module = nullptr;
                }
            }
        }
    }

    HandOnFallback(kept, strings, handedOn);
    if (module != nullptr) services_.modules.Free(module);
    if (key != nullptr) services_.registry.CloseKey(key);
}

// The parameter step: the table is rebuilt from the record by every module
// that loads, so the last loadable one decides.
void EventMessageText::SubstituteInto(const KeptRecord& kept, Key key, InsertionTable& strings) {
    strings.fill(nullptr);
    slotsUsed_ = 0;
    bool rebuilt = false;
    char value[kRegistryBufferSize + 1];
    if (ReadValue(key, "ParameterMessageFile", value) == 0) {
        for (const std::string& path : ModulePaths(kept.computer, value, services_.modules)) {
            const Module module = services_.modules.LoadDataFile(path.c_str());
            if (module == nullptr) {
                const std::uint32_t error = services_.errors.LastError();
                AppendPathLine(kept, "ｴﾗｰ 045:", "ﾗｲﾌﾞﾗﾘ ", path, " のﾛｰﾄﾞに失敗しました。");
                AppendCause("原因 046:", error);
                continue;
            }
            RebuildStrings(kept.Bytes(), module, strings);
            services_.modules.Free(module);
            rebuilt = true;
        }
    }
    // No module at all, or none that loads: the record's own strings.
    if (!rebuilt) FillInsertionTable(kept.Bytes(), strings);
}

void EventMessageText::RebuildStrings(const EventLogRecordView& record, Module module,
                                      InsertionTable& strings) {
    FillInsertionTable(record, strings);
    for (const char*& entry : strings) {
        if (entry == nullptr || entry[0] != '%' || entry[1] != '%') continue;
        const std::string text = SubstituteParameters(entry, module, services_.modules, services_.memory);
        // The tenth and later substitutions share the last slot.
        if (slotsUsed_ < kParameterSlotCount) ++slotsUsed_;
        auto& slot = slots_[slotsUsed_ - 1];
        CopyToSlot(text, slot);
        entry = slot.data();
    }
}

bool EventMessageText::FormatAndHandOn(const KeptRecord& kept, Module module, InsertionTable& strings,
                                       bool& handedOn) {
    // A message may name more strings than the event has: those get empty texts.
    ArgumentTable arguments;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        arguments[i] = strings[i] != nullptr ? strings[i] : kEmptyText;
    }
    char* text = services_.modules.Format(module, kept.record.EventID, kMessageMinSize, arguments.data());
    if (text == nullptr) return false;
    HandOn(kept, strings, text, handedOn);
    services_.memory.Release(text);
    return true;
}

void EventMessageText::HandOn(const KeptRecord& kept, const InsertionTable& strings, char* message,
                              bool& handedOn) {
    if (handedOn) return;
    const char* origin = "";
    std::size_t originSize = 0;
    if (!kept.Bytes().ComputerName(origin, originSize)) origin = "";
    const LogEvent event{kept.record,   kept.computer,       kept.source, message, kept.log,
                         kept.timeText, kept.record.EventID, strings,     origin};
    handOn_(event);
    handedOn = true;
}

void EventMessageText::HandOnFallback(const KeptRecord& kept, const InsertionTable& strings, bool& handedOn) {
    if (handedOn) return;
    BuildFallbackText(fallback_, kept.source, kept.record.EventID, strings, kept.record.NumStrings);
    HandOn(kept, strings, fallback_.data(), handedOn);
}

// ---------------------------------------------------------------- registry

std::int32_t EventMessageText::OpenKey(const KeptRecord& kept, Key& key) {
    key = nullptr;
    // keyPath_ keeps its storage from record to record: no allocation per event.
    if (!EventLogKeyPath(kept.log, kept.source, keyPath_))
        return static_cast<std::int32_t>(kErrorFileNotFound);
    const std::int32_t status = services_.registry.OpenKey(keyPath_.c_str(), key);
    if (status != 0) key = nullptr;
    return status;
}

// The value is read into its buffer and ends at its first zero or its last
// byte, whether or not it carries a terminator.
std::int32_t EventMessageText::ReadValue(Key key, const char* name, char (&value)[kRegistryBufferSize + 1]) {
    std::uint32_t size = kRegistryBufferSize;
    const std::int32_t status = services_.registry.QueryValue(key, name, value, size);
    if (status != 0) return status;
    value[size < kRegistryBufferSize ? size : kRegistryBufferSize] = '\0';
    return 0;
}

// ---------------------------------------------------------------- report

// prefix: "ｴﾗｰ 027:" and the like, or the blanks of a continuation line.
void EventMessageText::AppendHead(const KeptRecord& kept, const char* prefix) {
    report_.append(prefix).append("[").append(kept.computer).append("][").append(kept.log);
    report_.append("][").append(kept.source).append("]:");
}

void EventMessageText::AppendLine(const KeptRecord& kept, const char* prefix, const char* text) {
    AppendHead(kept, prefix);
    report_.append(text).append("\r\n");
}

void EventMessageText::AppendPathLine(const KeptRecord& kept, const char* prefix, const char* before,
                                      const std::string& path, const char* after) {
    AppendHead(kept, prefix);
    report_.append(before).append(path).append(after).append("\r\n");
}

void EventMessageText::AppendCause(const char* prefix, std::uint32_t error) {
    report_.append(prefix).append(services_.errors.SystemText(error));
}

std::string MessageTextAgain(const MessageServices& services, const LogEvent& event) {
    std::string lines, message;
    EventMessageText text(services, lines, [&message](const LogEvent& again) { message = again.message; });
    const KeptRecord kept{event.record, event.computer, event.logName, event.source, event.timeText};
    InsertionTable strings{};
    FillInsertionTable(event.record, strings);
    bool handedOn = false;
    text.ResolveEventText(kept, strings, handedOn);
    text.ReleaseCategoryBlock();
    return message;
}

}  // namespace kestrel
