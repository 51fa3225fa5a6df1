#include "shell/run_services.h"

#include "framework/app_globals.h"
#include "framework/frame.h"

namespace kestrel {
namespace {

// The fatal stop's message box belongs to the main window.
HWND MainFrameWindow() {
    CFrameWnd* frame = AfxGetMainFrame();
    return frame != nullptr ? frame->GetSafeHwnd() : nullptr;
}

}  // namespace

Win32RunServices::Win32RunServices(const std::optional<std::filesystem::path>& offlineFolder)
    : eventLog(&live, errors, offlineFolder), fatal(MainFrameWindow) {}

}  // namespace kestrel
