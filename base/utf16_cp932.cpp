#include "base/utf16_cp932.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "base/cp932_table.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace kestrel {
namespace {

// Code for each BMP character: below 0x100 one byte, above it a lead and a trail
// byte; 0 when 932 has none (NUL itself never reaches the table).
using EncodeTable = std::array<std::uint16_t, 0x10000>;

int LeadOfRow(int row) { return row < 31 ? 0x81 + row : 0xE0 + (row - 31); }
int TrailOfColumn(int column) { return column < 63 ? 0x40 + column : 0x80 + (column - 63); }

EncodeTable BuildEncodeTable() {
    EncodeTable table{};
    for (std::uint16_t c = 1; c < 0x80; ++c) table[c] = c;
    table[0x80] = 0x80;
    for (std::uint16_t c = 0xFF61; c <= 0xFF9F; ++c) table[c] = static_cast<std::uint16_t>(c - 0xFF61 + 0xA1);
    // Where a character has two or three codes, Windows answers with the first
    // in row order, except that the NEC-selected IBM rows 0xED and 0xEE lose
    // to the IBM rows 0xFA-0xFC: so those two rows go last.
    auto enter = [&table](int row) {
        for (int column = 0; column < cp932::kTrailsPerRow; ++column) {
            const std::uint16_t unicode = cp932::kDoubleByteRows[row * cp932::kTrailsPerRow + column];
            if (unicode != 0 && table[unicode] == 0) {
                table[unicode] = static_cast<std::uint16_t>((LeadOfRow(row) << 8) | TrailOfColumn(column));
            }
        }
    };
    const int nec0 = 0xED - 0xE0 + 31;
    for (int row = 0; row < cp932::kRows; ++row) {
        if (row != nec0 && row != nec0 + 1) enter(row);
    }
    enter(nec0);
    enter(nec0 + 1);
    return table;
}

const EncodeTable& Table() {
    static const EncodeTable table = BuildEncodeTable();
    return table;
}

void PutCode(std::uint16_t code, std::string& out) {
    if (code == 0) {
        out.push_back('?');
    } else if (code < 0x100) {
        out.push_back(static_cast<char>(code));
    } else {
        out.push_back(static_cast<char>(code >> 8));
        out.push_back(static_cast<char>(code & 0xFF));
    }
}

template <typename Next>
void Encode(std::size_t count, Next next, std::string& out) {
    const EncodeTable& table = Table();
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t unit = next(i);
        if (unit < 0x80) {
            if (unit == 0) return;
            out.push_back(static_cast<char>(unit));
            continue;
        }
        if (unit >= 0xD800 && unit < 0xE000) {
            // A whole surrogate pair is one character, so one "?".
            if (unit < 0xDC00 && i + 1 < count) {
                const std::uint16_t low = next(i + 1);
                if (low >= 0xDC00 && low < 0xE000) ++i;
            }
            out.push_back('?');
            continue;
        }
        PutCode(table[unit], out);
    }
}

// Copies the ASCII units at the start of `bytes` (at most `count`) into `to`;
// returns how many. A NUL is not copied.
std::size_t NarrowAscii(const unsigned char* bytes, std::size_t count, char* to) {
    std::size_t i = 0;
#ifdef __SSE2__
    // Eight units at a time: none has bits above 0x7F, none is NUL.
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= count; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 2 * i));
        const __m128i wide = _mm_and_si128(units, high);
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(wide, zero)) != 0xFFFF ||
            _mm_movemask_epi8(_mm_cmpeq_epi16(units, zero)) != 0) {
            break;
        }
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to + i), _mm_packus_epi16(units, units));
    }
#endif
    for (; i < count; ++i) {
        const unsigned unit = bytes[2 * i] | (bytes[2 * i + 1] << 8);
        if (unit - 1u >= 0x7Fu) break;  // NUL, or not ASCII
        to[i] = static_cast<char>(unit);
    }
    return i;
}

}  // namespace

void AppendUtf16LeAsCp932(const unsigned char* bytes, std::size_t count, std::string& out) {
    // ASCII is the common case: it goes through a buffer on the stack without
    // the table; the first unit that is not ASCII (or NUL) hands over to it.
    char ascii[256];
    std::size_t i = 0;
    while (i < count) {
        const std::size_t room = std::min(count - i, sizeof ascii);
        const std::size_t n = NarrowAscii(bytes + 2 * i, room, ascii);
        out.append(ascii, n);
        i += n;
        if (n < room) break;
    }
    // Texts in values usually end in a NUL of their own.
    if (i == count || (bytes[2 * i] == 0 && bytes[2 * i + 1] == 0)) return;
    const unsigned char* rest = bytes + 2 * i;
    Encode(
        count - i,
        [rest](std::size_t k) { return static_cast<std::uint16_t>(rest[2 * k] | (rest[2 * k + 1] << 8)); },
        out);
}

std::size_t Utf16LeToCp932(const unsigned char* bytes, std::size_t count, char* to) {
    std::size_t i = NarrowAscii(bytes, count, to);
    if (i == count) return i;
    char* at = to + i;
    const EncodeTable& table = Table();
    for (; i < count; ++i) {
        const std::uint16_t unit = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        if (unit == 0) break;
        std::uint16_t code = unit < 0x80 ? unit : 0;
        if (unit >= 0xD800 && unit < 0xE000) {
            // A whole surrogate pair is one character, so one "?".
            if (unit < 0xDC00 && i + 1 < count) {
                const std::uint16_t low =
                    static_cast<std::uint16_t>(bytes[2 * i + 2] | (bytes[2 * i + 3] << 8));
                if (low >= 0xDC00 && low < 0xE000) ++i;
            }
        } else if (unit >= 0x80) {
            code = table[unit];
        }
        if (code == 0) {
            *at++ = '?';
        } else if (code < 0x100) {
            *at++ = static_cast<char>(code);
        } else {
            *at++ = static_cast<char>(code >> 8);
            *at++ = static_cast<char>(code & 0xFF);
        }
    }
    return static_cast<std::size_t>(at - to);
}

std::string Utf16ToCp932(std::u16string_view text) {
    std::string out;
    Encode(
        text.size(), [text](std::size_t k) { return static_cast<std::uint16_t>(text[k]); }, out);
    return out;
}

std::string Utf8ToCp932(std::string_view text) {
    std::u16string units;
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + extra >= text.size()) {
            units.push_back(u'?');
            ++i;
            continue;
        }
        std::uint32_t code = extra == 0 ? b : (b & (0x3F >> extra));
        bool good = true;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80) good = false;
            code = (code << 6) | (c & 0x3F);
        }
        if (!good) {
            units.push_back(u'?');
            ++i;
            continue;
        }
        i += extra + 1;
        if (code >= 0x10000) {
            units.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(code));
        }
    }
    return Utf16ToCp932(units);
}

}  // namespace kestrel
