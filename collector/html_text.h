#pragma once
// Text from logs in an HTML page: shown, never taken for markup.
#include <string>
#include <string_view>

namespace kestrel {

// Appends a CP932 text with & < > " ' as character references and each
// control byte as the collector writes it elsewhere (\x1b), so that a name
// can neither open a tag nor leave an attribute's quotes. Still CP932: no
// trail byte of a double-byte character is one of those five or a control.
void AppendHtmlText(std::string_view cp932, std::string& out);

std::string HtmlText(std::string_view cp932);

}  // namespace kestrel
