#include "collector/html_text.h"

#include "base/control_escape.h"

namespace kestrel {

void AppendHtmlText(std::string_view cp932, std::string& out) {
    std::string visible;
    AppendEscapedControls(cp932, visible);
    for (const char c : visible) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
}

std::string HtmlText(std::string_view cp932) {
    std::string out;
    AppendHtmlText(cp932, out);
    return out;
}

}  // namespace kestrel
