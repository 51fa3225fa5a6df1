#pragma once
// The process-wide application object and main frame, kept with the
// application class (app.cpp). The frame routes commands to the application
// last; dialogs and message boxes without a parent belong to the main frame.
namespace kestrel {

class CCmdTarget;
class CFrameWnd;

// The main frame; null until one registers.
CFrameWnd* AfxGetMainFrame();
void AfxSetMainFrame(CFrameWnd* frame);

// The application object as the last stop of the command routing.
CCmdTarget* AfxGetApp();
void AfxSetApp(CCmdTarget* app);

}  // namespace kestrel
