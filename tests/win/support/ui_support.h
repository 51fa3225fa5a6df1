#pragma once
// Helpers of the window tests: a stand-in main frame with a real status bar,
// a message pump and a driver for modal dialogs.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "framework/dialog.h"
#include "framework/frame.h"

namespace kestrel::testing {

// A visible top-level frame, registered as the main frame while it lives.
class TestFrame final : public CFrameWnd {
public:
    TestFrame();
    ~TestFrame() override;
    void SetMessageText(const char* text) override;
    // Pane 0 as the status bar control holds it.
    std::string MessageText() const;
    // Where a view goes: the client area above the status bar.
    RECT ViewRect() const;

private:
    HWND m_statusBar = nullptr;
};

// Views under test live in one frame per suite: showing and hiding a
// top-level window costs Wine a second each without a window manager.
class FrameSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() { frame = new TestFrame; }
    static void TearDownTestSuite() {
        delete frame;
        frame = nullptr;
    }
    static inline TestFrame* frame = nullptr;
};

// Handles sent and posted messages of this thread until done() holds or
// timeoutMs passes; false on timeout. Posted messages pass the windows'
// pre-translation as in the program's own loop.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);
void PumpFor(DWORD milliseconds);
// Runs work on a second thread, as the worker of a run, while this thread
// serves its windows; false when it did not end in time.
bool OnWorkerThread(const std::function<void()>& work);

// Runs dialog modally; script runs once inside its modal loop with the
// dialog's window. A dialog the script leaves open ends with kLeftOpen.
inline constexpr INT_PTR kLeftOpen = 4242;
INT_PTR RunModal(CDialog& dialog, const std::function<void(HWND)>& script);

// A button pressed the way the user presses it.
void Click(HWND dialog, int id);

std::string WindowText(HWND window);

// Image index of list drawn over magenta, pixel by pixel against the bitmap
// resource: where the bitmap has the transparent colour the magenta shows,
// elsewhere the bitmap's own colour.
::testing::AssertionResult ImageShowsBitmap(HIMAGELIST list, int index, UINT bitmapId, COLORREF transparent);

}  // namespace kestrel::testing
