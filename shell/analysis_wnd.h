#pragma once
// A window beside the main window with the sessions or the summary of the
// last run, by the rules and with the numbers of kestrel-collect --sessions
// and --summary. It follows a running run, at most once a second. A heading
// click sorts the lines; Ctrl+C copies the selected ones and
// "CSVﾌｧｲﾙに保存..." saves them all, as the result table does; Esc closes it.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "analysis/run_tables.h"
#include "framework/dialog.h"
#include "shell/run_events.h"

namespace kestrel {

class CMainFrame;

class CAnalysisWnd : public CDialog {
public:
    enum class Kind { Sessions, Summary };

    CAnalysisWnd(Kind kind, CMainFrame& frame);

    // Shows the window, made anew or brought to the front.
    void Open();

    // The lines as they stand in the list, cells split by separator, with
    // the heading first: every line, or the selected ones.
    std::vector<std::string> Lines(char separator, bool selectedOnly) const;
    const std::vector<std::string>& GetWarnings() const { return m_warnings; }
    // Reads what the run kept since the last time.
    void Refresh();

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id) override;
    bool PreTranslateMessage(MSG* msg) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnNotify(NMHDR* header);
    void Layout();
    void SortBy(int column);
    void Sort();
    void ShowLines();

    Kind m_kind;
    CMainFrame& m_frame;
    HWND m_hList = nullptr;
    std::shared_ptr<RunEvents> m_pEvents;  // of the run shown
    std::size_t m_seenEvents = 0;
    RunTables m_tables;
    std::vector<TableLine> m_lines;  // in the order shown
    std::vector<std::string> m_warnings;
    int m_sortColumn = -1;
    bool m_sortDescending = false;
};

}  // namespace kestrel
