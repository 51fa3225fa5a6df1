#pragma once
// Where the list commands ask the user for a file. The program uses the
// system's dialogs; the tests answer in their place.
#include <windows.h>

#include <string>

namespace kestrel {

class ListFileDialogs {
public:
    virtual ~ListFileDialogs() = default;
    // The chosen file's path, or empty when the user cancelled.
    virtual std::string AskSaveName(HWND owner) = 0;
    virtual std::string AskImportName(HWND owner) = 0;
};

// The system's save dialog (default extension "lst", a question before an
// existing file is overwritten) and open dialog, both with the text-file and
// all-files choices and without the read-only box.
ListFileDialogs& SystemListFileDialogs();

}  // namespace kestrel
