#include "platform/offline/evtx_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/offline/evtx_values.h"
#include "platform/offline/utf16_cp932.h"

namespace kestrel::evtx {
namespace {

constexpr std::size_t kFileHeaderSize = 4096;
constexpr std::uint32_t kChunkSize = 0x10000;
constexpr std::uint32_t kChunkHeaderSize = 512;
constexpr std::uint32_t kRecordHeaderSize = 24;
constexpr std::uint32_t kRecordMagic = 0x00002a2a;
// Templates nest in values and values in templates; a damaged file could
// make that circular, so nesting stops here.
constexpr int kMaxNesting = 12;
constexpr std::size_t kMaxElementDepth = 48;
// Values can repeat a template many times over; a record that asks for more
// work or text than this is damaged, not a real event.
constexpr std::size_t kTokenBudget = 1 << 18;
constexpr std::size_t kMaxText = 1 << 20;

template <typename T>
T Load(const unsigned char* data) {
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

std::uint32_t Crc32(const unsigned char* data, std::size_t size, std::uint32_t crc = 0) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

// The element and attribute names that matter; every other name is Other.
enum class Name : std::uint8_t {
    Other, Event, System, Provider, EventID, Level, Task, Keywords, TimeCreated, Computer,
    EventData, Data, Binary, UserData, NameAttr, EventSourceName, Qualifiers, SystemTime,
    Xmlns,  // a namespace declaration, which is no value of the event
};

struct KnownName {
    std::u16string_view text;
    Name name;
};
constexpr KnownName kKnownNames[] = {
    {u"Event", Name::Event}, {u"System", Name::System}, {u"Provider", Name::Provider},
    {u"EventID", Name::EventID}, {u"Level", Name::Level}, {u"Task", Name::Task},
    {u"Keywords", Name::Keywords}, {u"TimeCreated", Name::TimeCreated},
    {u"Computer", Name::Computer}, {u"EventData", Name::EventData}, {u"Data", Name::Data},
    {u"Binary", Name::Binary}, {u"UserData", Name::UserData}, {u"Name", Name::NameAttr},
    {u"EventSourceName", Name::EventSourceName}, {u"Qualifiers", Name::Qualifiers},
    {u"SystemTime", Name::SystemTime},
};

// A token stream after parsing, with names resolved and offsets checked, so
// that a template is parsed once per chunk however many records use it.
enum class Op : std::uint8_t {
    Open, Attribute, StartDone, EmptyDone, End, Text, Char, Subst, Instance,
};

struct Token {
    Op op;
    Name name = Name::Other;
    std::uint8_t type = 0;  // Subst: the declared value type
    bool optional = false;
    std::uint32_t a = 0;  // Text: chunk offset; Char: the character; Subst: index; Instance: definition
    std::uint32_t b = 0;  // Text: characters; Instance: chunk offset of the values
};

struct Template {
    bool ready = false;  // false while being parsed, and for good when damaged
    std::vector<Token> tokens;
};

struct Chunk {
    std::size_t begin = 0;  // in the file
    std::uint32_t size = 0;
    std::unordered_map<std::uint32_t, Template> templates;  // by definition offset
};

struct RecordRef {
    std::uint64_t id;
    std::uint32_t chunk;
    std::uint32_t offset;  // in the chunk
    std::uint32_t size;
};

enum class Slot : std::uint8_t {
    None, EventId, Qualifiers, Level, Task, Keywords, SystemTime,  // numbers
    ProviderName, SourceName, Computer, Data, Binary, Leaf,        // texts
};
constexpr int kNumberSlots = 7;

enum class Role : std::uint8_t {
    Ignore, Event, System, Provider, EventID, Level, Task, Keywords, TimeCreated, Computer,
    EventData, DataItem, BinaryItem, UserData, UserInner,
};

}  // namespace

struct File::Impl {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    std::vector<Chunk> chunks;
    std::vector<RecordRef> records;  // newest first
    // Scratch token lists for streams outside templates, one per nesting level.
    std::array<std::vector<Token>, kMaxNesting + 1> scratch;
    std::array<std::vector<Value>, kMaxNesting + 1> valueLists;

