#pragma once
// Text to the clipboard, as a paste anywhere expects it: CF_TEXT in the ANSI
// code page (932) and CF_UNICODETEXT.
#include <windows.h>

#include <string_view>

namespace kestrel {

// False when the clipboard could not be opened (another program holds it).
bool CopyTextToClipboard(HWND owner, std::string_view cp932);

}  // namespace kestrel
