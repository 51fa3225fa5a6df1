#pragma once
// How a run reaches the windows: the computer list, the result table and the
// report dialog. The worker thread implements these with SendMessage; the
// command-line collector and the tests keep everything in memory.
#include <string>
#include <vector>

namespace kestrel {

class ComputerListPort {
public:
    virtual ~ComputerListPort() = default;
    // The computer names in display order, as the list holds them.
    virtual std::vector<std::string> ComputerNames() = 0;
};

// The result list, addressed the way the list-view messages address it.
class ResultTablePort {
public:
    virtual ~ResultTablePort() = default;
    virtual int ItemCount() = 0;                                          // LVM_GETITEMCOUNT
    virtual void InsertItem(int index, int image) = 0;                    // LVM_INSERTITEMA, LVIF_IMAGE
    virtual void SetItemText(int row, int column, const char* text) = 0;  // LVM_SETITEMA, LVIF_TEXT
    virtual void RedrawItems(int first, int last) = 0;                    // LVM_REDRAWITEMS
    virtual void DeleteAllItems() = 0;                                    // LVM_DELETEALLITEMS
};

class ReportPort {
public:
    virtual ~ReportPort() = default;
    // Shows the run report so far and returns when the user has closed it.
    virtual void ShowReport() = 0;
};

}  // namespace kestrel