    void ScanChunk(std::uint32_t index);
    Template* TemplateAt(Chunk& chunk, std::uint32_t offset);
};

namespace {

// Parses binary XML between two chunk offsets into tokens.
class Parser {
public:
    Parser(File::Impl& file, Chunk& chunk, const unsigned char* base)
        : file_(file), chunk_(chunk), base_(base) {}

    bool Parse(std::uint32_t pos, std::uint32_t end, bool dependencyIds,
               std::vector<Token>& tokens) {
        end_ = end;
        while (pos < end_) {
            const std::uint8_t token = base_[pos];
            const std::uint8_t kind = token & 0xBF;  // without the "more follows" flag
            switch (kind) {
                case 0x00:
                    return true;
                case 0x0f:
                    pos += 4;
                    break;
                case 0x01: {
                    pos += dependencyIds ? 7 : 5;
                    Name name;
                    if (!ReadName(pos, name)) return false;
                    tokens.push_back({Op::Open, name});
                    if (token & 0x40) pos += 4;  // attribute list size
                    break;
                }
                case 0x02: tokens.push_back({Op::StartDone}); ++pos; break;
                case 0x03: tokens.push_back({Op::EmptyDone}); ++pos; break;
                case 0x04: tokens.push_back({Op::End}); ++pos; break;
                case 0x05:
                    if (!Fits(pos, 4) || base_[pos + 1] != kString) return false;
                    pos += 2;
                    if (!ReadText(pos, tokens)) return false;
                    break;
                case 0x06: {
                    ++pos;
                    Name name;
                    if (!ReadName(pos, name)) return false;
                    tokens.push_back({Op::Attribute, name});
                    break;
                }
                case 0x07:
                    ++pos;
                    if (!ReadText(pos, tokens)) return false;
                    break;
                case 0x08:
                    if (!Fits(pos, 3)) return false;
                    tokens.push_back({Op::Char, Name::Other, 0, false, Load<std::uint16_t>(base_ + pos + 1)});
                    pos += 3;
                    break;
                case 0x09: {
                    ++pos;
                    std::u16string_view entity;
                    if (!ReadNameText(pos, entity)) return false;
                    const char16_t c = entity == u"lt" ? u'<' : entity == u"gt" ? u'>'
                                     : entity == u"amp" ? u'&' : entity == u"quot" ? u'"'
                                     : entity == u"apos" ? u'\'' : 0;
                    if (c != 0) tokens.push_back({Op::Char, Name::Other, 0, false, c});
                    break;
                }
                case 0x0a: {
                    ++pos;
                    std::u16string_view ignored;
                    if (!ReadNameText(pos, ignored)) return false;
                    break;
                }
                case 0x0b: {
                    if (!Fits(pos, 3)) return false;
                    const std::uint32_t count = Load<std::uint16_t>(base_ + pos + 1);
                    pos += 3;
                    if (!Fits(pos, 2ull * count)) return false;
                    pos += 2 * count;
                    break;
                }
                case 0x0c:
                    if (!ReadInstance(pos, tokens)) return false;
                    break;
                case 0x0d:
                case 0x0e:
                    if (!Fits(pos, 4)) return false;
                    tokens.push_back({Op::Subst, Name::Other, base_[pos + 3], kind == 0x0e,
                                      Load<std::uint16_t>(base_ + pos + 1)});
                    pos += 4;
                    break;
                default:
                    return false;
            }
        }
        // Running off the end without the end token: accept what was there
        // only if the position landed exactly on the end.
        return pos == end_;
    }

private:
    bool Fits(std::uint64_t pos, std::uint64_t bytes) const { return pos + bytes <= end_; }

    bool ReadText(std::uint32_t& pos, std::vector<Token>& tokens) {
        if (!Fits(pos, 2)) return false;
        const std::uint32_t count = Load<std::uint16_t>(base_ + pos);
        pos += 2;
        if (!Fits(pos, 2ull * count)) return false;
        tokens.push_back({Op::Text, Name::Other, 0, false, pos, count});
        pos += 2 * count;
        return true;
    }

