#include "evtx/event_fields.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "base/file_time.h"
#include "base/utf16_cp932.h"
#include "evtx/binxml_tokens.h"
#include "evtx/chunk.h"
#include "evtx/layout.h"

namespace kestrel::evtx {
namespace {

// Values can repeat a template many times over; a record that asks for more
// work or text than this is damaged, not a real event.
constexpr std::size_t kTokenBudget = 1 << 18;
constexpr std::size_t kMaxText = 1 << 20;

// Walks a record's binary XML with its values and collects what the classic
// record needs. Templates with a plan run their plan, the rest token by
// token; both put texts and values where they go with the same operations.
class Extractor {
public:
    Extractor(DecodeScratch& scratch, Chunk& chunk, Event& out, Fault& why, std::uint64_t recordAt)
        : scratch_(scratch), chunk_(chunk), base_(chunk.Data()), out_(out), why_(why), recordAt_(recordAt) {}

    // The binary XML between pos and end, `nesting` values deep.
    bool RunStream(std::uint32_t pos, std::uint32_t end, bool dependencyIds, int nesting) {
        if (nesting > kMaxNesting) return Fail(Reason::TooDeep);
        // Nearly every stream is a fragment header and one template instance.
        if (end - pos >= kFragmentHeaderSize + 1 && base_[pos] == TokenByte(TokenCode::FragmentHeader) &&
            base_[pos + kFragmentHeaderSize] == TokenByte(TokenCode::TemplateInstance)) {
            std::uint32_t at = pos + kFragmentHeaderSize;
            Token instance;
            TokenParser parser(base_, chunk_.Size(), chunk_.FileOffset());
            std::vector<Value>& values = scratch_.values[nesting + 1];
            std::uint32_t count = 0;
            if (nesting + 1 <= kMaxNesting && parser.InstanceAt(at, end, instance, &values, &count) &&
                (at == end || base_[at] == TokenByte(TokenCode::EndOfStream))) {
                return Expand(instance, values, count, nesting);
            }
        }
        std::vector<Token>& tokens = scratch_.tokens[nesting];
        tokens.clear();
        TokenParser parser(base_, chunk_.Size(), chunk_.FileOffset());
        if (!parser.Parse(pos, end, dependencyIds, tokens)) return Fail(parser.LastFault());
        // The list is this level's own: a nested run uses the next one.
        return Run(tokens, nullptr, 0, nesting);
    }

    void Finish(std::uint64_t writtenTime) {
        out_.timeWritten = FileTimeToUnixSeconds(writtenTime);
        const std::uint64_t id = Number(Slot::EventId), qualifiers = Number(Slot::Qualifiers);
        out_.eventId = static_cast<std::uint32_t>(((qualifiers & 0xFFFF) << 16) | (id & 0xFFFF));
        out_.timeGenerated = FileTimeToUnixSeconds(Number(Slot::SystemTime));
        out_.category = static_cast<std::uint16_t>(Number(Slot::Task));
        out_.eventType = EventType(Number(Slot::Keywords), Number(Slot::Level));
        if (sourceNameSeen_ && !scratch_.sourceName.empty()) out_.source = scratch_.sourceName;
        // A record cut short inside an insertion string still ends it.
        if (string_.open) EndString();
        if (scratch_.strings.Size() > 0)
            out_.strings.assign(scratch_.strings.Data(), scratch_.strings.Size());
    }

private:
    struct Frame {
        Role role;
        bool hadChild;  // an element inside it was opened
        bool owns;      // the open insertion string is this element's text
    };

    // The elements open at this point of the record.
    struct Elements {
        std::array<Frame, kMaxElementDepth> stack;  // only [0, depth) is ever read
        std::size_t depth = 0;
        std::size_t overflow = 0;  // opened past the stack's end: counted, not kept
    };

    // The insertion string being written.
    struct OpenString {
        bool open = false;
        bool dropped = false;      // its optional value was null: it goes when it ends
        bool ofAttribute = false;  // an attribute's value: it ends with the attribute
        std::size_t start = 0;     // where it begins among the strings
    };

