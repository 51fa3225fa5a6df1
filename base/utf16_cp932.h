#pragma once
// UTF-16 to code page 932, as WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS)
// does it: a character without its own code in 932 becomes "?", never a look-alike.
#include <cstddef>
#include <string>
#include <string_view>

namespace kestrel {

// Appends `count` UTF-16LE code units read from `bytes` (any alignment),
// stopping early at a NUL unit so that the result never holds a NUL byte.
void AppendUtf16LeAsCp932(const unsigned char* bytes, std::size_t count, std::string& out);

// The same written at `to`, which has room for 2 * count bytes; returns how
// many bytes were written.
std::size_t Utf16LeToCp932(const unsigned char* bytes, std::size_t count, char* to);

std::string Utf16ToCp932(std::u16string_view text);

// For file names on systems whose names are UTF-8; bad sequences become "?".
std::string Utf8ToCp932(std::string_view text);

}  // namespace kestrel
