#pragma once
// The application object, its single-document template and the command line.
// The application runs the message loop of the user-interface thread: the
// main frame's accelerators, then each window's pre-translation, then
// translate and dispatch; whenever the queue runs empty the frame updates its
// status bar.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "framework/frame.h"
#include "framework/view.h"

namespace kestrel {

// One document, one frame, its views: what the framework's New and Open make.
class CSingleDocTemplate {
public:
    using DocumentClass = std::function<std::unique_ptr<CDocument>()>;
    // The frame deletes itself when its window goes.
    using FrameClass = std::function<CFrameWnd*()>;
    using ViewClass = std::function<std::unique_ptr<CView>()>;

    // resourceId names the menu, accelerators, icon and document string.
    CSingleDocTemplate(UINT resourceId, DocumentClass document, FrameClass frame, ViewClass view);
    ~CSingleDocTemplate();
    CSingleDocTemplate(const CSingleDocTemplate&) = delete;
    CSingleDocTemplate& operator=(const CSingleDocTemplate&) = delete;

    // path null: a new, empty document, with its frame the first time. Else
    // the file opened as the document. Null when that fails.
    CDocument* OpenDocumentFile(const char* path, bool makeVisible = true);
    CDocument* GetDocument() const { return m_pOnlyDoc.get(); }
    UINT GetResourceId() const { return m_nIDResource; }

    // The frame showing the document, if it has one.
    CFrameWnd* GetFrame() const;

private:
    CFrameWnd* CreateNewFrame();

    UINT m_nIDResource;
    DocumentClass m_documentClass;
    FrameClass m_frameClass;
    ViewClass m_viewClass;
    std::unique_ptr<CDocument> m_pOnlyDoc;
};

// The standard command line: a file name opens that file; without one a new
// document is made.
struct CCommandLineInfo {
    enum Shell { FileNew, FileOpen };
    Shell m_nShellCommand = FileNew;
    std::string m_strFileName;
    // One argument; flag when it began with '/' or '-' (then without it).
    void ParseParam(const char* param, bool flag);
};

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

    void AddDocTemplate(std::unique_ptr<CSingleDocTemplate> docTemplate) { m_pDocTemplate = std::move(docTemplate); }
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
