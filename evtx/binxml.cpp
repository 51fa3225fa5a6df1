#include "evtx/binxml.h"

#include <array>
#include <cstring>
#include <iterator>

#include "evtx/binxml_tokens.h"
#include "evtx/layout.h"
#include "evtx/values.h"

namespace kestrel::evtx {
namespace {

struct KnownName {
    std::u16string_view text;
    Name name;
};
// By length, so that a name is compared only with those as long as itself.
constexpr KnownName kKnownNames[] = {
    {u"Task", Name::Task},
    {u"Data", Name::Data},
    {u"Name", Name::NameAttr},
    {u"Event", Name::Event},
    {u"Level", Name::Level},
    {u"System", Name::System},
    {u"Binary", Name::Binary},
    {u"EventID", Name::EventID},
    {u"Provider", Name::Provider},
    {u"Keywords", Name::Keywords},
    {u"Computer", Name::Computer},
    {u"UserData", Name::UserData},
    {u"EventData", Name::EventData},
    {u"Qualifiers", Name::Qualifiers},
    {u"SystemTime", Name::SystemTime},
    {u"TimeCreated", Name::TimeCreated},
    {u"EventSourceName", Name::EventSourceName},
};
constexpr std::size_t kKnownCount = std::size(kKnownNames);

// For each length up to 15, where the known names of that length begin.
struct LengthIndex {
    std::array<std::uint8_t, 17> begin{};
};
constexpr LengthIndex MakeLengthIndex() {
    LengthIndex index;
    std::size_t at = 0;
    for (std::size_t length = 0; length <= 16; ++length) {
        while (at < kKnownCount && kKnownNames[at].text.size() < length) ++at;
        index.begin[length] = static_cast<std::uint8_t>(at);
    }
    return index;
}
constexpr LengthIndex kByLength = MakeLengthIndex();

}  // namespace

std::uint32_t ValuesSize(const unsigned char* descriptors, std::uint32_t count) {
    // Each descriptor is a 16-bit size, a type and a zero byte; summed as
    // whole words so that the compiler can do several at once. A chunk holds
    // at most 16,384 descriptors, so the sum fits.
    std::uint32_t total = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t word;
        std::memcpy(&word, descriptors + kDescriptorSize * i, sizeof word);
        total += word & 0xFFFF;
    }
    return total;
}

bool ReadValueList(ByteCursor& in, std::vector<Value>* values, std::uint32_t& count) {
    const unsigned char* descriptors = nullptr;
    if (!in.Read(count) || !in.Take(std::uint64_t{kDescriptorSize} * count, descriptors)) return false;
    if (values == nullptr) return in.Skip(ValuesSize(descriptors, count));
    // Sizes summed and values placed in one pass.
    if (values->size() < count) values->resize(count);  // never shrunk: no clearing per record
    const unsigned char* at = in.Data() + in.Pos();
    std::size_t total = 0;
    for (std::uint32_t i = 0; i < count; ++i, descriptors += kDescriptorSize) {
        const auto size = static_cast<std::uint16_t>(descriptors[0] | descriptors[1] << 8);
        (*values)[i] = {descriptors[kDescriptorTypeAt], at + total, size};
        total += size;
    }
    return in.Skip(total);
}

bool TokenParser::NameText::operator==(std::u16string_view text) const {
    if (text.size() != count) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto unit = static_cast<char16_t>(units[2 * i] | units[2 * i + 1] << 8);
        if (unit != text[i]) return false;
    }
    return true;
}

bool TokenParser::Start(std::uint32_t pos, std::uint32_t end) {
    in_ = ByteCursor(chunk_.Data(), end <= chunk_.Size() ? end : chunk_.Size(), fileOffset_);
    return in_.Seek(pos);
}

