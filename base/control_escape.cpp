#include "base/control_escape.h"

namespace kestrel {
namespace {

void AppendEscape(unsigned char c, std::string& out) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
}

}  // namespace

void AppendEscapedControls(std::string_view text, std::string& out) {
    for (const char c : text) {
        if (IsControlByte(static_cast<unsigned char>(c))) {
            AppendEscape(static_cast<unsigned char>(c), out);
        } else {
            out += c;
        }
    }
}

void AppendEscapedLines(std::string_view text, std::string& out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\r\n";
            ++i;
        } else if (IsControlByte(c)) {
            AppendEscape(c, out);
        } else {
            out += static_cast<char>(c);
        }
    }
}

std::string EscapedLines(std::string_view text) {
    std::string out;
    AppendEscapedLines(text, out);
    return out;
}

}  // namespace kestrel
