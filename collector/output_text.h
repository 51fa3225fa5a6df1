#pragma once
// The collector's output encoding: UTF-8 on Linux, the ANSI code page (the
// program's own CP932 texts as they are) on Windows.
#include <string>

namespace kestrel {

std::string ToOutputText(const std::string& cp932);

}  // namespace kestrel
