#pragma once
// The result list: one row per logon, failed logon or logoff of a run. The
// worker thread adds the rows (ListResultTable); the view sets up columns and
// icons, paints failed logons white on red, shows the logon type of the row
// under the pointer as a tooltip and writes the position text to the status bar.
#include <windows.h>

#include "engine/app_settings.h"
#include "framework/image_list.h"
#include "framework/tool_tip.h"
#include "framework/view.h"

namespace kestrel {

class CKestrelView : public CListView {
public:
    // settings are the application object's: it hands them in when it makes
    // the view; the view reads DontShowMessageToolTip.
    explicit CKestrelView(const AppSettings& settings) : m_settings(settings) {}
    ~CKestrelView() override;

    bool PreTranslateMessage(MSG* msg) override;

    // The newest tooltip window (one more per initial update).
    HWND GetToolTipWindow() const { return m_wndToolTip.GetSafeHwnd(); }
    HIMAGELIST GetImageList() const { return m_imageList.GetSafeHandle(); }

protected:
    BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
    void OnInitialUpdate() override;
    void OnDraw(HDC) override {}  // the list paints itself; nothing is printed
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    LRESULT OnCreate(WPARAM wParam, LPARAM lParam);
    void OnMouseMove(POINT point);
    void ShowPosition(int row);
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);
    int HitTest(POINT point) const;

    const AppSettings& m_settings;
    CToolTipCtrl m_wndToolTip;
    CImageList m_imageList;
};

}  // namespace kestrel