bool TokenParser::Parse(std::uint32_t pos, std::uint32_t end, bool dependencyIds,
                        std::vector<Token>& tokens) {
    if (!Start(pos, end)) return false;
    tokens_ = &tokens;
    dependencyIds_ = dependencyIds;
    while (in_.Left() > 0) {
        const std::size_t at = in_.Pos();
        const std::uint8_t byte = in_.Data()[at];  // at < end: the loop's own check
        if (CodeOf(byte) == TokenCode::EndOfStream) return true;
        if (!ReadToken(byte, at)) return false;
    }
    // Running off the end without the end token is accepted: the cursor
    // never moves past the end.
    return true;
}

bool TokenParser::ReadToken(std::uint8_t byte, std::size_t at) {
    switch (CodeOf(byte)) {
        case TokenCode::FragmentHeader:
            return in_.Skip(kFragmentHeaderSize);  // versions and flags: nothing depends on them
        case TokenCode::OpenElement:
            return ReadOpenElement(byte);
        case TokenCode::CloseStart:
            return ReadClose(Op::StartDone);
        case TokenCode::CloseEmpty:
            return ReadClose(Op::EmptyDone);
        case TokenCode::EndElement:
            return ReadClose(Op::End);
        case TokenCode::Value:
            return ReadValueText(at);
        case TokenCode::Attribute:
            return ReadAttribute();
        case TokenCode::CData:
            return ReadCData();
        case TokenCode::CharRef:
            return ReadCharRef(at);
        case TokenCode::EntityRef:
            return ReadEntityRef();
        case TokenCode::PiTarget:
            return ReadPiTarget();
        case TokenCode::PiData:
            return ReadPiData(at);
        case TokenCode::TemplateInstance:
            return ReadTemplateInstance();
        case TokenCode::NormalSubstitution:
        case TokenCode::OptionalSubstitution:
            return ReadSubstitution(byte, at);
        default:
            return in_.Fail(Reason::BadToken, at);
    }
}

// The dependency identifier and the data size are not needed: the tokens
// say where the element ends.
bool TokenParser::ReadOpenElement(std::uint8_t byte) {
    Name name;
    if (!in_.Skip(OpenElementHeaderSize(dependencyIds_)) || !ReadName(name)) return false;
    tokens_->push_back(Token::Of(Op::Open, name));
    // The attribute list's size, likewise not needed.
    return !MoreFollows(byte) || in_.Skip(kAttributeListSizeSize);
}

bool TokenParser::ReadClose(Op op) {
    tokens_->push_back(Token::Of(op));
    return in_.Skip(1);
}

// Only text values stand in binary XML itself; the rest come by substitution.
bool TokenParser::ReadValueText(std::size_t at) {
    std::uint8_t valueType = 0;
    if (!in_.At(at + kValueTypeAt, valueType)) return false;
    if (valueType != kString) return in_.Fail(Reason::BadToken, at);
    return in_.Skip(kValueHeaderSize) && ReadText();
}

bool TokenParser::ReadAttribute() {
    Name name;
    if (!in_.Skip(1) || !ReadName(name)) return false;
    tokens_->push_back(Token::Of(Op::Attribute, name));
    return true;
}

bool TokenParser::ReadCData() { return in_.Skip(1) && ReadText(); }

bool TokenParser::ReadCharRef(std::size_t at) {
    std::uint16_t unit = 0;
    if (!in_.At(at + kCharRefUnitAt, unit) || !in_.Skip(kCharRefSize)) return false;
    tokens_->push_back(Token::Char(unit));
    return true;
}

// The five entities XML predefines; any other gives nothing.
bool TokenParser::ReadEntityRef() {
    NameText entity;
    if (!in_.Skip(1) || !ReadNameText(entity)) return false;
    const char16_t c = entity == u"lt"     ? u'<'
                       : entity == u"gt"   ? u'>'
                       : entity == u"amp"  ? u'&'
                       : entity == u"quot" ? u'"'
                       : entity == u"apos" ? u'\''
                                           : 0;
    if (c != 0) tokens_->push_back(Token::Char(c));
    return true;
}

// Processing instructions are no part of an event's values: stepped over.
bool TokenParser::ReadPiTarget() {
    NameText target;
    return in_.Skip(1) && ReadNameText(target);
}

