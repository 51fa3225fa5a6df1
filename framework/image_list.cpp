#include "framework/image_list.h"

#include "framework/scoped_handles.h"
#include "framework/wnd.h"

namespace kestrel {

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
    const ScopedBitmap bitmap(::LoadBitmapA(AfxGetResourceHandle(), MAKEINTRESOURCEA(bitmapId)));
    if (!bitmap) return -1;
    return ImageList_AddMasked(m_handle, bitmap.Get(), mask);
}

void CImageList::DeleteImageList() {
    if (m_handle != nullptr) ImageList_Destroy(m_handle);
    m_handle = nullptr;
}

}  // namespace kestrel
