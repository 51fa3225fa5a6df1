#pragma once
// The collector's output encoding: UTF-8 on Linux, the ANSI code page (the
// program's own CP932 texts as they are) on Windows.
#include <string>
#include <string_view>

namespace kestrel {

// Appends a CP932 text to a line in some output's encoding.
using TextConverter = void (*)(std::string_view cp932, std::string& out);

std::string ToOutputText(const std::string& cp932);

// The same appended to `out`, for output written a line at a time.
void AppendOutputText(std::string_view cp932, std::string& out);

}  // namespace kestrel