    // What one record may ask for before it counts as damaged.
    struct Budget {
        std::size_t work = 0;  // tokens and steps run
        bool tooLong = false;  // a text went past kMaxText
    };

    struct NumberSlot {
        std::uint64_t value = 0;
        bool set = false;
        std::string text;
    };

    // --- The two ways through a template ------------------------------------

    // Token by token: where a text or value goes follows from the elements
    // and the attribute open as it is met.
    bool Run(const std::vector<Token>& tokens, const Value* values, std::uint32_t count, int nesting) {
        for (const Token& token : tokens) {
            if (++budget_.work > kTokenBudget) return Fail(Reason::TooMuchWork);
            switch (token.op) {
                case Op::Open:
                    Open(token.name);
                    break;
                case Op::Attribute:
                    BeginAttribute(token.name);
                    break;
                case Op::StartDone:
                    EndAttribute();
                    break;
                case Op::EmptyDone:
                    EndAttribute();
                    Close();
                    break;
                case Op::End:
                    Close();
                    break;
                case Op::Text:
                    AppendText(Target(), token);
                    if (!WithinBudget()) return false;
                    break;
                case Op::Char:
                    AppendChar(Target(), token.Character());
                    break;
                case Op::Subst:
                    if (!Substitute(token, values, count, nesting)) return false;
                    break;
                case Op::Instance:
                    if (!Instance(token, nesting)) return false;
                    break;
            }
        }
        return true;
    }

    // By a plan: every step knows its slot already.
    bool RunPlan(const std::vector<PlanStep>& plan, const Value* values, std::uint32_t count, int nesting) {
        for (const PlanStep& step : plan) {
            if (++budget_.work > kTokenBudget) return Fail(Reason::TooMuchWork);
            switch (step.step) {
                case Step::Begin:
                    BeginString();
                    break;
                case Step::End:
                    EndOpenString();
                    break;
                case Step::Text:
                    AppendText(step.slot, step);  // its length is checked with the next value
                    break;
                case Step::Char:
                    AppendChar(step.slot, step.Character());
                    break;
                case Step::Subst:
                    if (!Substitute(step, values, count, nesting)) return false;
                    break;
                case Step::DataItem:
                    if (!DataItem(step, values, count, nesting)) return false;
                    break;
            }
        }
        return true;
    }

    // A substitution met token by token: its slot is where the walk stands.
    bool Substitute(const Token& token, const Value* values, std::uint32_t count, int nesting) {
        if (token.ValueIndex() >= count) return true;
        const Value& value = values[token.ValueIndex()];
        if (value.type == kBinXml) {
            if (!attribute_ && !RunNested(value, nesting)) return false;
        } else {
            Place(Target(), value, token.optional);
        }
        return WithinBudget();
    }

    // A substitution of a plan: its slot and element were worked out before.
    bool Substitute(const PlanStep& step, const Value* values, std::uint32_t count, int nesting) {
        if (step.ValueIndex() >= count) return true;
        const Value& value = values[step.ValueIndex()];
        if (value.type == kBinXml) return step.attribute || RunNestedIn(step.role, value, nesting);
        if (step.slot == Slot::None) return true;  // a value nobody reads
        Place(step.slot, value, step.optional);
        return WithinBudget();
    }

    // <Data>value</Data>: one insertion string, whatever the value.
    bool DataItem(const PlanStep& step, const Value* values, std::uint32_t count, int nesting) {
        if (step.ValueIndex() >= count) {
            BeginString();
            EndString();
            return true;
        }
        const Value& value = values[step.ValueIndex()];
        if (value.type == kBinXml) return RunNestedIn(step.role, value, nesting);
        if (value.type == kString) {
            WholeString(value);  // the bulk of every log
        } else {
            BeginString();
            Place(step.slot, value, step.optional);
            EndOpenString();
        }
        return WithinBudget();
    }

    // --- Templates and nested fragments --------------------------------------

