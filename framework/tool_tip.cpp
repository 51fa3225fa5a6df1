#include "framework/tool_tip.h"

namespace kestrel {
namespace {

// The tool of a whole window, with the size older control versions accept.
TOOLINFOA WindowTool(HWND tool, const char* text) {
    TOOLINFOA info{};
    info.cbSize = TTTOOLINFOA_V2_SIZE;
    info.uFlags = TTF_IDISHWND;
    info.hwnd = ::GetParent(tool);
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.hinst = AfxGetResourceHandle();
    info.lpszText = const_cast<char*>(text);
    return info;
}

}  // namespace

bool CToolTipCtrl::Create(HWND owner, DWORD style) {
    AfxInitCommonControls();
    HWND window =
        ::CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | style, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, AfxGetResourceHandle(), nullptr);
    if (window == nullptr) return false;
    m_hWnd = window;  // an earlier one is left to its owner
    return true;
}

bool CToolTipCtrl::AddTool(HWND tool, const char* text) {
    TOOLINFOA info = WindowTool(tool, text);
    return Send(TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info)) != 0;
}

void CToolTipCtrl::UpdateTipText(const char* text, HWND tool) {
    TOOLINFOA info = WindowTool(tool, text);
    Send(TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&info));
}

}  // namespace kestrel
