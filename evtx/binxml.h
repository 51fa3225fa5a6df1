#pragma once
// Binary XML: its tokens, read into a list with names resolved and every
// offset checked, so that a template is parsed once per chunk however many
// records use it.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "evtx/cursor.h"
#include "evtx/values.h"

namespace kestrel::evtx {

// The element and attribute names that matter; every other name is Other.
enum class Name : std::uint8_t {
    Other,
    Event,
    System,
    Provider,
    EventID,
    Level,
    Task,
    Keywords,
    TimeCreated,
    Computer,
    EventData,
    Data,
    Binary,
    UserData,
    NameAttr,
    EventSourceName,
    Qualifiers,
    SystemTime,
    Xmlns,  // a namespace declaration, which is no value of the event
};

enum class Op : std::uint8_t {
    Open,
    Attribute,
    StartDone,
    EmptyDone,
    End,
    Text,
    Char,
    Subst,
    Instance,
};

// What a token or a plan step carries besides its kind, by kind: a text's
// place in the chunk and length, one character, a value's index, or where a
// template instance's definition and values lie.
struct Operands {
    std::uint32_t first = 0;
    std::uint32_t second = 0;

    std::uint32_t TextOffset() const { return first; }  // in the chunk
    std::uint32_t TextUnits() const { return second; }  // UTF-16 units
    char16_t Character() const { return static_cast<char16_t>(first); }
    std::uint32_t ValueIndex() const { return first; }
    std::uint32_t DefinitionOffset() const { return first; }  // in the chunk
    std::uint32_t ValuesOffset() const { return second; }     // in the chunk, at the value count
};

struct Token : Operands {
    Op op = Op::End;
    Name name = Name::Other;  // Open, Attribute
    std::uint8_t type = 0;    // Subst: the declared value type
    bool optional = false;    // Subst: a null value takes its element with it

    static Token Of(Op op, Name name = Name::Other) {
        Token token;
        token.op = op;
        token.name = name;
        return token;
    }
    static Token Text(std::uint32_t offset, std::uint32_t units) { return With(Op::Text, offset, units); }
    static Token Char(char16_t unit) { return With(Op::Char, unit, 0); }
    static Token Subst(std::uint16_t index, std::uint8_t type, bool optional) {
        Token token = With(Op::Subst, index, 0);
        token.type = type;
        token.optional = optional;
        return token;
    }
    static Token Instance(std::uint32_t definition, std::uint32_t values) {
        return With(Op::Instance, definition, values);
    }

private:
    static Token With(Op op, std::uint32_t first, std::uint32_t second) {
        Token token = Of(op);
        token.first = first;
        token.second = second;
        return token;
    }
};

// Lists of tokens are walked once per record: the struct stays this small.
static_assert(sizeof(Token) <= 12);

// The bytes of the values a template instance's descriptors announce.
std::uint32_t ValuesSize(const unsigned char* descriptors, std::uint32_t count);

// A template instance's value list at `in`: the count, the descriptors and
// the values; moves past them. With `values`, the first `count` are laid out
// there (the vector only grows); none is used unless all lie inside `in`.
bool ReadValueList(ByteCursor& in, std::vector<Value>* values, std::uint32_t& count);

// Reads binary XML inside one chunk; offsets are the chunk's own.
class TokenParser {
public:
    TokenParser(const unsigned char* chunk, std::uint32_t chunkSize, std::uint64_t fileOffset)
        : chunk_(chunk, chunkSize, fileOffset), in_(chunk, 0, fileOffset), fileOffset_(fileOffset) {}

    // The tokens between pos and end. `dependencyIds`: element starts carry a
    // dependency identifier (inside templates and records, not in values).
    bool Parse(std::uint32_t pos, std::uint32_t end, bool dependencyIds, std::vector<Token>& tokens);

    // One template instance at pos, as the whole of a stream that ends at end;
    // pos moves past it. With `values`, its values are laid out there too
    // (the first `count`; the vector only grows).
    bool InstanceAt(std::uint32_t& pos, std::uint32_t end, Token& instance,
                    std::vector<Value>* values = nullptr, std::uint32_t* count = nullptr);

    // Why the last Parse or InstanceAt failed.
    const Fault& LastFault() const { return in_.LastFault(); }

private:
    struct NameText {
        const unsigned char* units;
        std::uint32_t count;
        bool operator==(std::u16string_view text) const;
    };

    bool Start(std::uint32_t pos, std::uint32_t end);
    bool ReadToken(std::uint8_t byte, std::size_t at);

    // One reader per token; each starts at the token's first byte, `at`.
    bool ReadOpenElement(std::uint8_t byte);
    bool ReadClose(Op op);
    bool ReadValueText(std::size_t at);
    bool ReadAttribute();
    bool ReadCData();
    bool ReadCharRef(std::size_t at);
    bool ReadEntityRef();
    bool ReadPiTarget();
    bool ReadPiData(std::size_t at);
    bool ReadTemplateInstance();
    bool ReadSubstitution(std::uint8_t byte, std::size_t at);

    bool ReadText();
    bool ReadNameText(NameText& text);
    bool ReadName(Name& name);
    bool ReadInstance(Token& instance, std::vector<Value>* values = nullptr, std::uint32_t* count = nullptr);

    ByteCursor chunk_;                      // the whole chunk, for names met by offset
    ByteCursor in_;                         // the stream being parsed
    std::vector<Token>* tokens_ = nullptr;  // where Parse puts them
    bool dependencyIds_ = false;
    std::uint64_t fileOffset_ = 0;
};

}  // namespace kestrel::evtx
