#pragma once
// Answers this thread's message boxes and the system's file dialogs from a
// hook, and notes what each one showed.
#include <windows.h>

#include <deque>
#include <utility>
#include <string>
#include <vector>

namespace kestrel::testing {

class DialogAnswerer {
public:
    struct Box {
        std::string caption;
        std::string text;
        UINT icon = 0;  // MB_ICONEXCLAMATION, MB_ICONSTOP, MB_ICONQUESTION or 0
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

    // Button ids for the next message boxes; IDOK once they are used up.
    std::deque<int> answers;
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

    std::vector<Box> boxes;
    std::vector<FileDialog> fileDialogs;
};

}  // namespace kestrel::testing
