#pragma once
// The worker thread of a run. The Start command makes it suspended, gives it
// the main frame and resumes it; Run walks the computer list and fills the
// result list through messages to their controls, and opens the report
// dialog on this thread after each computer whose log cannot be read (or
// once at the end, when the failures are gathered).
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>

#include "framework/thread.h"
#include "shell/run_events.h"

namespace kestrel {

class CMainFrame;

// What the user-interface thread and a run's worker share so that the user
// or closing the program can end the run: the stop request, and the report
// dialog the worker has open; and whether failed computers wait for the end
// of the run to be reported together.
struct RunControl {
    std::atomic<bool> stop{false};
    std::atomic<HWND> reportDialog{nullptr};
    std::atomic<bool> gatherFailures{false};
};

class CGetLogThread : public CWinThread {
public:
    BOOL InitInstance() override { return TRUE; }
    // The whole run; 1, the thread's exit code.
    int Run() override;

    CMainFrame* m_pMainFrame = nullptr;
    // The exported logs this run reads, taken when it starts; none: the
    // event-log service.
    std::optional<std::filesystem::path> m_offlineFolder;
    // Where the run keeps the logon events it hands on.
    std::shared_ptr<RunEvents> m_pEvents;
};

}  // namespace kestrel
