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


enum class Slot : std::uint8_t {
    None, EventId, Qualifiers, Level, Task, Keywords, SystemTime,  // numbers
    ProviderName, SourceName, Computer, Data, Binary, Leaf,        // texts
};
constexpr int kNumberSlots = 7;

enum class Role : std::uint8_t {
    Root, Ignore, Event, System, Provider, EventID, Level, Task, Keywords, TimeCreated, Computer,
    EventData, DataItem, BinaryItem, UserData, UserInner,
};
constexpr std::size_t kRoleCount = 16;

Role RoleOf(Role parent, Name name) {
    switch (parent) {
        case Role::Root:
            return name == Name::Event ? Role::Event : Role::Ignore;
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
            return Role::Ignore;
    }
}

Slot AttributeSlotFor(Role role, Name name) {
    switch (role) {
        case Role::Provider:
            return name == Name::NameAttr ? Slot::ProviderName
                 : name == Name::EventSourceName ? Slot::SourceName : Slot::None;
        case Role::EventID: return name == Name::Qualifiers ? Slot::Qualifiers : Slot::None;
        case Role::TimeCreated: return name == Name::SystemTime ? Slot::SystemTime : Slot::None;
        case Role::UserInner: return name == Name::Xmlns ? Slot::None : Slot::Leaf;
        default: return Slot::None;
    }
}

Slot ContentSlotFor(Role role, bool hadChild) {
    switch (role) {
        case Role::EventID: return Slot::EventId;
        case Role::Level: return Slot::Level;
        case Role::Task: return Slot::Task;
        case Role::Keywords: return Slot::Keywords;
        case Role::Computer: return Slot::Computer;
        case Role::DataItem: return Slot::Data;
        case Role::BinaryItem: return Slot::Binary;
        case Role::UserInner: return hadChild ? Slot::None : Slot::Leaf;
        default: return Slot::None;
    }
}

// What a template does to a record when it stands at the top of it, worked
// out once: the tokens that only shape the XML are gone and every text and
// value knows where it goes. Templates with user data, nested binary XML or
// templates of their own have no plan and are walked token by token.
enum class Step : std::uint8_t { Begin, End, Text, Char, Subst, DataItem };

struct PlanStep {
    Step step;
    Slot slot = Slot::None;
    bool optional = false;
    bool attribute = false;
    Role role = Role::Root;  // Subst: the element it stands in, for nested binary XML
    std::uint32_t a = 0;     // as in Token
    std::uint32_t b = 0;
};

struct Template {
    bool ready = false;  // false while being parsed, and for good when damaged
    std::vector<Token> tokens;
    // One plan for each role of the element the template is used in.
    std::array<std::int8_t, kRoleCount> planned{};  // 0 not yet made, 1 made, -1 none possible
    std::array<std::vector<PlanStep>, kRoleCount> plans;
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

bool MakePlan(const std::vector<Token>& tokens, Role context, std::vector<PlanStep>& plan) {
    // User data and the insides of values need the element stack as it is met.
    if (context != Role::Root && context != Role::Event && context != Role::System &&
        context != Role::EventData && context != Role::Ignore) {
        return false;
    }
    std::array<Role, kMaxElementDepth> stack{};
    std::size_t depth = 0;
    bool inAttribute = false;
    Slot attributeSlot = Slot::None;
    for (const Token& token : tokens) {
        const Role top = depth > 0 ? stack[depth - 1] : context;
        const Slot slot = inAttribute ? attributeSlot : ContentSlotFor(top, false);
        switch (token.op) {
            case Op::Open: {
                inAttribute = false;
                const Role role = RoleOf(top, token.name);
                if (depth == kMaxElementDepth || role == Role::UserData || role == Role::UserInner) return false;
                stack[depth++] = role;
                if (role == Role::DataItem) plan.push_back({Step::Begin});
                break;
            }
            case Op::Attribute:
                inAttribute = true;
                attributeSlot = AttributeSlotFor(top, token.name);
                break;
            case Op::StartDone: inAttribute = false; break;
            case Op::EmptyDone:
            case Op::End:
                inAttribute = false;
                if (depth == 0) return false;
                if (stack[--depth] == Role::DataItem) plan.push_back({Step::End});
                break;
            case Op::Text:
            case Op::Char:
                if (slot != Slot::None && slot != Slot::Binary) {
                    plan.push_back({token.op == Op::Text ? Step::Text : Step::Char, slot, false, false,
                                    Role::Root, token.a, token.b});
                }
                break;
            case Op::Subst:
                // Kept even where nothing is collected: the value may be a
                // fragment of binary XML with elements that matter.
                plan.push_back({Step::Subst, slot, token.optional, inAttribute, top, token.a});
                break;
            case Op::Instance:
                return false;
        }
    }
    if (depth != 0) return false;
    // <Data>value</Data>, the common case, in one step.
    std::vector<PlanStep> folded;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        if (i + 2 < plan.size() && plan[i].step == Step::Begin && plan[i + 1].step == Step::Subst &&
            plan[i + 2].step == Step::End) {
            folded.push_back({Step::DataItem, Slot::Data, plan[i + 1].optional, false, Role::DataItem,
                              plan[i + 1].a});
            i += 2;
        } else {
            folded.push_back(plan[i]);
        }
    }
    plan.swap(folded);
    return true;
}

