#pragma once
// A static splitter: one row of panes side by side, each a view that lives as
// long as the splitter, with bars between them that the user drags.
#include <memory>
#include <vector>

#include "framework/frame.h"

namespace kestrel {

class CSplitterWnd : public CWnd {
public:
    ~CSplitterWnd() override;

    // Only one row is supported.
    bool CreateStatic(HWND parent, int rows, int cols, DWORD style = WS_CHILD | WS_VISIBLE,
                      UINT id = AFX_IDW_PANE_FIRST);
    // Puts view into the pane; the column starts initial.cx wide (the last
    // one takes what is left). The splitter keeps the view.
    bool CreateView(int row, int col, std::unique_ptr<CView> view, SIZE initial, CCreateContext* context);

    CView* GetPane(int row, int col) const;
    int GetColumnCount() const { return static_cast<int>(m_columns.size()); }
    int IdFromRowCol(int row, int col) const { return AFX_IDW_PANE_FIRST + row * 16 + col; }
    void SetColumnInfo(int col, int ideal) { m_columns.at(static_cast<std::size_t>(col)).ideal = ideal; }
    int GetColumnWidth(int col) const { return m_columns.at(static_cast<std::size_t>(col)).ideal; }
    // The bar after column col, in client coordinates.
    RECT GetBarRect(int col) const;

    // The pane after (or before) the frame's active view becomes active.
    void ActivateNext(bool previous);
    void RecalcLayout();

    static constexpr int kBarWidth = 6;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct Column {
        int ideal = 0;
        std::unique_ptr<CView> view;
    };
    int BarAt(POINT point) const;
    void Paint();

    std::vector<Column> m_columns;
    int m_trackingBar = -1;  // the bar being dragged
    int m_trackingOffset = 0;
};

}  // namespace kestrel
