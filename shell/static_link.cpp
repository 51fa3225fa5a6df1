#include "shell/static_link.h"

#include <shellapi.h>

namespace kestrel {
namespace {

class SystemShell final : public LinkShell {
public:
    INT_PTR Open(const char* target) override {
        return reinterpret_cast<INT_PTR>(
            ::ShellExecuteA(nullptr, "open", target, nullptr, nullptr, SW_SHOWNORMAL));
    }
    void Beep() override { ::MessageBeep(0); }
};

SystemShell g_systemShell;
LinkShell* g_shell = &g_systemShell;

// The help program's pointing hand, where the system still has it.
HCURSOR LoadHelpHand() {
    char path[MAX_PATH + 1] = {};
    const UINT length = ::GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0 || length + sizeof "\\winhlp32.exe" > sizeof path) return nullptr;
    lstrcatA(path, "\\winhlp32.exe");
    // As data: nothing of the program runs in this process.
    const ScopedModule module(::LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) return nullptr;
    HCURSOR cursor = nullptr;
    if (HCURSOR shared = ::LoadCursorA(module.Get(), MAKEINTRESOURCEA(106))) cursor = ::CopyIcon(shared);
    return cursor;
}

}  // namespace

LinkShell* SetLinkShell(LinkShell* shell) {
    LinkShell* previous = g_shell;
    g_shell = shell != nullptr ? shell : &g_systemShell;
    return previous == &g_systemShell ? nullptr : previous;
}

HCURSOR GetLinkCursor() {
    // Tried once per process, whatever comes of it.
    static const HCURSOR cursor = [] {
        if (HCURSOR hand = LoadHelpHand()) return hand;
        return ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND));
    }();
    return cursor;
}

CStaticLink::CStaticLink(const char* link, BOOL deleteOnDestroy)
    : m_link(link != nullptr ? link : ""), m_bDeleteOnDestroy(deleteOnDestroy) {}

CStaticLink::~CStaticLink() {
    DestroyWindow();  // before m_font goes: the control may still use it
}

LRESULT CStaticLink::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCHITTEST:
            // A static is transparent to the mouse; a link takes its clicks.
            return HTCLIENT;
        case WM_LBUTTONDOWN:
            OnLButtonDown();
            return 0;
        case WM_SETCURSOR:
            if (HCURSOR cursor = GetLinkCursor()) {
                ::SetCursor(cursor);
                return TRUE;
            }
            return FALSE;
        default:
            return CStatic::WindowProc(message, wParam, lParam);
    }
}

bool CStaticLink::OnChildNotify(UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
    if (message != WM_CTLCOLORSTATIC) return false;
    // Only text statics (left, centred, right); icons, frames and the rest
    // keep the parent's colouring.
    if ((::GetWindowLongA(m_hWnd, GWL_STYLE) & 0xFF) > SS_RIGHT) return false;

    HDC dc = reinterpret_cast<HDC>(wParam);
    if (!m_font) {
        HGDIOBJ font = reinterpret_cast<HGDIOBJ>(Send(WM_GETFONT));
        if (font == nullptr) font = ::GetStockObject(SYSTEM_FONT);
        LOGFONTA underlined{};
        if (::GetObjectA(font, sizeof underlined, &underlined) != 0) {
            underlined.lfUnderline = TRUE;
            m_font.Reset(::CreateFontIndirectA(&underlined));
            // Some statics (Wine's) select their own font after asking for
            // the colours: that one is underlined too.
            if (m_font) Send(WM_SETFONT, reinterpret_cast<WPARAM>(m_font.Get()), FALSE);
        }
    }
    if (m_font) ::SelectObject(dc, m_font.Get());
    ::SetTextColor(dc, m_color);
    ::SetBkMode(dc, TRANSPARENT);
    *result = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    return true;
}

void CStaticLink::OnLButtonDown() {
    std::string target = m_link;
    if (target.empty()) {
        const int length = ::GetWindowTextLengthA(m_hWnd);
        if (length > 0) {
            target.resize(static_cast<std::size_t>(length) + 1);
            target.resize(static_cast<std::size_t>(::GetWindowTextA(m_hWnd, target.data(), length + 1)));
        }
    }
    if (target.empty()) return;
    if (g_shell->Open(target.c_str()) <= 32) {
        g_shell->Beep();
        return;
    }
    m_color = kVisited;
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CStaticLink::PostNcDestroy() {
    if (m_bDeleteOnDestroy) delete this;
}

}  // namespace kestrel
