#pragma once
// Binary XML: its tokens, read into a list with names resolved and every
// offset checked, so that a template is parsed once per chunk however many
// records use it.
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

struct Token {
    Op op;
    Name name = Name::Other;
    std::uint8_t type = 0;  // Subst: the declared value type
    bool optional = false;
    std::uint32_t a = 0;  // Text: chunk offset; Char: the character; Subst: index; Instance: definition
    std::uint32_t b = 0;  // Text: characters; Instance: chunk offset of the values
};

// The bytes of the values a template instance's descriptors announce.
std::uint32_t ValuesSize(const unsigned char* descriptors, std::uint32_t count);

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
    bool ReadText(std::vector<Token>& tokens);
    bool ReadNameText(NameText& text);
    bool ReadName(Name& name);
    bool ReadInstance(Token& instance, std::vector<Value>* values = nullptr, std::uint32_t* count = nullptr);

    ByteCursor chunk_;  // the whole chunk, for names met by offset
    ByteCursor in_;     // the stream being parsed
    std::uint64_t fileOffset_ = 0;
};

}  // namespace kestrel::evtx
