#include "framework/controls.h"

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

bool CImageList::Create(int cx, int cy, UINT flags, int initial, int grow) {
    DeleteImageList();
    m_handle = ImageList_Create(cx, cy, flags, initial, grow);
    return m_handle != nullptr;
}

bool CImageList::Create(UINT bitmapId, int cx, int grow, COLORREF mask) {
    DeleteImageList();
    m_handle = ImageList_LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(bitmapId), cx, grow, mask,
                                    IMAGE_BITMAP, 0);
    return m_handle != nullptr;
}

int CImageList::Add(UINT bitmapId, COLORREF mask) {
    if (m_handle == nullptr) return -1;
    HBITMAP bitmap = ::LoadBitmapA(AfxGetResourceHandle(), MAKEINTRESOURCEA(bitmapId));
    if (bitmap == nullptr) return -1;
    const int index = ImageList_AddMasked(m_handle, bitmap, mask);
    ::DeleteObject(bitmap);
    return index;
}

void CImageList::DeleteImageList() {
    if (m_handle != nullptr) ImageList_Destroy(m_handle);
    m_handle = nullptr;
}

bool CToolTipCtrl::Create(HWND owner, DWORD style) {
    AfxInitCommonControls();
    HWND window = ::CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | style, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                                    AfxGetResourceHandle(), nullptr);
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
