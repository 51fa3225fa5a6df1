#pragma once
// The dialog before every run: the date window, and the logs and event types
// a run reads (always the Security log; audit success and failure as they stand).
#include <ctime>

#include "engine/app_settings.h"
#include "framework/dialog.h"

namespace kestrel {

class CStartDlg : public CDialog {
public:
    // job is the CollectJob part of the application object's settings, which
    // it hands in when it runs the dialog. Written only when the dialog ends
    // with "開始".
    explicit CStartDlg(CollectJob& job, HWND parent = nullptr);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool OnCommand(UINT id) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void ShowPicker(int id, std::time_t value);
    // False when the picker holds no date.
    bool ReadPicker(int id, std::time_t& value) const;
    bool& HasDate(int id) { return m_hasDate[id == kFromPicker ? 0 : 1]; }
    bool HasDate(int id) const { return m_hasDate[id == kFromPicker ? 0 : 1]; }

    static constexpr int kFromPicker = 1001;

    CollectJob& m_job;
    // A value that cannot be shown as a date leaves its picker without one
    // until the user picks a date.
    bool m_hasDate[2] = {false, false};
};

// 00:00:00 local time on t's local day; t itself when local time cannot hold it.
std::time_t LocalMidnight(std::time_t t);

}  // namespace kestrel