    // A name is stored where it is first used and referred to by offset after.
    bool ReadNameText(std::uint32_t& pos, std::u16string_view& text) {
        if (!Fits(pos, 4)) return false;
        const std::uint32_t at = Load<std::uint32_t>(base_ + pos);
        pos += 4;
        if (static_cast<std::uint64_t>(at) + 8 > chunk_.size) return false;
        const std::uint32_t count = Load<std::uint16_t>(base_ + at + 6);
        const std::uint64_t bytes = 8 + 2ull * count + 2;
        if (at + bytes > chunk_.size) return false;
        if (at == pos) {
            if (!Fits(pos, bytes)) return false;
            pos += static_cast<std::uint32_t>(bytes);
        }
        text = std::u16string_view();
        names_.assign(count, u'\0');
        for (std::uint32_t i = 0; i < count; ++i) {
            names_[i] = static_cast<char16_t>(Load<std::uint16_t>(base_ + at + 8 + 2 * i));
        }
        text = names_;
        return true;
    }

    bool ReadName(std::uint32_t& pos, Name& name) {
        std::u16string_view text;
        if (!ReadNameText(pos, text)) return false;
        name = Name::Other;
        for (const KnownName& known : kKnownNames) {
            if (known.text == text) name = known.name;
        }
        if (text == u"xmlns" || text.substr(0, 6) == u"xmlns:") name = Name::Xmlns;
        return true;
    }

    bool ReadInstance(std::uint32_t& pos, std::vector<Token>& tokens) {
        if (!Fits(pos, 10)) return false;
        const std::uint32_t definition = Load<std::uint32_t>(base_ + pos + 6);
        pos += 10;
        if (definition == pos) {
            // Defined here, on first use: step over it (it is parsed on demand).
            if (!Fits(pos, 24)) return false;
            const std::uint32_t size = Load<std::uint32_t>(base_ + pos + 20);
            if (!Fits(pos, 24ull + size)) return false;
            pos += 24 + size;
        }
        if (!Fits(pos, 4)) return false;
        const std::uint32_t count = Load<std::uint32_t>(base_ + pos);
        if (!Fits(pos + 4ull, 4ull * count)) return false;
        std::uint64_t total = 4ull + 4ull * count;
        for (std::uint32_t i = 0; i < count; ++i) total += Load<std::uint16_t>(base_ + pos + 4 + 4 * i);
        if (!Fits(pos, total)) return false;
        tokens.push_back({Op::Instance, Name::Other, 0, false, definition, pos});
        pos += static_cast<std::uint32_t>(total);
        return true;
    }

    File::Impl& file_;
    Chunk& chunk_;
    const unsigned char* base_;
    std::uint32_t end_ = 0;
    std::u16string names_;
};

// Walks tokens with their values and collects what the classic record needs.
class Extractor {
public:
    Extractor(File::Impl& file, Chunk& chunk, const unsigned char* base, Event& out)
        : file_(file), chunk_(chunk), base_(base), out_(out) {}

    bool Run(const std::vector<Token>& tokens, const std::vector<Value>* values, int nesting) {
        for (const Token& token : tokens) {
            if (++work_ > kTokenBudget) return false;
            switch (token.op) {
                case Op::Open: Open(token.name); break;
                case Op::Attribute: BeginAttribute(token.name); break;
                case Op::StartDone: EndAttribute(); break;
                case Op::EmptyDone: EndAttribute(); Close(); break;
                case Op::End: Close(); break;
                case Op::Text:
                    AppendUtf16(base_ + token.a, token.b);
                    if (TextSize() > kMaxText) return false;
                    break;
                case Op::Char: {
                    const unsigned char unit[2] = {static_cast<unsigned char>(token.a & 0xFF),
                                                   static_cast<unsigned char>(token.a >> 8)};
                    AppendUtf16(unit, 1);
                    break;
                }
                case Op::Subst: {
                    if (values == nullptr || token.a >= values->size()) break;
                    if (!Substitute((*values)[token.a], token.optional, nesting)) return false;
                    if (TextSize() > kMaxText) return false;
                    break;
                }
                case Op::Instance:
                    if (!Instance(token, nesting)) return false;
                    break;
            }
        }
        return true;
    }

    bool RunStream(std::uint32_t pos, std::uint32_t end, bool dependencyIds, int nesting) {
        if (nesting > kMaxNesting) return false;
        std::vector<Token>& tokens = file_.scratch[nesting];
        tokens.clear();
        Parser parser(file_, chunk_, base_);
        if (!parser.Parse(pos, end, dependencyIds, tokens)) return false;
        // The list is this level's own: a nested run uses the next one.
        return Run(tokens, nullptr, nesting);
    }

