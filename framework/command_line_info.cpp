#include "framework/command_line_info.h"

namespace kestrel {

void CCommandLineInfo::ParseParam(const char* param, bool flag) {
    // Flags of other programs' shells (printing, embedding) mean nothing here.
    if (flag || m_nShellCommand == FileOpen) return;
    m_nShellCommand = FileOpen;
    m_strFileName = param;
}

}  // namespace kestrel
