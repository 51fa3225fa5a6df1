#include "evtx/binxml.h"

#include <array>
#include <cstring>
#include <iterator>

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

// Tokens, without the "more follows" flag (0x40).
constexpr std::uint8_t kEndOfStream = 0x00;
constexpr std::uint8_t kOpenElement = 0x01;
constexpr std::uint8_t kCloseStart = 0x02;
constexpr std::uint8_t kCloseEmpty = 0x03;
constexpr std::uint8_t kEndElement = 0x04;
constexpr std::uint8_t kValueText = 0x05;
constexpr std::uint8_t kAttribute = 0x06;
constexpr std::uint8_t kCData = 0x07;
constexpr std::uint8_t kCharRef = 0x08;
constexpr std::uint8_t kEntityRef = 0x09;
constexpr std::uint8_t kPiTarget = 0x0a;
constexpr std::uint8_t kPiData = 0x0b;
constexpr std::uint8_t kTemplateInstance = 0x0c;
constexpr std::uint8_t kNormalSubst = 0x0d;
constexpr std::uint8_t kOptionalSubst = 0x0e;
constexpr std::uint8_t kFragmentHeader = 0x0f;
constexpr std::uint8_t kMoreFollows = 0x40;

// A name: next-in-bucket offset, hash, character count, characters, NUL.
constexpr std::uint32_t kNameHeaderSize = 8;

}  // namespace

std::uint32_t ValuesSize(const unsigned char* descriptors, std::uint32_t count) {
    // Each descriptor is a 16-bit size, a type and a zero byte; summed as
    // whole words so that the compiler can do several at once. A chunk holds
    // at most 16,384 descriptors, so the sum fits.
    std::uint32_t total = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t word;
        std::memcpy(&word, descriptors + 4 * i, sizeof word);
        total += word & 0xFFFF;
    }
    return total;
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
    while (in_.Left() > 0) {
        const std::size_t at = in_.Pos();
        const std::uint8_t token = in_.Data()[at];  // at < end: the loop's own check
        switch (token & ~kMoreFollows) {
            case kEndOfStream:
                return true;
            case kFragmentHeader:
                if (!in_.Skip(4)) return false;
                break;
            case kOpenElement: {
                Name name;
                if (!in_.Skip(dependencyIds ? 7 : 5) || !ReadName(name)) return false;
                tokens.push_back({Op::Open, name});
                if ((token & kMoreFollows) && !in_.Skip(4)) return false;  // attribute list size
                break;
            }
            case kCloseStart:
                tokens.push_back({Op::StartDone});
                in_.Skip(1);
                break;
            case kCloseEmpty:
                tokens.push_back({Op::EmptyDone});
                in_.Skip(1);
                break;
            case kEndElement:
                tokens.push_back({Op::End});
                in_.Skip(1);
                break;
            case kValueText: {
                std::uint8_t type = 0;
                if (!in_.At(at + 1, type)) return false;
                if (type != kString) return in_.Fail(Reason::BadToken, at);
                if (!in_.Skip(2) || !ReadText(tokens)) return false;
                break;
            }
            case kAttribute: {
                Name name;
                if (!in_.Skip(1) || !ReadName(name)) return false;
                tokens.push_back({Op::Attribute, name});
                break;
            }
            case kCData:
                if (!in_.Skip(1) || !ReadText(tokens)) return false;
                break;
            case kCharRef: {
                std::uint16_t unit = 0;
                if (!in_.At(at + 1, unit) || !in_.Skip(3)) return false;
                tokens.push_back({Op::Char, Name::Other, 0, false, unit});
                break;
            }
            case kEntityRef: {
                NameText entity;
                if (!in_.Skip(1) || !ReadNameText(entity)) return false;
                const char16_t c = entity == u"lt"     ? u'<'
                                   : entity == u"gt"   ? u'>'
                                   : entity == u"amp"  ? u'&'
                                   : entity == u"quot" ? u'"'
                                   : entity == u"apos" ? u'\''
                                                       : 0;
                if (c != 0) tokens.push_back({Op::Char, Name::Other, 0, false, c});
                break;
            }
            case kPiTarget: {
                NameText ignored;
                if (!in_.Skip(1) || !ReadNameText(ignored)) return false;
                break;
            }
            case kPiData: {
                std::uint16_t count = 0;
                if (!in_.At(at + 1, count) || !in_.Skip(3) || !in_.Skip(2ull * count)) return false;
                break;
            }
            case kTemplateInstance: {
                Token instance{Op::Instance};
                if (!ReadInstance(instance)) return false;
                tokens.push_back(instance);
                break;
            }
            case kNormalSubst:
            case kOptionalSubst: {
                std::uint16_t index = 0;
                std::uint8_t type = 0;
                if (!in_.At(at + 1, index) || !in_.At(at + 3, type) || !in_.Skip(4)) return false;
                tokens.push_back(
                    {Op::Subst, Name::Other, type, (token & ~kMoreFollows) == kOptionalSubst, index});
                break;
            }
            default:
                return in_.Fail(Reason::BadToken, at);
        }
    }
    // Running off the end without the end token is accepted: the cursor
    // never moves past the end.
    return true;
}

