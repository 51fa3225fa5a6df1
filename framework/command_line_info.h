#pragma once
// The standard command line: a file name opens that file; without one a new
// document is made.
#include <string>

namespace kestrel {

struct CCommandLineInfo {
    enum Shell { FileNew, FileOpen };
    Shell m_nShellCommand = FileNew;
    std::string m_strFileName;
    // One argument; flag when it began with '/' or '-' (then without it).
    void ParseParam(const char* param, bool flag);
};

}  // namespace kestrel