bool TokenParser::ReadPiData(std::size_t at) {
    std::uint16_t units = 0;
    return in_.At(at + kPiDataCountAt, units) && in_.Skip(kPiDataHeaderSize) && in_.Skip(2ull * units);
}

bool TokenParser::ReadTemplateInstance() {
    Token instance;
    if (!ReadInstance(instance)) return false;
    tokens_->push_back(instance);
    return true;
}

bool TokenParser::ReadSubstitution(std::uint8_t byte, std::size_t at) {
    std::uint16_t index = 0;
    std::uint8_t valueType = 0;
    if (!in_.At(at + kSubstitutionIndexAt, index) || !in_.At(at + kSubstitutionTypeAt, valueType) ||
        !in_.Skip(kSubstitutionSize)) {
        return false;
    }
    tokens_->push_back(Token::Subst(index, valueType, CodeOf(byte) == TokenCode::OptionalSubstitution));
    return true;
}

bool TokenParser::InstanceAt(std::uint32_t& pos, std::uint32_t end, Token& instance,
                             std::vector<Value>* values, std::uint32_t* count) {
    if (!Start(pos, end) || !ReadInstance(instance, values, count)) return false;
    pos = static_cast<std::uint32_t>(in_.Pos());
    return true;
}

bool TokenParser::ReadText() {
    std::uint16_t units = 0;
    if (!in_.Read(units)) return false;
    const auto at = static_cast<std::uint32_t>(in_.Pos());
    if (!in_.Skip(2ull * units)) return false;
    tokens_->push_back(Token::Text(at, units));
    return true;
}

// A name is stored where it is first used and referred to by offset after.
bool TokenParser::ReadNameText(NameText& text) {
    std::uint32_t at = 0;
    if (!in_.Read(at)) return false;
    std::uint16_t count = 0;
    if (!chunk_.At(static_cast<std::size_t>(at) + kNameCountAt, count)) {
        return in_.Fail(Reason::BadName, in_.Pos() - 4);
    }
    const std::uint64_t bytes = kNameHeaderSize + 2ull * count + 2;
    if (at + bytes > chunk_.Size()) return in_.Fail(Reason::BadName, in_.Pos() - 4);
    if (at == in_.Pos() && !in_.Skip(bytes)) return false;
    text = {chunk_.Data() + at + kNameHeaderSize, count};
    return true;
}

bool TokenParser::ReadName(Name& name) {
    NameText text;
    if (!ReadNameText(text)) return false;
    name = Name::Other;
    if (text.count < 16) {
        for (std::size_t i = kByLength.begin[text.count]; i < kByLength.begin[text.count + 1]; ++i) {
            if (text == kKnownNames[i].text) {
                name = kKnownNames[i].name;
                return true;
            }
        }
    }
    if (text == u"xmlns" || (text.count > 6 && NameText{text.units, 6} == u"xmlns:")) name = Name::Xmlns;
    return true;
}

// The header, the definition when this is its first use (stepped over: it
// is parsed on demand), then the values.
bool TokenParser::ReadInstance(Token& instance, std::vector<Value>* values, std::uint32_t* count) {
    const std::size_t start = in_.Pos();
    std::uint32_t definition = 0;
    if (!in_.At(start + kInstanceDefinitionAt, definition) || !in_.Skip(kInstanceHeaderSize)) return false;
    if (definition == in_.Pos()) {
        std::uint32_t size = 0;
        if (!in_.At(in_.Pos() + layout::kTemplateDataSize.offset, size) ||
            !in_.Skip(std::uint64_t{layout::kTemplateHeaderSize} + size)) {
            return false;
        }
    }
    const auto valuesAt = static_cast<std::uint32_t>(in_.Pos());
    std::uint32_t valueCount = 0;
    if (!ReadValueList(in_, values, valueCount)) return false;
    if (count != nullptr) *count = valueCount;
    instance = Token::Instance(definition, valuesAt);
    return true;
}

}  // namespace kestrel::evtx
