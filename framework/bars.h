#pragma once
// Control bars along the sides of a frame: the toolbar (a toolbar control with
// a gripper by which the user drags it to another side) and the status bar
// (a status control with a message pane and key indicators).
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "framework/frame.h"

namespace kestrel {

// Bar styles. They come in one argument with the window styles
// (WS_CHILD | WS_VISIBLE | CBRS_TOP), in the low word, which window styles
// leave to the control, and the dialog-frame bit, which no bar has. The bar
// takes them out before its window is made: in the window's style the control
// would read them as its own.
inline constexpr DWORD CBRS_ALIGN_LEFT = 0x1000;
inline constexpr DWORD CBRS_ALIGN_TOP = 0x2000;
inline constexpr DWORD CBRS_ALIGN_RIGHT = 0x4000;
inline constexpr DWORD CBRS_ALIGN_BOTTOM = 0x8000;
inline constexpr DWORD CBRS_ALIGN_ANY = 0xF000;
inline constexpr DWORD CBRS_BORDER_TOP = 0x0200;
inline constexpr DWORD CBRS_BORDER_BOTTOM = 0x0800;
inline constexpr DWORD CBRS_TOOLTIPS = 0x0010;
inline constexpr DWORD CBRS_FLYBY = 0x0020;
inline constexpr DWORD CBRS_SIZE_DYNAMIC = 0x0004;
inline constexpr DWORD CBRS_GRIPPER = 0x00400000;
inline constexpr DWORD CBRS_TOP = CBRS_ALIGN_TOP | CBRS_BORDER_BOTTOM;
inline constexpr DWORD CBRS_BOTTOM = CBRS_ALIGN_BOTTOM | CBRS_BORDER_TOP;
inline constexpr DWORD CBRS_ALL = 0x0040FFFF;

class CControlBar : public CWnd {
public:
    ~CControlBar() override;

    DWORD GetBarStyle() const { return m_dwStyle; }
    // The sides the bar may be docked on (CBRS_ALIGN_ bits).
    void EnableDocking(DWORD dockStyle) { m_dwDockStyle = dockStyle & CBRS_ALIGN_ANY; }
    DWORD GetDockingStyle() const { return m_dwDockStyle; }
    // The side it is on now: one CBRS_ALIGN_ bit.
    DWORD GetDockSide() const { return m_dwStyle & CBRS_ALIGN_ANY; }
    bool IsHorizontal() const { return (GetDockSide() & (CBRS_ALIGN_TOP | CBRS_ALIGN_BOTTOM)) != 0; }

    // The frame docks it on side; the bar arranges itself for it.
    virtual void SetDockSide(DWORD side);
    // Its thickness across the side it is docked on.
    virtual int CalcThickness() const = 0;

protected:
    // Splits the bar style from the window style and registers with the frame.
    DWORD TakeBarStyle(CFrameWnd* frame, DWORD style);

    DWORD m_dwStyle = 0;
    DWORD m_dwDockStyle = 0;
    CFrameWnd* m_pDockSite = nullptr;
};

class CToolBar : public CControlBar {
public:
    ~CToolBar() override;

    // A toolbar control child of frame; ctrlStyle are TBSTYLE_ bits, style
    // window and CBRS_ bits.
    bool CreateEx(CFrameWnd* frame, DWORD ctrlStyle = TBSTYLE_FLAT,
                  DWORD style = WS_CHILD | WS_VISIBLE | CBRS_ALIGN_TOP, RECT borders = {},
                  UINT id = AFX_IDW_TOOLBAR);
    // Buttons and pictures from the toolbar resource and the bitmap of the
    // same number. Each button is its picture plus a 7-pixel frame.
    bool LoadToolBar(UINT resourceId);

    SIZE GetButtonSize() const;
    SIZE GetImageSize() const { return m_sizeImage; }
    HIMAGELIST GetImageList() const { return m_imageList; }
    // The gripper, in window coordinates of the bar; empty without CBRS_GRIPPER.
    RECT GetGripperRect() const;

    void SetDockSide(DWORD side) override;
    int CalcThickness() const override;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    // The side of the frame's client area nearest to a screen point.
    DWORD SideNear(POINT screen) const;
    void PaintGripper();

    std::vector<UINT> m_commands;  // 0: separator
    SIZE m_sizeImage{};
    HIMAGELIST m_imageList = nullptr;
    bool m_bDragging = false;
};

class CStatusBar : public CControlBar {
public:
    // A status control child of frame, along its bottom.
    bool Create(CFrameWnd* frame, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM,
                UINT id = AFX_IDW_STATUS_BAR);
    // One pane per id: ID_SEPARATOR is the stretching message pane, the
    // others show the string of their id while their key is on.
    bool SetIndicators(const UINT* ids, int count);
    int GetCount() const { return static_cast<int>(m_panes.size()); }
    UINT GetItemID(int index) const { return m_panes[static_cast<std::size_t>(index)].id; }

    void SetPaneText(int index, const char* text);
    std::string GetPaneText(int index) const;
    // Each indicator shows its text while its key is toggled on.
    void UpdateIndicators();
    // Puts the panes' right edges to the window's width.
    void LayoutPanes();

    int CalcThickness() const override;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct Pane {
        UINT id;
        std::string text;  // the indicator's text
        int width;
        bool on;
        bool shown;  // its text was set at least once
    };
    std::vector<Pane> m_panes;
};

}  // namespace kestrel