// The insertion strings of the record being read. Room is made before a text
// is written and only what was written counts, so a text goes in with one
// size check and no clearing.
class Texts {
public:
    char* Room(std::size_t bytes) {
        if (capacity_ - size_ < bytes || capacity_ == 0) Grow(bytes);
        return data_.get() + size_;
    }
    void Commit(const char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }
    void Push(char c) { *Room(1) = c; ++size_; }
    void Truncate(std::size_t size) { size_ = size; }
    std::size_t Size() const { return size_; }
    const char* Data() const { return data_.get(); }

private:
    void Grow(std::size_t bytes) {
        const std::size_t capacity = std::max({capacity_ * 2, size_ + bytes, std::size_t{4096}});
        std::unique_ptr<char[]> data(new char[capacity]);
        if (size_ > 0) std::memcpy(data.get(), data_.get(), size_);
        data_ = std::move(data);
        capacity_ = capacity;
    }

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
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
    std::string sourceName;  // kept between records for its room
    Texts strings;

    void ScanChunk(std::uint32_t index);
    Template* TemplateAt(Chunk& chunk, std::uint32_t offset);
};

namespace {

// Parses binary XML between two chunk offsets into tokens.
class Parser {
public:
    Parser(const Chunk& chunk, const unsigned char* base) : chunk_(chunk), base_(base) {}

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
                    NameText entity;
                    if (!ReadNameText(pos, entity)) return false;
                    const char16_t c = entity == u"lt" ? u'<' : entity == u"gt" ? u'>'
                                     : entity == u"amp" ? u'&' : entity == u"quot" ? u'"'
                                     : entity == u"apos" ? u'\'' : 0;
                    if (c != 0) tokens.push_back({Op::Char, Name::Other, 0, false, c});
                    break;
                }
                case 0x0a: {
                    ++pos;
                    NameText ignored;
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
                case 0x0c: {
                    Token instance{Op::Instance};
                    if (!ReadInstance(pos, instance)) return false;
                    tokens.push_back(instance);
                    break;
                }
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
    struct NameText {
        const unsigned char* units;
        std::uint32_t count;

        bool Is(std::u16string_view text) const {
            if (text.size() < count) return false;
            for (std::uint32_t i = 0; i < count; ++i) {
                if (Load<std::uint16_t>(units + 2 * i) != text[i]) return false;
            }
            return true;
        }
        bool operator==(std::u16string_view text) const { return text.size() == count && Is(text); }
    };

    bool ReadNameText(std::uint32_t& pos, NameText& text) {
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
        text = {base_ + at + 8, count};
        return true;
    }

    bool ReadName(std::uint32_t& pos, Name& name) {
        NameText text;
        if (!ReadNameText(pos, text)) return false;
        name = Name::Other;
        for (const KnownName& known : kKnownNames) {
            if (text == known.text) {
                name = known.name;
                return true;
            }
        }
        if (text == u"xmlns" || (text.count > 6 && NameText{text.units, 6} == u"xmlns:")) name = Name::Xmlns;
        return true;
    }

public:
    // One template instance at pos, as the whole of a stream that ends at end.
    bool InstanceAt(std::uint32_t& pos, std::uint32_t end, Token& instance) {
        end_ = end;
        return ReadInstance(pos, instance);
    }

private:
    bool ReadInstance(std::uint32_t& pos, Token& instance) {
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
        instance = {Op::Instance, Name::Other, 0, false, definition, pos};
        pos += static_cast<std::uint32_t>(total);
        return true;
    }

    const Chunk& chunk_;
    const unsigned char* base_;
    std::uint32_t end_ = 0;
};

// Walks tokens with their values and collects what the classic record needs.
class Extractor {
public:
    Extractor(File::Impl& file, Chunk& chunk, const unsigned char* base, Event& out)
        : file_(file), chunk_(chunk), base_(base), out_(out) {}

