#pragma once
// Answers this thread's modal dialogs from a hook while it lives, and notes
// what each one showed: message boxes, the system's file dialogs and the
// program's own dialogs. One at a time.
#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kestrel::testing {

class DialogAnswerer {
public:
    struct Box {
        std::string caption;
        std::string text;
        UINT icon = 0;  // MB_ICONEXCLAMATION, MB_ICONSTOP, MB_ICONQUESTION, MB_ICONINFORMATION or 0
        bool yesNo = false;
        HWND owner = nullptr;
    };
    struct FileDialog {
        std::string caption;
        std::vector<std::string> fileTypes;  // the file-type choices, in order
        bool readOnlyShown = false;
        HWND owner = nullptr;
    };

    DialogAnswerer();
    ~DialogAnswerer();
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;

    // Message boxes: the button ids for the next ones, then answer for the rest.
    std::deque<int> answers;
    int answer = IDOK;
    // What to answer the next file dialogs: the name typed, after choosing
    // file type fileType (from 1; 0 leaves the first). An empty name
    // cancels; with none left, the dialog is cancelled.
    struct FileAnswer {
        FileAnswer(std::string typed = {}, int type = 0) : name(std::move(typed)), fileType(type) {}
        FileAnswer(const char* typed) : name(typed) {}
        std::string name;
        int fileType = 0;
    };
    std::deque<FileAnswer> fileNames;
    // The program's own dialogs: the commands posted, in order, to the one
    // with this caption when it shows (IDOK and IDCANCEL as commands, any
    // other id as a click on that button).
    std::map<std::string, std::vector<int>> commands;
    // Run on the dialog with this caption when it shows, before its commands:
    // to read what it shows and work it as the user would.
    std::map<std::string, std::function<void(HWND)>> scripts;

    std::vector<Box> boxes;
    std::vector<FileDialog> fileDialogs;
    std::vector<std::string> shown;  // captions of the program's own dialogs, in order
};

}  // namespace kestrel::testing