    void Finish(std::uint64_t writtenTime) {
        out_.timeWritten = FileTimeToUnixSeconds(writtenTime);
        const std::uint64_t id = Number(Slot::EventId), qualifiers = Number(Slot::Qualifiers);
        out_.eventId = static_cast<std::uint32_t>(((qualifiers & 0xFFFF) << 16) | (id & 0xFFFF));
        out_.timeGenerated = FileTimeToUnixSeconds(Number(Slot::SystemTime));
        out_.category = static_cast<std::uint16_t>(Number(Slot::Task));
        const std::uint64_t keywords = Number(Slot::Keywords), level = Number(Slot::Level);
        if (keywords & 0x0020000000000000ull) {
            out_.eventType = 0x08;
        } else if (keywords & 0x0010000000000000ull) {
            out_.eventType = 0x10;
        } else if (level == 1 || level == 2) {
            out_.eventType = 0x01;
        } else if (level == 3) {
            out_.eventType = 0x02;
        } else {
            out_.eventType = 0x04;
        }
        if (sourceSeen_ && !sourceName_.empty()) {
            out_.source.swap(sourceName_);
        } else {
            out_.source.swap(providerName_);
        }
        // A record cut short inside an insertion string still ends it.
        if (openString_) EndString();
    }

private:
    struct Frame {
        Role role;
        bool hadChild;  // an element inside it was opened
        bool owns;      // the open insertion string is this element's text
    };

    struct NumberSlot {
        std::uint64_t value = 0;
        bool set = false;
        std::string text;
    };

    static Role RoleOf(Role parent, Name name, bool top) {
        switch (parent) {
            case Role::Event:
                return name == Name::System ? Role::System
                     : name == Name::EventData ? Role::EventData
                     : name == Name::UserData ? Role::UserData : Role::Ignore;
            case Role::System:
                switch (name) {
                    case Name::Provider: return Role::Provider;
                    case Name::EventID: return Role::EventID;
                    case Name::Level: return Role::Level;
                    case Name::Task: return Role::Task;
                    case Name::Keywords: return Role::Keywords;
                    case Name::TimeCreated: return Role::TimeCreated;
                    case Name::Computer: return Role::Computer;
                    default: return Role::Ignore;
                }
            case Role::EventData:
                return name == Name::Data ? Role::DataItem
                     : name == Name::Binary ? Role::BinaryItem : Role::Ignore;
            case Role::UserData:
            case Role::UserInner:
                return Role::UserInner;
            default:
                return top && name == Name::Event ? Role::Event : Role::Ignore;
        }
    }

    // Insertion strings: every Data element of EventData gives one, empty or
    // not; below UserData every attribute value and the text of every element
    // without elements inside gives one. An optional value left out (null)
    // takes its string with it.
    void Open(Name name) {
        EndAttribute();
        if (depth_ >= kMaxElementDepth) {
            ++overflow_;
            return;
        }
        Frame frame{Role::Ignore, false, false};
        if (depth_ == 0) {
            frame.role = RoleOf(Role::Ignore, name, true);
        } else {
            Frame& parent = stack_[depth_ - 1];
            frame.role = RoleOf(parent.role, name, false);
            if (parent.owns) {
                // Not a leaf after all: its text so far is no value.
                DropString();
                parent.owns = false;
            }
            parent.hadChild = true;
        }
        if (frame.role == Role::DataItem) {
            BeginString();
            frame.owns = true;
        }
        stack_[depth_++] = frame;
    }

    void Close() {
        EndAttribute();
        if (overflow_ > 0) {
            --overflow_;
            return;
        }
        if (depth_ == 0) return;
        const Frame frame = stack_[--depth_];
        if (frame.owns && openString_) EndString();
    }

    void BeginAttribute(Name name) {
        EndAttribute();
        attribute_ = AttributeSlot(name);
        if (attribute_ == Slot::Leaf) {
            BeginString();
            attributeString_ = true;
        }
    }

    void EndAttribute() {
        if (attributeString_ && openString_) EndString();
        attributeString_ = false;
        attribute_.reset();
    }

