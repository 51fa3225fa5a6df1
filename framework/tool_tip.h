#pragma once
// Tooltip controls.
#include <windows.h>
#include <commctrl.h>

#include "framework/wnd.h"

namespace kestrel {

class CToolTipCtrl : public CWnd {
public:
    // A tooltip owned by owner. A second call makes a further tooltip
    // window; the earlier one stays with its owner until the owner goes.
    bool Create(HWND owner, DWORD style = 0);
    void Activate(bool activate) { Send(TTM_ACTIVATE, activate ? TRUE : FALSE); }
    void SetDelayTime(UINT delay) { Send(TTM_SETDELAYTIME, TTDT_AUTOMATIC, MAKELPARAM(delay, 0)); }
    // One tool covering the whole of window tool.
    bool AddTool(HWND tool, const char* text);
    void UpdateTipText(const char* text, HWND tool);
    void RelayEvent(MSG* msg) { Send(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg)); }
};

}  // namespace kestrel
