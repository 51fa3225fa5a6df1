#pragma once
// Image lists of bitmap resources.
#include <windows.h>
#include <commctrl.h>

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

}  // namespace kestrel
