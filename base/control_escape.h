#pragma once
// Text from logs is written where a terminal may show it: a control character
// in it could clear the screen, move the cursor or set the clipboard. These
// write each C0 control and DEL as a visible escape, \x1b for ESC. They work on
// CP932 and on UTF-8 alike: neither has a control byte inside a character.
#include <string>
#include <string_view>

namespace kestrel {

// True for a byte a terminal acts on rather than shows: 0x00-0x1F and 0x7F.
constexpr bool IsControlByte(unsigned char c) { return c < 0x20 || c == 0x7F; }

// Appends text with every control byte escaped, line breaks and tabs too: for
// a field or a name inside a line.
void AppendEscapedControls(std::string_view text, std::string& out);

// Appends lines of text, each ended by CR LF, which stay; any other control
// byte is escaped, a CR or LF on its own too.
void AppendEscapedLines(std::string_view text, std::string& out);

std::string EscapedLines(std::string_view text);

}  // namespace kestrel
