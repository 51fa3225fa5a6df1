#pragma once
// The details of one row of the result table: where the event came from, who
// logged on and how, why a logon failed, and the event's message text as the
// run made it. 前へ and 次へ move the table's selection and show that row;
// ｺﾋﾟｰ puts the whole dialog on the clipboard as text.
#include <memory>
#include <string>

#include "engine/message_text.h"
#include "framework/dialog.h"
#include "shell/run_events.h"

namespace kestrel {

class CKestrelView;

class CEventDetailsDlg : public CDialog {
public:
    // services: those of the runs, with which the message is worked out again.
    CEventDetailsDlg(HWND parent, CKestrelView& view, std::shared_ptr<RunEvents> events,
                     const MessageServices& services);

    // The dialog's fields and message as text, a field a line.
    std::string GetText() const;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id) override;

private:
    void ShowRow(int row);

    CKestrelView& m_view;
    std::shared_ptr<RunEvents> m_pEvents;
    MessageServices m_services;
    int m_row = -1;
};

}  // namespace kestrel
