#pragma once
// The report dialog: the run report as it stood when the dialog opened, and
// "コピー", which puts the whole report on the clipboard as text.
#include <string>

#include "framework/dialog.h"

namespace kestrel {

class CReportDlg : public CDialog {
public:
    // With no parent window: the worker thread of a run opens it.
    explicit CReportDlg(const std::string& report);

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id) override;

private:
    const std::string& m_report;
};

}  // namespace kestrel
