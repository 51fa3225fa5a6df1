#include "collector/json_text.h"

#include "base/cp932.h"
#include "base/cp932_table.h"

namespace kestrel {
namespace {

void AppendUtf8(std::uint32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The Unicode of a double-byte pair; 0 where code page 932 has none.
std::uint32_t DoubleByte(unsigned char lead, unsigned char trail) {
    const int row = lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + 0x1F;
    int column;
    if (trail >= 0x40 && trail <= 0x7E) {
        column = trail - 0x40;
    } else if (trail >= 0x80 && trail <= 0xFC) {
        column = trail - 0x80 + 0x3F;
    } else {
        return 0;
    }
    return cp932::kDoubleByteRows[row * cp932::kTrailsPerRow + column];
}

// One character of CP932 from `text` at `i`, moving i past it.
std::uint32_t NextCharacter(std::string_view text, std::size_t& i) {
    const auto b = static_cast<unsigned char>(text[i++]);
    if (b < 0x80) return b;
    if (b >= 0xA1 && b <= 0xDF) return 0xFF61 + (b - 0xA1u);  // half-width katakana
    if (IsCp932LeadByte(b) && i < text.size()) {
        const std::uint32_t c = DoubleByte(b, static_cast<unsigned char>(text[i]));
        if (c != 0) {
            ++i;
            return c;
        }
    }
    return '?';
}

}  // namespace

void AppendCp932AsUtf8(std::string_view cp932, std::string& out) {
    for (std::size_t i = 0; i < cp932.size();) AppendUtf8(NextCharacter(cp932, i), out);
}

void AppendJsonString(std::string_view cp932, std::string& out) {
    out += '"';
    for (std::size_t i = 0; i < cp932.size();) {
        // A run of printable ASCII goes on in one piece: most texts are nothing else.
        std::size_t plain = i;
        while (plain < cp932.size() && cp932[plain] >= 0x20 && cp932[plain] < 0x7f && cp932[plain] != '"' &&
               cp932[plain] != '\\') {
            ++plain;
        }
        out.append(cp932.data() + i, plain - i);
        i = plain;
        if (i == cp932.size()) break;
        const std::uint32_t c = NextCharacter(cp932, i);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || (c >= 0x7f && c <= 0x9f)) {  // DEL and C1 too: nothing a terminal acts on
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            AppendUtf8(c, out);
        }
    }
    out += '"';
}

void AppendJsonKey(std::string_view key, std::string& out) {
    // Made whole and appended once: a row has a dozen keys or more.
    char text[64];
    if (key.size() + 4 > sizeof text) {
        if (!out.empty() && out.back() != '{') out += ',';
        out.append(1, '"').append(key).append("\":");
        return;
    }
    std::size_t size = 0;
    if (!out.empty() && out.back() != '{') text[size++] = ',';
    text[size++] = '"';
    key.copy(text + size, key.size());
    size += key.size();
    text[size++] = '"';
    text[size++] = ':';
    out.append(text, size);
}

void AppendJsonNumber(std::uint64_t value, std::string& out) {
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) out += digits[--count];
}

void AppendJsonNumberOrNull(const std::optional<std::uint32_t>& value, std::string& out) {
    if (value) {
        AppendJsonNumber(*value, out);
    } else {
        out += "null";
    }
}

void AppendJsonStringOrNull(const std::optional<std::string_view>& cp932, std::string& out) {
    if (cp932) {
        AppendJsonString(*cp932, out);
    } else {
        out += "null";
    }
}

void AppendJsonNumberKey(std::string_view key, const std::optional<std::uint32_t>& value, std::string& out,
                         JsonAbsent absent) {
    if (!value && absent == JsonAbsent::Typed) return;
    AppendJsonKey(key, out);
    AppendJsonNumberOrNull(value, out);
}

void AppendJsonTextKey(std::string_view key, const std::optional<std::string_view>& cp932, std::string& out,
                       JsonAbsent absent) {
    AppendJsonKey(key, out);
    AppendJsonStringOrNull(cp932 || absent == JsonAbsent::Null ? cp932 : std::string_view(), out);
}

}  // namespace kestrel
