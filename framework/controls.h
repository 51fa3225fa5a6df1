#pragma once
// Image lists and tooltips.
#include <windows.h>
#include <commctrl.h>

#include "framework/wnd.h"

namespace kestrel {

// Owns its image list; the controls it is given to only borrow it.
class CImageList {
public:
    CImageList() = default;
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;
    ~CImageList() { DeleteImageList(); }

    bool Create(int cx, int cy, UINT flags, int initial, int grow);
    // The first images from a bitmap resource, mask is the transparent colour.
    bool Create(UINT bitmapId, int cx, int grow, COLORREF mask);
    // Adds the images of a bitmap resource; the index of the first, or -1.
    int Add(UINT bitmapId, COLORREF mask);
    void DeleteImageList();
    void Swap(CImageList& other) noexcept {
        HIMAGELIST handle = m_handle;
        m_handle = other.m_handle;
        other.m_handle = handle;
    }

    HIMAGELIST GetSafeHandle() const { return m_handle; }
    int GetImageCount() const { return m_handle != nullptr ? ImageList_GetImageCount(m_handle) : 0; }

private:
    HIMAGELIST m_handle = nullptr;
};

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
