#include "framework/bars.h"

#include <algorithm>
#include <cstdlib>

#include "framework/scoped_handles.h"

namespace kestrel {
namespace {

constexpr int kGripper = 9;    // the gripper's strip, across the bar
constexpr int kBarBorder = 2;  // above and below the buttons
constexpr int kButtonFrame = 7;
constexpr COLORREF kPictureBackground = RGB(192, 192, 192);

struct ToolBarData {
    WORD version;
    WORD width;
    WORD height;
    WORD count;
};

// An image list of count pictures of size from the bitmap resource id; null
// unless it holds them all.
HIMAGELIST LoadPictures(HINSTANCE instance, UINT id, SIZE size, int count) {
    const ScopedBitmap bitmap(static_cast<HBITMAP>(
        ::LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!bitmap) return nullptr;
    HIMAGELIST images = ImageList_Create(size.cx, size.cy, ILC_COLOR24 | ILC_MASK, count, 0);
    if (images != nullptr && (ImageList_AddMasked(images, bitmap.Get(), kPictureBackground) < 0 ||
                              ImageList_GetImageCount(images) < count)) {
        ImageList_Destroy(images);
        images = nullptr;
    }
    return images;
}

}  // namespace

CToolBar::~CToolBar() {
    DestroyWindow();  // it borrows the image list
    if (m_imageList != nullptr) ImageList_Destroy(m_imageList);
}

bool CToolBar::CreateEx(CFrameWnd* frame, DWORD ctrlStyle, DWORD style, RECT, UINT id) {
    if (frame == nullptr || m_hWnd != nullptr) return false;
    DWORD windowStyle =
        TakeBarStyle(frame, style) | ctrlStyle | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER;
    if (m_dwStyle & CBRS_TOOLTIPS) windowStyle |= TBSTYLE_TOOLTIPS;
    if (!CreateControl(0, TOOLBARCLASSNAMEA, "", windowStyle, {0, 0, 0, 0}, frame->GetSafeHwnd(), id))
        return false;
    Send(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    return true;
}

bool CToolBar::LoadToolBar(UINT resourceId) {
    HINSTANCE instance = AfxGetResourceHandle();
    HRSRC found = ::FindResourceA(instance, MAKEINTRESOURCEA(resourceId), MAKEINTRESOURCEA(RT_TOOLBAR_TYPE));
    if (found == nullptr) return false;
    const DWORD size = ::SizeofResource(instance, found);
    HGLOBAL loaded = ::LoadResource(instance, found);
    const auto* data = static_cast<const ToolBarData*>(loaded != nullptr ? ::LockResource(loaded) : nullptr);
    if (data == nullptr || size < sizeof(ToolBarData) || data->version != 1 ||
        size < sizeof(ToolBarData) + data->count * sizeof(WORD)) {
        return false;
    }
    const auto* items = reinterpret_cast<const WORD*>(data + 1);
    m_commands.assign(items, items + data->count);
    m_sizeImage = {data->width, data->height};
    const int pictures = static_cast<int>(
        std::count_if(m_commands.begin(), m_commands.end(), [](UINT id) { return id != ID_SEPARATOR; }));

    HIMAGELIST images = LoadPictures(instance, resourceId, m_sizeImage, pictures);
    if (images == nullptr) return false;

    std::vector<TBBUTTON> buttons;
    int picture = 0;
    for (UINT id : m_commands) {
        TBBUTTON button{};
        button.idCommand = static_cast<int>(id);
        button.fsState = TBSTATE_ENABLED;
        button.iString = -1;
        if (id == ID_SEPARATOR) {
            button.fsStyle = BTNS_SEP;
        } else {
            button.iBitmap = picture++;
            button.fsStyle = BTNS_BUTTON;
        }
        buttons.push_back(button);
    }
    Send(TB_SETBITMAPSIZE, 0, MAKELPARAM(m_sizeImage.cx, m_sizeImage.cy));
    Send(TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
    if (m_imageList != nullptr) ImageList_Destroy(m_imageList);
    m_imageList = images;
    Send(TB_ADDBUTTONSA, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    Send(TB_SETBUTTONSIZE, 0, MAKELPARAM(m_sizeImage.cx + kButtonFrame, m_sizeImage.cy + kButtonFrame));
    SetDockSide(GetDockSide());
    return true;
}

SIZE CToolBar::GetButtonSize() const {
    const LRESULT size = Send(TB_GETBUTTONSIZE);
    return {LOWORD(size), HIWORD(size)};
}

RECT CToolBar::GetGripperRect() const {
    RECT window{};
    if ((m_dwStyle & CBRS_GRIPPER) == 0) return window;
    ::GetWindowRect(m_hWnd, &window);
    const LONG width = window.right - window.left;
    const LONG height = window.bottom - window.top;
    if (IsHorizontal()) return {0, 0, kGripper, height};
    return {0, 0, width, kGripper};
}

void CToolBar::SetDockSide(DWORD side) {
    CControlBar::SetDockSide(side);
    // Down a side, one button a row.
    const bool wrap = !IsHorizontal();
    for (int index = 0; index < static_cast<int>(m_commands.size()); ++index) {
        TBBUTTONINFOA info{};
        info.cbSize = sizeof info;
        info.dwMask = TBIF_STATE | TBIF_BYINDEX;
        if (Send(TB_GETBUTTONINFOA, index, reinterpret_cast<LPARAM>(&info)) < 0) continue;
        info.fsState = wrap ? (info.fsState | TBSTATE_WRAP) : (info.fsState & ~TBSTATE_WRAP);
        Send(TB_SETBUTTONINFOA, index, reinterpret_cast<LPARAM>(&info));
    }
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

int CToolBar::CalcThickness() const {
    const SIZE button = GetButtonSize();
    const int grip = (m_dwStyle & CBRS_GRIPPER) != 0 ? kGripper : 0;
    if (IsHorizontal()) return button.cy + 2 * kBarBorder;
    return std::max<int>(button.cx + 2 * kBarBorder, grip);
}

DWORD CToolBar::SideNear(POINT screen) const {
    RECT client{};
    ::GetClientRect(m_pDockSite->GetSafeHwnd(), &client);
    ::MapWindowPoints(m_pDockSite->GetSafeHwnd(), nullptr, reinterpret_cast<POINT*>(&client), 2);
    const DWORD allowed = m_dwDockStyle & m_pDockSite->GetDockingStyle();
    const struct {
        DWORD side;
        LONG distance;
    } sides[] = {
        {CBRS_ALIGN_TOP, screen.y - client.top},
        {CBRS_ALIGN_BOTTOM, client.bottom - screen.y},
        {CBRS_ALIGN_LEFT, screen.x - client.left},
        {CBRS_ALIGN_RIGHT, client.right - screen.x},
    };
    DWORD best = 0;
    LONG bestDistance = 0;
    for (const auto& candidate : sides) {
        if ((allowed & candidate.side) == 0) continue;
        const LONG distance = std::abs(candidate.distance);
        if (best == 0 || distance < bestDistance) {
            best = candidate.side;
            bestDistance = distance;
        }
    }
    return best;
}

void CToolBar::PaintGripper() {
    if ((m_dwStyle & CBRS_GRIPPER) == 0) return;
    const ScopedDC dc(m_hWnd, ::GetWindowDC(m_hWnd));
    RECT strip = GetGripperRect();
    ::FillRect(dc.Get(), &strip, ::GetSysColorBrush(COLOR_BTNFACE));
    RECT line = strip;
    if (IsHorizontal()) {
        line.left = 3;
        line.right = 6;
        ::InflateRect(&line, 0, -kBarBorder);
    } else {
        line.top = 3;
        line.bottom = 6;
        ::InflateRect(&line, -kBarBorder, 0);
    }
    ::DrawEdge(dc.Get(), &line, BDR_RAISEDINNER, BF_RECT);
}

LRESULT CToolBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCALCSIZE: {
            const LRESULT result = CControlBar::WindowProc(message, wParam, lParam);
            if (m_dwStyle & CBRS_GRIPPER) {
                RECT* rect = reinterpret_cast<RECT*>(lParam);  // the first of NCCALCSIZE_PARAMS too
                if (IsHorizontal()) {
                    rect->left = std::min(rect->left + kGripper, rect->right);
                } else {
                    rect->top = std::min(rect->top + kGripper, rect->bottom);
                }
            }
            return result;
        }
        case WM_NCPAINT: {
            const LRESULT result = CControlBar::WindowProc(message, wParam, lParam);
            PaintGripper();
            return result;
        }
        case WM_NCHITTEST: {
            RECT window{};
            ::GetWindowRect(m_hWnd, &window);
            const POINT at{static_cast<short>(LOWORD(lParam)) - window.left,
                           static_cast<short>(HIWORD(lParam)) - window.top};
            const RECT grip = GetGripperRect();
            if (::PtInRect(&grip, at)) return HTBORDER;
            break;
        }
        case WM_SETCURSOR:
            if (LOWORD(lParam) == HTBORDER && reinterpret_cast<HWND>(wParam) == m_hWnd) {
                ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_SIZEALL)));
                return TRUE;
            }
            break;
        case WM_NCLBUTTONDOWN:
            // A drag by the gripper moves the bar to the side it is let go near.
            if (wParam == HTBORDER && m_dwDockStyle != 0) {
                m_bDragging = true;
                ::SetCapture(m_hWnd);
                return 0;
            }
            break;
        case WM_MOUSEMOVE:
            if (m_bDragging) return 0;
            break;
        case WM_LBUTTONUP:
            if (m_bDragging) {
                m_bDragging = false;
                ::ReleaseCapture();
                POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
                ::ClientToScreen(m_hWnd, &at);
                if (const DWORD side = SideNear(at); side != 0 && side != GetDockSide()) {
                    m_pDockSite->DockControlBar(this, side);
                }
                return 0;
            }
            break;
        case WM_CAPTURECHANGED:
            m_bDragging = false;
            break;
        default:
            break;
    }
    return CControlBar::WindowProc(message, wParam, lParam);
}

bool CToolBar::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == WM_NOTIFY && (m_dwStyle & CBRS_FLYBY) != 0) {
        const auto* hot = reinterpret_cast<const NMTBHOTITEM*>(lParam);
        if (hot->hdr.code == TBN_HOTITEMCHANGE) {
            // The button under the pointer shows its prompt; leaving it, the idle text.
            const bool leaving = (hot->dwFlags & HICF_LEAVING) != 0 || hot->idNew == 0;
            m_pDockSite->SetMessageText(leaving
                                            ? m_pDockSite->GetIdleMessage().c_str()
                                            : CFrameWnd::PromptText(static_cast<UINT>(hot->idNew)).c_str());
            *result = 0;
            return true;
        }
    }
    return CControlBar::OnChildNotify(message, wParam, lParam, result);
}

}  // namespace kestrel
