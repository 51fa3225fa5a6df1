#pragma once
// Where the main frame asks the user for the results file and the folder of
// exported logs. The program uses the system's dialogs; tests answer in
// their place.
#include <windows.h>

#include <string>

namespace kestrel {

class FrameDialogs {
public:
    virtual ~FrameDialogs() = default;
    // The chosen path, or empty when the user cancelled.
    virtual std::string AskResultsFileName(HWND owner) = 0;
    // The dialog opens at current (the folder in use) when there is one.
    virtual std::string AskLogFolder(HWND owner, const std::string& current) = 0;
};

// The save dialog (default extension "csv", a question before an existing
// file is replaced) and the system's folder dialog.
FrameDialogs& SystemFrameDialogs();

}  // namespace kestrel
