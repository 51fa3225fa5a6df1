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

// Walks tokens with their values and collects what the classic record needs.
class Extractor {
public:
    Extractor(DecodeScratch& scratch, Chunk& chunk, Event& out, Fault& why, std::uint64_t recordAt)
        : scratch_(scratch), chunk_(chunk), base_(chunk.Data()), out_(out), why_(why), recordAt_(recordAt) {}

    bool Run(const std::vector<Token>& tokens, const Value* values, std::uint32_t count, int nesting) {
        for (const Token& token : tokens) {
            if (++work_ > kTokenBudget) return Fail(Reason::TooMuchWork);
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
                    AppendUtf16(base_ + token.TextOffset(), token.TextUnits());
                    if (tooLong_) return Fail(Reason::TooMuchWork);
                    break;
                case Op::Char: {
                    const unsigned char unit[2] = {static_cast<unsigned char>(token.Character() & 0xFF),
                                                   static_cast<unsigned char>(token.Character() >> 8)};
                    AppendUtf16(unit, 1);
                    break;
                }
                case Op::Subst: {
                    if (token.ValueIndex() >= count) break;
                    if (!Substitute(values[token.ValueIndex()], token.optional, nesting)) return false;
                    if (tooLong_) return Fail(Reason::TooMuchWork);
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
        if (sourceSeen_ && !scratch_.sourceName.empty()) out_.source = scratch_.sourceName;
        // A record cut short inside an insertion string still ends it.
        if (openString_) EndString();
        if (scratch_.strings.Size() > 0)
            out_.strings.assign(scratch_.strings.Data(), scratch_.strings.Size());
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
        stringStart_ = scratch_.strings.Size();
        openString_ = true;
        dropString_ = false;
    }

    void EndString() {
        if (dropString_) {
            DropString();
            return;
        }
        scratch_.strings.Push('\0');
        ++out_.stringCount;
        openString_ = false;
    }

    void DropString() {
        if (openString_) scratch_.strings.Truncate(stringStart_);
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
        if (scratch_.strings.Size() > kMaxText) tooLong_ = true;
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
            case Slot::ProviderName:
                return &out_.source;
            case Slot::SourceName:
                sourceSeen_ = true;
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

    void AppendUtf16(const unsigned char* units, std::uint32_t count) {
        AppendUtf16To(Target(), units, count);
    }

    void AppendUtf16To(Slot slot, const unsigned char* units, std::uint32_t count) {
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
            if (value.type == kBinary)
                out_.data.append(reinterpret_cast<const char*>(value.data), value.size);
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
        char* to = scratch_.strings.Room(ScalarTextBound(type, data, size));
        scratch_.strings.Commit(WriteScalarText(type, data, size, to));
        CheckStrings();
    }

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
        if (overflow_ == 0 && !attribute_) {
            const Role context = depth_ == 0 ? Role::Root : stack_[depth_ - 1].role;
            if (const std::vector<PlanStep>* plan = definition->PlanFor(context)) {
                return RunPlan(*plan, values.data(), count, nesting + 1);
            }
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
        if (depth_ >= kMaxElementDepth) return Fail(Reason::TooDeep);
        const std::size_t depth = depth_;
        if (role != Role::Root) stack_[depth_++] = Frame{role, false, false};
        const bool ok = RunNested(value, nesting);
        while (depth_ > depth) Close();
        return ok;
    }

    bool RunPlan(const std::vector<PlanStep>& plan, const Value* values, std::uint32_t count, int nesting) {
        for (const PlanStep& step : plan) {
            if (++work_ > kTokenBudget) return Fail(Reason::TooMuchWork);
            switch (step.step) {
                case Step::Begin:
                    BeginString();
                    break;
                case Step::End:
                    if (openString_) EndString();
                    break;
                case Step::Text:
                    AppendUtf16To(step.slot, base_ + step.TextOffset(), step.TextUnits());
                    break;
                case Step::Char: {
                    const unsigned char unit[2] = {static_cast<unsigned char>(step.Character() & 0xFF),
                                                   static_cast<unsigned char>(step.Character() >> 8)};
                    AppendUtf16To(step.slot, unit, 1);
                    break;
                }
                case Step::Subst:
                case Step::DataItem: {
                    if (step.ValueIndex() >= count) {
                        if (step.step == Step::DataItem) {
                            BeginString();
                            EndString();
                        }
                        break;
                    }
                    const Value& value = values[step.ValueIndex()];
                    if (value.type == kBinXml) {
                        if (!step.attribute && !RunNestedIn(step.role, value, nesting)) return false;
                        break;
                    }
                    if (step.slot == Slot::None) break;  // a value nobody reads
                    if (step.step == Step::DataItem && value.type == kString) {
                        // The bulk of every log: a text value as a whole string.
                        if (openString_) EndString();
                        const std::uint32_t units = value.size / 2;
                        char* to = scratch_.strings.Room(2ull * units + 1);
                        to += Utf16LeToCp932(value.data, units, to);
                        *to++ = '\0';
                        scratch_.strings.Commit(to);
                        ++out_.stringCount;
                        CheckStrings();
                        if (tooLong_) return Fail(Reason::TooMuchWork);
                        break;
                    }
                    if (step.step == Step::DataItem) BeginString();
                    SubstituteInto(step.slot, value, step.optional, nesting);
                    if (step.step == Step::DataItem && openString_) EndString();
                    if (tooLong_) return Fail(Reason::TooMuchWork);
                    break;
                }
            }
        }
        return true;
    }

    std::uint64_t Number(Slot slot) {
        NumberSlot& number = numbers_[static_cast<int>(slot)];
        if (number.set || number.text.empty()) return number.value;
        const auto parsed = slot == Slot::SystemTime ? ParseIsoTime(number.text) : ParseInteger(number.text);
        return parsed ? *parsed : 0;
    }

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
    std::uint64_t recordAt_;                     // in the file, for faults without a place of their own
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