    bool Instance(const Token& token, int nesting) {
        if (nesting + 1 > kMaxNesting) return Fail(Reason::TooDeep);
        std::vector<Value>& values = scratch_.values[nesting + 1];
        // The parser checked that the sizes and the values fit the stream.
        ByteCursor in(base_, chunk_.Size(), chunk_.FileOffset());
        std::uint32_t count = 0;
        if (!in.Seek(token.ValuesOffset()) || !ReadValueList(in, &values, count)) return Fail(in.LastFault());
        return Expand(token, values, count, nesting);
    }

    // A template instance whose values are laid out: the template's plan for
    // the element it stands in, or its tokens.
    bool Expand(const Token& token, std::vector<Value>& values, std::uint32_t count, int nesting) {
        if (nesting + 1 > kMaxNesting) return Fail(Reason::TooDeep);
        Template* definition = chunk_.TemplateAt(token.DefinitionOffset(), why_);
        if (definition == nullptr) return false;
        if (elements_.overflow == 0 && !attribute_) {
            const Role context = elements_.depth == 0 ? Role::Root : Top().role;
            if (const std::vector<PlanStep>* plan = definition->PlanFor(context)) {
                return RunPlan(*plan, values.data(), count, nesting + 1);
            }
        }
        return Run(definition->tokens, values.data(), count, nesting + 1);
    }

    // A fragment inside a value may hold elements of its own; they end where
    // the value ends, whatever they claim.
    bool RunNested(const Value& value, int nesting) {
        const auto pos = static_cast<std::uint32_t>(value.data - base_);
        const std::size_t depth = elements_.depth;
        const bool ok = RunStream(pos, pos + value.size, false, nesting + 1);
        while (elements_.depth > depth) Close();
        return ok;
    }

    // A nested fragment met by a plan goes on in the element it stands in.
    bool RunNestedIn(Role role, const Value& value, int nesting) {
        if (elements_.depth >= kMaxElementDepth) return Fail(Reason::TooDeep);
        const std::size_t depth = elements_.depth;
        if (role != Role::Root) elements_.stack[elements_.depth++] = Frame{role, false, false};
        const bool ok = RunNested(value, nesting);
        while (elements_.depth > depth) Close();
        return ok;
    }

    // --- Elements and attributes ----------------------------------------------