    bool Run(const std::vector<Token>& tokens, const Value* values, std::uint32_t count, int nesting) {
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
                    if (tooLong_) return false;
                    break;
                case Op::Char: {
                    const unsigned char unit[2] = {static_cast<unsigned char>(token.a & 0xFF),
                                                   static_cast<unsigned char>(token.a >> 8)};
                    AppendUtf16(unit, 1);
                    break;
                }
                case Op::Subst: {
                    if (token.a >= count) break;
                    if (!Substitute(values[token.a], token.optional, nesting)) return false;
                    if (tooLong_) return false;
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
        // Nearly every stream is a fragment header and one template instance.
        if (end - pos >= 5 && base_[pos] == 0x0f && base_[pos + 4] == 0x0c) {
            std::uint32_t at = pos + 4;
            Token instance{Op::Instance};
            Parser parser(chunk_, base_);
            if (parser.InstanceAt(at, end, instance) && (at == end || base_[at] == 0x00)) {
                return Instance(instance, nesting);
            }
        }
        std::vector<Token>& tokens = file_.scratch[nesting];
        tokens.clear();
        Parser parser(chunk_, base_);
        if (!parser.Parse(pos, end, dependencyIds, tokens)) return false;
        // The list is this level's own: a nested run uses the next one.
        return Run(tokens, nullptr, 0, nesting);
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
        if (sourceSeen_ && !file_.sourceName.empty()) out_.source = file_.sourceName;
        // A record cut short inside an insertion string still ends it.
        if (openString_) EndString();
        if (file_.strings.Size() > 0) out_.strings.assign(file_.strings.Data(), file_.strings.Size());
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
            frame.role = RoleOf(Role::Root, name);
        } else {
            Frame& parent = stack_[depth_ - 1];
            frame.role = RoleOf(parent.role, name);
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
        stringStart_ = file_.strings.Size();
        openString_ = true;
        dropString_ = false;
    }

    void EndString() {
        if (dropString_) {
            DropString();
            return;
        }
        file_.strings.Push('\0');
        ++out_.stringCount;
        openString_ = false;
    }

    void DropString() {
        if (openString_) file_.strings.Truncate(stringStart_);
        openString_ = false;
        dropString_ = false;
    }

    Slot AttributeSlot(Name name) const {
        if (depth_ == 0 || overflow_ > 0) return Slot::None;
        return AttributeSlotFor(stack_[depth_ - 1].role, name);
    }

    Slot ContentSlot() const {
        if (depth_ == 0 || overflow_ > 0) return Slot::None;
        return ContentSlotFor(stack_[depth_ - 1].role, stack_[depth_ - 1].hadChild);
    }

    // Each text is held to kMaxText; there are only so many of them.
    void Check(const std::string& text) {
        if (text.size() > kMaxText) tooLong_ = true;
    }

    Slot Target() const { return attribute_ ? *attribute_ : ContentSlot(); }

    void CheckStrings() {
        if (file_.strings.Size() > kMaxText) tooLong_ = true;
    }

    static bool IsInsertionString(Slot slot) { return slot == Slot::Data || slot == Slot::Leaf; }

    // Whether text for `slot` has an insertion string to go to (a leaf's is
    // begun with the first text it has).
    bool StringOpen(Slot slot) {
        if (slot == Slot::Leaf && !attribute_ && !openString_ && depth_ > 0 && overflow_ == 0) {
            BeginString();
            stack_[depth_ - 1].owns = true;
        }
        return openString_;
    }

    // Where text for the other slots goes.
    std::string* TextOf(Slot slot) {
        switch (slot) {
            case Slot::ProviderName: return &out_.source;
            case Slot::SourceName: sourceSeen_ = true; return &file_.sourceName;
            case Slot::Computer: return &out_.computer;
            default:
                if (static_cast<int>(slot) >= 1 && static_cast<int>(slot) < kNumberSlots) {
                    return &numbers_[static_cast<int>(slot)].text;
                }
                return nullptr;
        }
    }

    void AppendUtf16(const unsigned char* units, std::uint32_t count) { AppendUtf16To(Target(), units, count); }

    void AppendUtf16To(Slot slot, const unsigned char* units, std::uint32_t count) {
        if (slot == Slot::Binary) return;
        if (IsInsertionString(slot)) {
            if (!StringOpen(slot)) return;
            char* to = file_.strings.Room(2ull * count);
            file_.strings.Commit(to + Utf16LeToCp932(units, count, to));
            CheckStrings();
            return;
        }
        if (std::string* text = TextOf(slot)) {
            AppendUtf16LeAsCp932(units, count, *text);
            Check(*text);
        }
    }

    bool Substitute(const Value& value, bool optional, int nesting) {
        return SubstituteInto(Target(), value, optional, nesting);
    }

    bool SubstituteInto(Slot slot, const Value& value, bool optional, int nesting) {
        if (value.type == kNull) {
            if (slot == Slot::SourceName) sourceSeen_ = true;
            if (optional && IsInsertionString(slot)) dropString_ = StringOpen(slot);
            return true;
        }
        if (value.type == kBinXml) return attribute_ ? true : RunNested(value, nesting);
        if (slot == Slot::None) return true;
        if (static_cast<int>(slot) < kNumberSlots) {
            NumberSlot& number = numbers_[static_cast<int>(slot)];
            if (const auto integer = IntegerOf(value)) {
                number.value = *integer;
                number.set = true;
            } else if (value.type == kString || value.type == kAnsiString) {
                AppendScalarText(value.type, value.data, value.size, number.text);
                Check(number.text);
            }
            return true;
        }
        if (slot == Slot::Binary) {
            if (value.type == kBinary) out_.data.append(reinterpret_cast<const char*>(value.data), value.size);
            Check(out_.data);
            return true;
        }
        if (IsInsertionString(slot)) {
            if (!StringOpen(slot)) return true;
            if (!(value.type & kArrayFlag)) {
                WriteString(value.type, value.data, value.size);
                return true;
            }
            // An array repeats its element once for every item.
            bool first = true;
            const std::uint8_t type = value.type & ~kArrayFlag;
            ForEachArrayItem(value, [&](const unsigned char* item, std::uint32_t size) {
                if (!first) {
                    EndString();
                    BeginString();
                }
                first = false;
                WriteString(type, item, size);
            });
            return true;
        }
        std::string* text = TextOf(slot);
        if (text == nullptr) return true;
        if (!(value.type & kArrayFlag)) {
            AppendScalarText(value.type, value.data, value.size, *text);
            Check(*text);
            return true;
        }
        bool first = true;
        const std::uint8_t type = value.type & ~kArrayFlag;
        ForEachArrayItem(value, [&](const unsigned char* item, std::uint32_t size) {
            if (!first) text->push_back(',');
            first = false;
            AppendScalarText(type, item, size, *text);
        });
        Check(*text);
        return true;
    }

    void WriteString(std::uint8_t type, const unsigned char* data, std::uint32_t size) {
        char* to = file_.strings.Room(ScalarTextBound(type, data, size));
        file_.strings.Commit(WriteScalarText(type, data, size, to));
        CheckStrings();
    }

    bool Instance(const Token& token, int nesting) {
        if (nesting + 1 > kMaxNesting) return false;
        Template* definition = file_.TemplateAt(chunk_, token.a);
        if (definition == nullptr) return false;
        std::vector<Value>& values = file_.valueLists[nesting + 1];
        const std::uint32_t count = Load<std::uint32_t>(base_ + token.b);
        if (values.size() < count) values.resize(count);  // never shrunk: no clearing per record
        const unsigned char* descriptor = base_ + token.b + 4;
        const unsigned char* at = descriptor + 4 * count;
        for (std::uint32_t i = 0; i < count; ++i) {
            Value& value = values[i];
            const std::uint16_t size = Load<std::uint16_t>(descriptor);
            value = {descriptor[2], at, size};
            at += size;
            descriptor += 4;
        }
        if (overflow_ == 0 && !attribute_) {
            const Role context = depth_ == 0 ? Role::Root : stack_[depth_ - 1].role;
            const auto at = static_cast<std::size_t>(context);
            if (definition->planned[at] == 0) {
                definition->planned[at] = MakePlan(definition->tokens, context, definition->plans[at]) ? 1 : -1;
            }
            if (definition->planned[at] > 0) return RunPlan(definition->plans[at], values.data(), count, nesting + 1);
        }
        return Run(definition->tokens, values.data(), count, nesting + 1);
    }

    // A fragment inside a value may hold elements of its own; they end where
    // the value ends, whatever they claim.
    bool RunNested(const Value& value, int nesting) {
        const std::uint32_t pos = static_cast<std::uint32_t>(value.data - base_);
        const std::size_t depth = depth_;
        const bool ok = RunStream(pos, pos + value.size, false, nesting + 1);
        while (depth_ > depth) Close();
        return ok;
    }

    // A nested fragment met by a plan goes on in the element it stands in.
    bool RunNestedIn(Role role, const Value& value, int nesting) {
        if (depth_ >= kMaxElementDepth) return false;
        const std::size_t depth = depth_;
        if (role != Role::Root) stack_[depth_++] = Frame{role, false, false};
        const bool ok = RunNested(value, nesting);
        while (depth_ > depth) Close();
        return ok;
    }

    bool RunPlan(const std::vector<PlanStep>& plan, const Value* values, std::uint32_t count, int nesting) {
        for (const PlanStep& step : plan) {
            if (++work_ > kTokenBudget) return false;
            switch (step.step) {
                case Step::Begin: BeginString(); break;
                case Step::End: if (openString_) EndString(); break;
                case Step::Text:
                    AppendUtf16To(step.slot, base_ + step.a, step.b);
                    break;
                case Step::Char: {
                    const unsigned char unit[2] = {static_cast<unsigned char>(step.a & 0xFF),
                                                   static_cast<unsigned char>(step.a >> 8)};
                    AppendUtf16To(step.slot, unit, 1);
                    break;
                }
                case Step::Subst:
                case Step::DataItem: {
                    if (step.a >= count) {
                        if (step.step == Step::DataItem) { BeginString(); EndString(); }
                        break;
                    }
                    const Value& value = values[step.a];
                    if (value.type == kBinXml) {
                        if (!step.attribute && !RunNestedIn(step.role, value, nesting)) return false;
                        break;
                    }
                    if (step.slot == Slot::None) break;  // a value nobody reads
                    if (step.step == Step::DataItem && value.type == kString) {
                        // The bulk of every log: a text value as a whole string.
                        if (openString_) EndString();
                        const std::uint32_t units = value.size / 2;
                        char* to = file_.strings.Room(2ull * units + 1);
                        to += Utf16LeToCp932(value.data, units, to);
                        *to++ = '\0';
                        file_.strings.Commit(to);
                        ++out_.stringCount;
                        CheckStrings();
                        if (tooLong_) return false;
                        break;
                    }
                    if (step.step == Step::DataItem) BeginString();
                    SubstituteInto(step.slot, value, step.optional, nesting);
                    if (step.step == Step::DataItem && openString_) EndString();
                    if (tooLong_) return false;
                    break;
                }
            }
        }
        return true;
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
    std::array<Frame, kMaxElementDepth> stack_;  // only [0, depth_) is ever read
    std::size_t depth_ = 0;
    std::size_t overflow_ = 0;
    std::optional<Slot> attribute_;
    std::array<NumberSlot, kNumberSlots> numbers_;
    bool sourceSeen_ = false;
    bool openString_ = false;
    bool dropString_ = false;
    bool attributeString_ = false;
    std::size_t stringStart_ = 0;
    std::size_t work_ = 0;
    bool tooLong_ = false;
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
    tokens.reserve(size / 6);
    Parser parser(chunk, base);
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
#if defined(__GNUC__) || defined(__clang__)
    // Only two lines of each record are looked at here: fetch the chunk ahead.
    for (std::uint32_t at = offset; at < limit; at += 64) __builtin_prefetch(base + at);
#endif
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
    const auto newer = [](const RecordRef& a, const RecordRef& b) { return a.id > b.id; };
    const auto older = [](const RecordRef& a, const RecordRef& b) { return a.id < b.id; };
    if (std::is_sorted(impl.records.begin(), impl.records.end(), older)) {
        std::reverse(impl.records.begin(), impl.records.end());  // the usual order, met oldest first
    } else {
        std::stable_sort(impl.records.begin(), impl.records.end(), newer);
    }
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
#if defined(__GNUC__) || defined(__clang__)
    // Newest first walks the file backwards, which the processor does not
    // guess: fetch the next record while this one is read.
    if (index + 1 < impl.records.size()) {
        const RecordRef& next = impl.records[index + 1];
        const unsigned char* bytes = impl.data + impl.chunks[next.chunk].begin + next.offset;
        for (std::uint32_t at = 0; at < next.size; at += 64) __builtin_prefetch(bytes + at);
    }
#endif
    const unsigned char* base = impl.data + chunk.begin;
    const std::uint32_t begin = record.offset + kRecordHeaderSize;
    const std::uint32_t end = record.offset + record.size - 4;
    out.recordId = record.id;
    out.source.clear();
    out.computer.clear();
    out.strings.clear();
    out.stringCount = 0;
    out.data.clear();
    impl.sourceName.clear();
    impl.strings.Truncate(0);
    Extractor extractor(impl, chunk, base, out);
    if (!extractor.RunStream(begin, end, true, 0)) return false;
    extractor.Finish(Load<std::uint64_t>(base + record.offset + 16));
    return true;
}

}  // namespace kestrel::evtx