    void BeginString() {
        if (openString_) EndString();
        stringStart_ = out_.strings.size();
        openString_ = true;
        dropString_ = false;
    }

    void EndString() {
        if (dropString_) {
            DropString();
            return;
        }
        out_.strings.push_back('\0');
        ++out_.stringCount;
        openString_ = false;
    }

    void DropString() {
        if (openString_) out_.strings.resize(stringStart_);
        openString_ = false;
        dropString_ = false;
    }

    std::optional<Slot> AttributeSlot(Name name) const {
        if (depth_ == 0 || overflow_ > 0) return Slot::None;
        switch (stack_[depth_ - 1].role) {
            case Role::Provider:
                return name == Name::NameAttr ? Slot::ProviderName
                     : name == Name::EventSourceName ? Slot::SourceName : Slot::None;
            case Role::EventID: return name == Name::Qualifiers ? Slot::Qualifiers : Slot::None;
            case Role::TimeCreated: return name == Name::SystemTime ? Slot::SystemTime : Slot::None;
            case Role::UserInner: return name == Name::Xmlns ? Slot::None : Slot::Leaf;
            default: return Slot::None;
        }
    }

    Slot ContentSlot() const {
        if (depth_ == 0 || overflow_ > 0) return Slot::None;
        const Frame& frame = stack_[depth_ - 1];
        switch (frame.role) {
            case Role::EventID: return Slot::EventId;
            case Role::Level: return Slot::Level;
            case Role::Task: return Slot::Task;
            case Role::Keywords: return Slot::Keywords;
            case Role::Computer: return Slot::Computer;
            case Role::DataItem: return Slot::Data;
            case Role::BinaryItem: return Slot::Binary;
            case Role::UserInner: return frame.hadChild ? Slot::None : Slot::Leaf;
            default: return Slot::None;
        }
    }

    std::size_t TextSize() const {
        std::size_t size = out_.strings.size() + out_.computer.size() + out_.data.size() +
                           providerName_.size() + sourceName_.size();
        for (const NumberSlot& number : numbers_) size += number.text.size();
        return size;
    }

    Slot Target() const { return attribute_ ? *attribute_ : ContentSlot(); }

    std::string* TextOf(Slot slot) {
        switch (slot) {
            case Slot::ProviderName: return &providerName_;
            case Slot::SourceName: sourceSeen_ = true; return &sourceName_;
            case Slot::Computer: return &out_.computer;
            case Slot::Data: return openString_ ? &out_.strings : nullptr;
            case Slot::Leaf: return LeafText();
            default:
                if (static_cast<int>(slot) >= 1 && static_cast<int>(slot) < kNumberSlots) {
                    return &numbers_[static_cast<int>(slot)].text;
                }
                return nullptr;
        }
    }

    // The string a leaf's text goes to, begun with the first text it has.
    std::string* LeafText() {
        if (!attribute_ && !openString_ && depth_ > 0 && overflow_ == 0) {
            BeginString();
            stack_[depth_ - 1].owns = true;
        }
        return openString_ ? &out_.strings : nullptr;
    }

    void AppendUtf16(const unsigned char* units, std::uint32_t count) {
        const Slot slot = Target();
        if (slot == Slot::Binary) return;
        if (std::string* text = TextOf(slot)) AppendUtf16LeAsCp932(units, count, *text);
    }