    // Insertion strings: every Data element of EventData gives one, empty or
    // not; below UserData every attribute value and the text of every element
    // without elements inside gives one. An optional value left out (null)
    // takes its string with it.
    void Open(Name name) {
        EndAttribute();
        if (elements_.depth >= kMaxElementDepth) {
            ++elements_.overflow;
            return;
        }
        Frame frame{Role::Ignore, false, false};
        if (elements_.depth == 0) {
            frame.role = RoleOf(Role::Root, name);
        } else {
            Frame& parent = Top();
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
        elements_.stack[elements_.depth++] = frame;
    }

    void Close() {
        EndAttribute();
        if (elements_.overflow > 0) {
            --elements_.overflow;
            return;
        }
        if (elements_.depth == 0) return;
        const Frame frame = elements_.stack[--elements_.depth];
        if (frame.owns) EndOpenString();
    }

    void BeginAttribute(Name name) {
        EndAttribute();
        attribute_ = AttributeSlot(name);
        if (attribute_ == Slot::Leaf) {
            BeginString();
            string_.ofAttribute = true;
        }
    }

    void EndAttribute() {
        if (string_.ofAttribute) EndOpenString();
        string_.ofAttribute = false;
        attribute_.reset();
    }

    Frame& Top() { return elements_.stack[elements_.depth - 1]; }
    bool InElement() const { return elements_.depth > 0 && elements_.overflow == 0; }

    Slot AttributeSlot(Name name) { return InElement() ? AttributeSlotFor(Top().role, name) : Slot::None; }

    Slot ContentSlot() { return InElement() ? ContentSlotFor(Top().role, Top().hadChild) : Slot::None; }

    // Where a text or value met token by token goes.
    Slot Target() { return attribute_ ? *attribute_ : ContentSlot(); }

    // --- Insertion strings ----------------------------------------------------

    void BeginString() {
        if (string_.open) EndString();
        string_.start = scratch_.strings.Size();
        string_.open = true;
        string_.dropped = false;
    }

    void EndString() {
        if (string_.dropped) {
            DropString();
            return;
        }
        scratch_.strings.Push('\0');
        ++out_.stringCount;
        string_.open = false;
    }

    void EndOpenString() {
        if (string_.open) EndString();
    }

    void DropString() {
        if (string_.open) scratch_.strings.Truncate(string_.start);
        string_.open = false;
        string_.dropped = false;
    }

    // Whether text for `slot` has an insertion string to go to (a leaf's is
    // begun with the first text it has).
    bool StringOpen(Slot slot) {
        if (slot == Slot::Leaf && !attribute_ && !string_.open && InElement()) {
            BeginString();
            Top().owns = true;
        }
        return string_.open;
    }

    // A text value as a whole insertion string, converted in place.
    void WholeString(const Value& value) {
        EndOpenString();
        const std::uint32_t units = value.size / 2;
        char* to = scratch_.strings.Room(2ull * units + 1);
        to += Utf16LeToCp932(value.data, units, to);
        *to++ = '\0';
        scratch_.strings.Commit(to);
        ++out_.stringCount;
        CheckStrings();
    }

    void WriteString(std::uint8_t type, const unsigned char* data, std::uint32_t size) {
        char* to = scratch_.strings.Room(ScalarTextBound(type, data, size));
        scratch_.strings.Commit(WriteScalarText(type, data, size, to));
        CheckStrings();
    }

    static bool IsInsertionString(Slot slot) { return slot == Slot::Data || slot == Slot::Leaf; }

    // --- Texts and values into their slots --------------------------------------

    void AppendText(Slot slot, const Operands& text) {
        AppendUtf16(slot, base_ + text.TextOffset(), text.TextUnits());
    }

    void AppendChar(Slot slot, char16_t c) {
        const unsigned char unit[2] = {static_cast<unsigned char>(c & 0xFF),
                                       static_cast<unsigned char>(c >> 8)};
        AppendUtf16(slot, unit, 1);
    }

    void AppendUtf16(Slot slot, const unsigned char* units, std::uint32_t count) {
        if (slot == Slot::Binary) return;
        if (IsInsertionString(slot)) {
            if (!StringOpen(slot)) return;
            char* to = scratch_.strings.Room(2ull * count);
            scratch_.strings.Commit(to + Utf16LeToCp932(units, count, to));
            CheckStrings();
            return;
        }
        if (std::string* text = TextOf(slot)) {
            AppendUtf16LeAsCp932(units, count, *text);
            Check(*text);
        }
    }

    // A value other than binary XML into `slot`.
    void Place(Slot slot, const Value& value, bool optional) {
        if (value.type == kNull) {
            if (slot == Slot::SourceName) sourceNameSeen_ = true;
            if (optional && IsInsertionString(slot)) string_.dropped = StringOpen(slot);
            return;
        }
        if (slot == Slot::None) return;
        if (static_cast<int>(slot) < kNumberSlots) {
            PlaceNumber(numbers_[static_cast<int>(slot)], value);
        } else if (slot == Slot::Binary) {
            if (value.type == kBinary)
                out_.data.append(reinterpret_cast<const char*>(value.data), value.size);
            Check(out_.data);
        } else if (IsInsertionString(slot)) {
            if (StringOpen(slot)) PlaceStrings(value);
        } else if (std::string* text = TextOf(slot)) {
            PlaceText(value, *text);
        }
    }

    void PlaceNumber(NumberSlot& number, const Value& value) {
        if (const auto integer = IntegerOf(value)) {
            number.value = *integer;
            number.set = true;
        } else if (value.type == kString || value.type == kAnsiString) {
            AppendScalarText(value.type, value.data, value.size, number.text);
            Check(number.text);
        }
    }

    // An array repeats its element once for every item: one string each.
    void PlaceStrings(const Value& value) {
        if (!(value.type & kArrayFlag)) {
            WriteString(value.type, value.data, value.size);
            return;
        }
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
    }

    // Into a System text, an array's items separated by commas.
    void PlaceText(const Value& value, std::string& text) {
        if (!(value.type & kArrayFlag)) {
            AppendScalarText(value.type, value.data, value.size, text);
            Check(text);
            return;
        }
        bool first = true;
        const std::uint8_t type = value.type & ~kArrayFlag;
        ForEachArrayItem(value, [&](const unsigned char* item, std::uint32_t size) {
            if (!first) text.push_back(',');
            first = false;
            AppendScalarText(type, item, size, text);
        });
        Check(text);
    }

    // Where text for the slots other than numbers and insertion strings goes.
    std::string* TextOf(Slot slot) {
        switch (slot) {
            case Slot::ProviderName:
                return &out_.source;
            case Slot::SourceName:
                sourceNameSeen_ = true;
                return &scratch_.sourceName;
            case Slot::Computer:
                return &out_.computer;
            default:
                if (static_cast<int>(slot) >= 1 && static_cast<int>(slot) < kNumberSlots) {
                    return &numbers_[static_cast<int>(slot)].text;
                }
                return nullptr;
        }
    }

    // --- The classic record's numbers -------------------------------------------

    std::uint64_t Number(Slot slot) {
        NumberSlot& number = numbers_[static_cast<int>(slot)];
        if (number.set || number.text.empty()) return number.value;
        const auto parsed = slot == Slot::SystemTime ? ParseIsoTime(number.text) : ParseInteger(number.text);
        return parsed ? *parsed : 0;
    }

    static std::uint16_t EventType(std::uint64_t keywords, std::uint64_t level) {
        if (keywords & 0x0020000000000000ull) return 0x08;  // audit success
        if (keywords & 0x0010000000000000ull) return 0x10;  // audit failure
        if (level == 1 || level == 2) return 0x01;          // error
        if (level == 3) return 0x02;                        // warning
        return 0x04;                                        // information
    }

    // --- Limits and faults ------------------------------------------------------

    // Each text is held to kMaxText; there are only so many of them.
    void Check(const std::string& text) {
        if (text.size() > kMaxText) budget_.tooLong = true;
    }

    void CheckStrings() {
        if (scratch_.strings.Size() > kMaxText) budget_.tooLong = true;
    }

    bool WithinBudget() { return !budget_.tooLong || Fail(Reason::TooMuchWork); }

    bool Fail(Reason reason) { return Fail(Fault{reason, recordAt_}); }
    bool Fail(const Fault& fault) {
        if (!why_) why_ = fault;
        return false;
    }

    DecodeScratch& scratch_;
    Chunk& chunk_;
    const unsigned char* base_;
    Event& out_;
    Fault& why_;
    std::uint64_t recordAt_;  // in the file, for faults without a place of their own
    Elements elements_;
    std::optional<Slot> attribute_;  // the attribute being read, by where its value goes
    OpenString string_;
    Budget budget_;
    std::array<NumberSlot, kNumberSlots> numbers_;
    bool sourceNameSeen_ = false;  // an EventSourceName attribute, which wins over Name
};

}  // namespace

void Texts::Grow(std::size_t bytes) {
    const std::size_t capacity = std::max({capacity_ * 2, size_ + bytes, std::size_t{4096}});
    std::unique_ptr<char[]> data(new char[capacity]);
    if (size_ > 0) std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = capacity;
}

bool ReadEventFields(Chunk& chunk, std::uint32_t offset, std::uint32_t size, DecodeScratch& scratch,
                     Event& out, Fault& why) {
    const unsigned char* record = chunk.Data() + offset;
    out.recordId = FieldOf(record, layout::kRecordId);
    out.source.clear();
    out.computer.clear();
    out.strings.clear();
    out.stringCount = 0;
    out.data.clear();
    scratch.sourceName.clear();
    scratch.strings.Truncate(0);
    Extractor extractor(scratch, chunk, out, why, chunk.FileOffset() + offset);
    const std::uint32_t begin = offset + layout::kRecordHeaderSize;
    const std::uint32_t end = offset + size - layout::kRecordTrailerSize;
    if (!extractor.RunStream(begin, end, true, 0)) return false;
    extractor.Finish(FieldOf(record, layout::kRecordWritten));
    return true;
}

}  // namespace kestrel::evtx
