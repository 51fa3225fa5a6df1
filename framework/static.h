#pragma once
// Static controls: a class to derive from for statics that do more than show
// their text, such as a hyperlink.
#include "framework/wnd.h"

namespace kestrel {

class CStatic : public CWnd {
public:
    // A child static control of parent that is this object from the start.
    bool Create(const char* text, DWORD style, const RECT& rect, HWND parent, UINT id) {
        return CreateControl(0, "Static", text, style | WS_CHILD, rect, parent, id);
    }
};

}  // namespace kestrel
