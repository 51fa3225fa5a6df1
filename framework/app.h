#pragma once
// The application object. It runs the message loop of the user-interface
// thread: the main frame's accelerators, then each window's pre-translation,
// then translate and dispatch; whenever the queue runs empty the frame
// updates its status bar.
#include <windows.h>

#include <memory>
#include <string>

#include "framework/app_globals.h"
#include "framework/command_line_info.h"
#include "framework/doc_template.h"
#include "framework/wnd.h"

namespace kestrel {

class CWinApp : public CCmdTarget {
public:
    CWinApp();
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up; FALSE ends the application before the message loop.
    virtual BOOL InitInstance() { return TRUE; }
    // The message loop until WM_QUIT; the exit code.
    virtual int Run();
    virtual int ExitInstance() { return m_exitCode; }
    // Called while the queue is empty; TRUE asks for more idle time.
    virtual BOOL OnIdle(LONG count);
    // Accelerators of the main frame, then the windows' own pre-translation.
    bool PreTranslateMessage(MSG* msg);
    // Handles one message, waiting for it; false on WM_QUIT.
    bool PumpMessage();

    void AddDocTemplate(std::unique_ptr<CSingleDocTemplate> docTemplate) {
        m_pDocTemplate = std::move(docTemplate);
    }
    CSingleDocTemplate* GetDocTemplate() const { return m_pDocTemplate.get(); }

    // The process's command line (without the program) into info.
    void ParseCommandLine(CCommandLineInfo& info) const;
    BOOL ProcessShellCommand(CCommandLineInfo& info);

    // The system's file dialog, starting from fileName; false when cancelled.
    virtual bool DoPromptFileName(std::string& fileName, bool open);

    // The framework's commands.
    void OnAppExit();
    void OnFileNew();
    void OnFileOpen();

    int m_nCmdShow = SW_SHOWNORMAL;

protected:
    bool OnCommand(UINT id) override;

private:
    std::unique_ptr<CSingleDocTemplate> m_pDocTemplate;
    int m_exitCode = 0;
};

// The application object, or null.
CWinApp* AfxGetWinApp();

// What WinMain does: start-up, then the message loop; the exit code.
int AfxWinMain(int showCommand);

}  // namespace kestrel