    bool Substitute(const Value& value, bool optional, int nesting) {
        const Slot slot = Target();
        if (value.type == kNull) {
            if (slot == Slot::SourceName) sourceSeen_ = true;
            if (optional && (slot == Slot::Data || slot == Slot::Leaf)) {
                if (slot == Slot::Leaf) LeafText();
                dropString_ = openString_;
            }
            return true;
        }
        if (value.type == kBinXml) {
            if (attribute_) return true;
            const std::uint32_t pos = static_cast<std::uint32_t>(value.data - base_);
            // A fragment inside a value may hold elements of its own; they end
            // where the value ends, whatever they claim.
            const std::size_t depth = depth_;
            const bool ok = RunStream(pos, pos + value.size, false, nesting + 1);
            while (depth_ > depth) Close();
            return ok;
        }
        if (slot == Slot::None) return true;
        if (static_cast<int>(slot) < kNumberSlots) {
            NumberSlot& number = numbers_[static_cast<int>(slot)];
            if (const auto integer = IntegerOf(value)) {
                number.value = *integer;
                number.set = true;
            } else if (value.type == kString || value.type == kAnsiString) {
                AppendScalarText(value.type, value.data, value.size, number.text);
            }
            return true;
        }
        if (slot == Slot::Binary) {
            if (value.type == kBinary) out_.data.append(reinterpret_cast<const char*>(value.data), value.size);
            return true;
        }
        std::string* text = TextOf(slot);
        if (text == nullptr) return true;
        if (!(value.type & kArrayFlag)) {
            AppendScalarText(value.type, value.data, value.size, *text);
            return true;
        }
        // An array repeats its element once for every item.
        const bool split = slot == Slot::Data || slot == Slot::Leaf;
        bool first = true;
        const std::uint8_t type = value.type & ~kArrayFlag;
        ForEachArrayItem(value, [&](const unsigned char* item, std::uint32_t size) {
            if (!first) {
                if (split) {
                    EndString();
                    BeginString();
                } else {
                    text->push_back(',');
                }
            }
            first = false;
            AppendScalarText(type, item, size, *text);
        });
        return true;
    }

    bool Instance(const Token& token, int nesting) {
        if (nesting + 1 > kMaxNesting) return false;
        Template* definition = file_.TemplateAt(chunk_, token.a);
        if (definition == nullptr) return false;
        std::vector<Value>& values = file_.valueLists[nesting + 1];
        values.clear();
        const std::uint32_t count = Load<std::uint32_t>(base_ + token.b);
        std::uint32_t at = token.b + 4 + 4 * count;
        for (std::uint32_t i = 0; i < count; ++i) {
            const unsigned char* descriptor = base_ + token.b + 4 + 4 * i;
            const std::uint16_t size = Load<std::uint16_t>(descriptor);
            values.push_back({descriptor[2], base_ + at, size});
            at += size;
        }
        return Run(definition->tokens, &values, nesting + 1);
    }

    std::uint64_t Number(Slot slot) {
        NumberSlot& number = numbers_[static_cast<int>(slot)];
        if (number.set || number.text.empty()) return number.value;
        const auto parsed = slot == Slot::SystemTime ? ParseIsoTime(number.text)
                                                     : ParseInteger(number.text);
        return parsed ? *parsed : 0;
    }