bool TokenParser::InstanceAt(std::uint32_t& pos, std::uint32_t end, Token& instance,
                             std::vector<Value>* values, std::uint32_t* count) {
    if (!Start(pos, end) || !ReadInstance(instance, values, count)) return false;
    pos = static_cast<std::uint32_t>(in_.Pos());
    return true;
}

bool TokenParser::ReadText(std::vector<Token>& tokens) {
    std::uint16_t count = 0;
    if (!in_.Read(count)) return false;
    const auto at = static_cast<std::uint32_t>(in_.Pos());
    if (!in_.Skip(2ull * count)) return false;
    tokens.push_back({Op::Text, Name::Other, 0, false, at, count});
    return true;
}

// A name is stored where it is first used and referred to by offset after.
bool TokenParser::ReadNameText(NameText& text) {
    std::uint32_t at = 0;
    if (!in_.Read(at)) return false;
    std::uint16_t count = 0;
    if (!chunk_.At(static_cast<std::size_t>(at) + 6, count)) {
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

// Token, version, template identifier, definition offset; the definition
// itself when this is its first use; then the values' sizes and types and the
// values.
bool TokenParser::ReadInstance(Token& instance, std::vector<Value>* laidOut, std::uint32_t* laidOutCount) {
    const std::size_t start = in_.Pos();
    std::uint32_t definition = 0;
    if (!in_.At(start + 6, definition) || !in_.Skip(10)) return false;
    if (definition == in_.Pos()) {
        // Defined here, on first use: step over it (it is parsed on demand).
        std::uint32_t size = 0;
        if (!in_.At(in_.Pos() + 20, size) || !in_.Skip(24ull + size)) return false;
    }
    const auto values = static_cast<std::uint32_t>(in_.Pos());
    std::uint32_t count = 0;
    if (!in_.Read(count)) return false;
    const unsigned char* descriptors = nullptr;
    if (!in_.Take(4ull * count, descriptors)) return false;
    if (laidOut == nullptr) {
        if (!in_.Skip(ValuesSize(descriptors, count))) return false;
    } else {
        // Sizes summed and values placed in one pass; none is used unless
        // all of them lie inside the stream.
        if (laidOut->size() < count) laidOut->resize(count);
        const unsigned char* at = in_.Data() + in_.Pos();
        std::size_t total = 0;
        for (std::uint32_t i = 0; i < count; ++i, descriptors += 4) {
            const auto size = static_cast<std::uint16_t>(descriptors[0] | descriptors[1] << 8);
            (*laidOut)[i] = {descriptors[2], at + total, size};
            total += size;
        }
        if (!in_.Skip(total)) return false;
        *laidOutCount = count;
    }
    instance = {Op::Instance, Name::Other, 0, false, definition, values};
    return true;
}

}  // namespace kestrel::evtx
