#pragma once
// The computer list as a run reads it: messages sent to the tree control
// from the worker thread, answered by the user-interface thread.
#include <windows.h>

#include "engine/ports.h"

namespace kestrel {

class TreeComputerList final : public ComputerListPort {
public:
    explicit TreeComputerList(HWND tree) : tree_(tree) {}
    // From the root's first child, in display order.
    std::vector<std::string> ComputerNames() override;

private:
    HWND tree_;
};

}  // namespace kestrel