    File::Impl& file_;
    Chunk& chunk_;
    const unsigned char* base_;
    Event& out_;
    std::array<Frame, kMaxElementDepth> stack_{};
    std::size_t depth_ = 0;
    std::size_t overflow_ = 0;
    std::optional<Slot> attribute_;
    std::array<NumberSlot, kNumberSlots> numbers_;
    std::string providerName_;
    std::string sourceName_;
    bool sourceSeen_ = false;
    bool openString_ = false;
    bool dropString_ = false;
    bool attributeString_ = false;
    std::size_t stringStart_ = 0;
    std::size_t work_ = 0;
};

bool IsRecordAt(const unsigned char* chunk, std::uint32_t offset, std::uint32_t limit,
                std::uint32_t& size) {
    if (offset + kRecordHeaderSize + 4 > limit) return false;
    if (Load<std::uint32_t>(chunk + offset) != kRecordMagic) return false;
    size = Load<std::uint32_t>(chunk + offset + 4);
    if (size < kRecordHeaderSize + 4 || size > limit - offset) return false;
    return Load<std::uint32_t>(chunk + offset + size - 4) == size;
}

}  // namespace

std::uint32_t FileTimeToUnixSeconds(std::uint64_t fileTime) {
    constexpr std::uint64_t kEpoch = 116444736000000000ull;  // 1970-01-01 as FILETIME
    if (fileTime <= kEpoch) return 0;
    const std::uint64_t seconds = (fileTime - kEpoch) / 10000000;
    return seconds > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(seconds);
}

Template* File::Impl::TemplateAt(Chunk& chunk, std::uint32_t offset) {
    auto found = chunk.templates.find(offset);
    if (found != chunk.templates.end()) return found->second.ready ? &found->second : nullptr;
    // Entered before parsing, not ready: a definition that uses itself fails.
    // References into the table stay valid while it grows.
    Template& entry = chunk.templates[offset];
    const unsigned char* base = data + chunk.begin;
    if (static_cast<std::uint64_t>(offset) + 24 > chunk.size) return nullptr;
    const std::uint32_t size = Load<std::uint32_t>(base + offset + 20);
    if (offset + 24ull + size > chunk.size) return nullptr;
    std::vector<Token> tokens;
    Parser parser(*this, chunk, base);
    if (!parser.Parse(offset + 24, offset + 24 + size, true, tokens)) return nullptr;
    entry.tokens = std::move(tokens);
    entry.ready = true;
    return &entry;
}

void File::Impl::ScanChunk(std::uint32_t index) {
    const Chunk& chunk = chunks[index];
    const unsigned char* base = data + chunk.begin;
    std::uint32_t limit = chunk.size;
    if (chunk.size >= kChunkHeaderSize && std::memcmp(base, "ElfChnk", 8) == 0) {
        const std::uint32_t headerCrc = Crc32(base + 128, 384, Crc32(base, 120));
        const std::uint32_t freeSpace = Load<std::uint32_t>(base + 48);
        if (headerCrc == Load<std::uint32_t>(base + 124) && freeSpace >= kChunkHeaderSize &&
            freeSpace <= chunk.size) {
            limit = freeSpace;
        }
    }
    // Records are checked one by one (signature, size, and the size again at
    // the end); after a damaged one the scan looks for the next signature.
    // Without a sound header the whole chunk is searched.
    std::uint32_t offset = kChunkHeaderSize;
    while (offset + kRecordHeaderSize + 4 <= limit) {
        std::uint32_t size = 0;
        if (IsRecordAt(base, offset, limit, size)) {
            records.push_back({Load<std::uint64_t>(base + offset + 8), index, offset, size});
            offset += size;
            continue;
        }
        const void* next = std::memchr(base + offset + 1, 0x2a, limit - offset - 1);
        if (next == nullptr) break;
        offset = static_cast<std::uint32_t>(static_cast<const unsigned char*>(next) - base);
    }
}

File::File() : impl_(std::make_unique<Impl>()) {}
File::~File() = default;

bool File::Open(const unsigned char* data, std::size_t size) {
    Impl& impl = *impl_;
    impl.data = data;
    impl.size = size;
    impl.chunks.clear();
    impl.records.clear();
    if (data == nullptr || size < 128 || std::memcmp(data, "ElfFile", 8) != 0) return false;
    // The header's own counts are not trusted: every 64 KiB block after the
    // header is looked at, the last one even when the file ends inside it.
    for (std::size_t at = kFileHeaderSize; at + kChunkHeaderSize <= size; at += kChunkSize) {
        Chunk chunk;
        chunk.begin = at;
        chunk.size = static_cast<std::uint32_t>(std::min<std::size_t>(kChunkSize, size - at));
        impl.chunks.push_back(std::move(chunk));
    }
    for (std::uint32_t i = 0; i < impl.chunks.size(); ++i) impl.ScanChunk(i);
    std::stable_sort(impl.records.begin(), impl.records.end(),
                     [](const RecordRef& a, const RecordRef& b) { return a.id > b.id; });
    // A record met twice (a copy left in a damaged chunk) is served once.
    impl.records.erase(std::unique(impl.records.begin(), impl.records.end(),
                                   [](const RecordRef& a, const RecordRef& b) { return a.id == b.id; }),
                       impl.records.end());
    return true;
}

std::size_t File::RecordCount() const { return impl_->records.size(); }

bool File::Read(std::size_t index, Event& out) {
    Impl& impl = *impl_;
    if (index >= impl.records.size()) return false;
    const RecordRef& record = impl.records[index];
    Chunk& chunk = impl.chunks[record.chunk];
    const unsigned char* base = impl.data + chunk.begin;
    out.recordId = record.id;
    out.source.clear();
    out.computer.clear();
    out.strings.clear();
    out.stringCount = 0;
    out.data.clear();
    Extractor extractor(impl, chunk, base, out);
    const std::uint32_t begin = record.offset + kRecordHeaderSize;
    if (!extractor.RunStream(begin, record.offset + record.size - 4, true, 0)) return false;
    extractor.Finish(Load<std::uint64_t>(base + record.offset + 16));
    return true;
}

}  // namespace kestrel::evtx
