#pragma once
// Code page 932: the bytes that begin a double-byte character. Their second
// byte can be 0x40-0xFC, and so also "\" or "|".
namespace kestrel {

constexpr bool IsCp932LeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

}  // namespace kestrel
