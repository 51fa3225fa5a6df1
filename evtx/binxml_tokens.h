#pragma once
// The bytes of binary XML: what a token's first byte says, and where the
// fixed fields of each token lie, counted from its first byte. Shared by the
// reader and by what writes logs for tests and samples. A template
// definition's own header is in layout.h.
#include <cstddef>
#include <cstdint>

namespace kestrel::evtx {

// A token's first byte, without the "more follows" flag.
enum class TokenCode : std::uint8_t {
    EndOfStream = 0x00,
    OpenElement = 0x01,
    CloseStart = 0x02,
    CloseEmpty = 0x03,
    EndElement = 0x04,
    Value = 0x05,
    Attribute = 0x06,
    CData = 0x07,
    CharRef = 0x08,
    EntityRef = 0x09,
    PiTarget = 0x0a,
    PiData = 0x0b,
    TemplateInstance = 0x0c,
    NormalSubstitution = 0x0d,
    OptionalSubstitution = 0x0e,
    FragmentHeader = 0x0f,
};

// Set on an open element that has attributes, and on every attribute but
// the element's last.
inline constexpr std::uint8_t kMoreFollows = 0x40;

constexpr std::uint8_t TokenByte(TokenCode code, bool moreFollows = false) {
    return static_cast<std::uint8_t>(static_cast<std::uint8_t>(code) | (moreFollows ? kMoreFollows : 0));
}
constexpr TokenCode CodeOf(std::uint8_t byte) { return static_cast<TokenCode>(byte & ~kMoreFollows); }
constexpr bool MoreFollows(std::uint8_t byte) { return (byte & kMoreFollows) != 0; }

// Fragment header: token, major version, minor version, flags.
inline constexpr std::size_t kFragmentHeaderSize = 4;
inline constexpr std::uint8_t kFragmentMajorVersion = 1;
inline constexpr std::uint8_t kFragmentMinorVersion = 1;

// Open element: token, dependency identifier (u16, only inside templates and
// records), size of the element's data (u32); then its name, and with
// attributes the size of their list (u32).
inline constexpr std::size_t kDependencyIdSize = 2;
inline constexpr std::size_t kElementDataSizeSize = 4;
inline constexpr std::size_t kAttributeListSizeSize = 4;
inline constexpr std::uint16_t kNoDependency = 0xffff;  // present whatever the values
constexpr std::size_t OpenElementHeaderSize(bool dependencyIds) {
    return 1 + (dependencyIds ? kDependencyIdSize : 0) + kElementDataSizeSize;
}

// Value: token, value type (u8), then a text as count (u16) and units.
inline constexpr std::size_t kValueTypeAt = 1;
inline constexpr std::size_t kValueHeaderSize = 2;

// Character reference: token, the UTF-16 unit.
inline constexpr std::size_t kCharRefUnitAt = 1;
inline constexpr std::size_t kCharRefSize = 3;

// Processing instruction data: token, count (u16), the units.
inline constexpr std::size_t kPiDataCountAt = 1;
inline constexpr std::size_t kPiDataHeaderSize = 3;

// Substitution: token, value index (u16), value type (u8).
inline constexpr std::size_t kSubstitutionIndexAt = 1;
inline constexpr std::size_t kSubstitutionTypeAt = 3;
inline constexpr std::size_t kSubstitutionSize = 4;

// Template instance: token, version (u8), template identifier (u32), offset
// of the definition (u32); the definition itself when this is its first use;
// then the value count (u32), one descriptor per value, the values.
inline constexpr std::uint8_t kInstanceVersion = 1;
inline constexpr std::size_t kInstanceDefinitionAt = 6;
inline constexpr std::size_t kInstanceHeaderSize = 10;

// Value descriptor: size (u16), value type (u8), a zero byte.
inline constexpr std::size_t kDescriptorSize = 4;
inline constexpr std::size_t kDescriptorTypeAt = 2;

// Name, kept once per chunk: next-in-bucket offset (u32), hash (u16),
// character count (u16), the characters, NUL.
inline constexpr std::size_t kNameCountAt = 6;
inline constexpr std::uint32_t kNameHeaderSize = 8;

}  // namespace kestrel::evtx
