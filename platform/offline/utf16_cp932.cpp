#include "platform/offline/utf16_cp932.h"

#include <array>
#include <cstdint>

#include "platform/offline/cp932_table.h"

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

}  // namespace

void AppendUtf16LeAsCp932(const unsigned char* bytes, std::size_t count, std::string& out) {
    std::size_t i = 0;
    // ASCII runs are the common case: copy them without the table.
    while (i < count) {
        const unsigned char low = bytes[2 * i];
        if (bytes[2 * i + 1] != 0 || low >= 0x80) break;
        if (low == 0) return;
        out.push_back(static_cast<char>(low));
        ++i;
    }
    if (i == count) return;
    const unsigned char* rest = bytes + 2 * i;
    Encode(count - i, [rest](std::size_t k) {
        return static_cast<std::uint16_t>(rest[2 * k] | (rest[2 * k + 1] << 8));
    }, out);
}

std::string Utf16ToCp932(std::u16string_view text) {
    std::string out;
    Encode(text.size(), [text](std::size_t k) { return static_cast<std::uint16_t>(text[k]); }, out);
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
