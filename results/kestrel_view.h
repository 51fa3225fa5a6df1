#pragma once
// The result list: one row per logon, failed logon or logoff of a run. The
// worker thread adds the rows (RelayedResultTable); the view sets up columns and
// icons, paints failed logons white on red, shows the logon type of the row
// under the pointer as a tooltip and writes the position text to the status bar.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/app_settings.h"
#include "framework/image_list.h"
#include "framework/tool_tip.h"
#include "framework/view.h"

namespace kestrel {

// Sent to the view by a run as it begins a computer: the rows from index
// wParam on were read from the computer named by lParam (const char*). The
// view keeps the name beside those rows for copy and save; one message a
// computer, since every sent message costs the worker a thread switch.
inline constexpr UINT WM_KESTREL_ROW_COMPUTER = WM_APP + 0x40;

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

    // The computer row was read from; empty for a row no run added.
    std::string GetRowComputer(int row) const;
    // The heading line and the rows (every row, or the selected ones), the
    // computer first, fields split by separator and quoted where they must be.
    std::vector<std::string> RowLines(char separator, bool selectedOnly) const;
    int GetSelectedCount() const;
    // The first selected row; -1 when none is.
    int GetSelectedRow() const;
    // Makes row the one selected and focused row, scrolled into sight.
    void SelectRow(int row);
    int GetRowCount() const { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
    // The text of a cell, whole.
    std::string GetCellText(int row, int column) const;
    // Ctrl+C: the selected rows to the clipboard as text, ANSI and Unicode.
    void CopySelection();
    // Ctrl+A: every row selected.
    void SelectAll();

protected:
    BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
    void OnInitialUpdate() override;
    void OnDraw(HDC) override {}  // the list paints itself; nothing is printed
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    bool OnCommand(UINT id) override;

private:
    LRESULT OnCreate(WPARAM wParam, LPARAM lParam);
    void OnMouseMove(POINT point);
    void ShowPosition(int row);
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);
    int HitTest(POINT point) const;
    // Back to one selected row, as clicks and keys expect, after SelectAll.
    void RestoreSingleSelection();

    const AppSettings& m_settings;
    CToolTipCtrl m_wndToolTip;
    CImageList m_imageList;
    // (first row, computer) of each computer's rows, in row order.
    std::vector<std::pair<int, std::string>> m_computerRows;
};

}  // namespace kestrel
