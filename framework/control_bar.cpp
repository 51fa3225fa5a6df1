#include "framework/bars.h"

namespace kestrel {

CControlBar::~CControlBar() {
    if (m_pDockSite != nullptr) m_pDockSite->RemoveControlBar(this);
}

DWORD CControlBar::TakeBarStyle(CFrameWnd* frame, DWORD style) {
    m_dwStyle = style & CBRS_ALL;
    m_pDockSite = frame;
    frame->AddControlBar(this);
    return style & ~CBRS_ALL;
}

void CControlBar::SetDockSide(DWORD side) {
    m_dwStyle = (m_dwStyle & ~CBRS_ALIGN_ANY) | (side & CBRS_ALIGN_ANY);
}

}  // namespace kestrel
