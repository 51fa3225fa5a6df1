#include "tests/win/support/ui_support.h"

#include <commctrl.h>

#include <atomic>
#include <thread>

namespace kestrel::testing {
namespace {

const std::function<void(HWND)>* g_script = nullptr;
CDialog* g_scriptDialog = nullptr;

void CALLBACK ScriptTimer(HWND, UINT, UINT_PTR id, DWORD) {
    // The dialog manager shows the dialog once its queue is empty: until
    // then, wait for the next tick. Ending it hides it again.
    HWND dialog = g_scriptDialog != nullptr ? g_scriptDialog->GetSafeHwnd() : nullptr;
    if (dialog == nullptr || !::IsWindowVisible(dialog)) return;
    ::KillTimer(nullptr, id);
    const auto* script = g_script;
    g_script = nullptr;
    if (script == nullptr) return;
    (*script)(dialog);
    if (::IsWindow(dialog) && ::IsWindowVisible(dialog)) ::EndDialog(dialog, kLeftOpen);
}

}  // namespace

std::string WindowText(HWND window) {
    char text[1024] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

TestFrame::TestFrame() {
    AfxInitCommonControls();
    const RECT rect{40, 40, 40 + 760, 40 + 420};
    CreateEx(0, nullptr, "kestrel test", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, rect, nullptr, 0);
    m_statusBar = ::CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, m_hWnd,
                                    nullptr, nullptr, nullptr);
    ::ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);
    ::UpdateWindow(m_hWnd);
    AfxSetMainFrame(this);
}

TestFrame::~TestFrame() {
    DestroyWindow();
    AfxSetMainFrame(nullptr);
}

void TestFrame::SetMessageText(const char* text) {
    ::SendMessageA(m_statusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    ::UpdateWindow(m_statusBar);
}

std::string TestFrame::MessageText() const {
    char text[256] = {};
    if (LOWORD(::SendMessageA(m_statusBar, SB_GETTEXTLENGTHA, 0, 0)) < sizeof text) {
        ::SendMessageA(m_statusBar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    }
    return text;
}

RECT TestFrame::ViewRect() const {
    RECT client{}, bar{};
    ::GetClientRect(m_hWnd, &client);
    ::GetWindowRect(m_statusBar, &bar);
    client.bottom -= bar.bottom - bar.top;
    return client;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > timeoutMs) return false;
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (CWnd::WalkPreTranslateTree(nullptr, &msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

void PumpFor(DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    PumpUntil([&] { return ::GetTickCount() - start >= milliseconds; }, milliseconds + 1000);
}

bool OnWorkerThread(const std::function<void()>& work) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    const bool finished = PumpUntil([&] { return done.load(); });
    worker.join();
    return finished;
}

INT_PTR RunModal(CDialog& dialog, const std::function<void(HWND)>& script) {
    g_script = &script;
    g_scriptDialog = &dialog;
    ::SetTimer(nullptr, 0, 20, ScriptTimer);
    const INT_PTR result = dialog.DoModal();
    g_script = nullptr;
    g_scriptDialog = nullptr;
    return result;
}

::testing::AssertionResult ImageShowsBitmap(HIMAGELIST list, int index, UINT bitmapId, COLORREF transparent) {
    constexpr COLORREF kMagenta = RGB(255, 0, 255);
    HDC screen = ::GetDC(nullptr);
    HDC drawn = ::CreateCompatibleDC(screen);
    HDC source = ::CreateCompatibleDC(screen);
    HBITMAP canvas = ::CreateCompatibleBitmap(screen, 16, 16);
    ::ReleaseDC(nullptr, screen);
    HBITMAP bitmap = static_cast<HBITMAP>(::LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(bitmapId),
                                                       IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    HGDIOBJ oldCanvas = ::SelectObject(drawn, canvas);
    HGDIOBJ oldBitmap = ::SelectObject(source, bitmap);
    HBRUSH brush = ::CreateSolidBrush(kMagenta);
    const RECT all{0, 0, 16, 16};
    ::FillRect(drawn, &all, brush);
    ::DeleteObject(brush);

    ::testing::AssertionResult result = ::testing::AssertionSuccess();
    if (bitmap == nullptr || !ImageList_Draw(list, index, drawn, 0, 0, ILD_TRANSPARENT)) {
        result = ::testing::AssertionFailure()
                 << "image " << index << " or bitmap " << bitmapId << " missing";
    }
    int opaque = 0;
    for (int y = 0; y < 16 && result; ++y) {
        for (int x = 0; x < 16 && result; ++x) {
            const COLORREF own = ::GetPixel(source, x, y);
            const COLORREF expected = own == transparent ? kMagenta : own;
            opaque += own != transparent;
            const COLORREF seen = ::GetPixel(drawn, x, y);
            if (seen != expected) {
                result = ::testing::AssertionFailure()
                         << "image " << index << " pixel " << x << "," << y << ": " << std::hex << seen
                         << " instead of " << expected;
            }
        }
    }
    if (result && opaque == 0) result = ::testing::AssertionFailure() << "bitmap " << bitmapId << " is empty";

    ::SelectObject(drawn, oldCanvas);
    ::SelectObject(source, oldBitmap);
    ::DeleteObject(canvas);
    ::DeleteObject(bitmap);
    ::DeleteDC(drawn);
    ::DeleteDC(source);
    return result;
}

void Click(HWND dialog, int id) { ::SendMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

}  // namespace kestrel::testing
