#include "tests/win/support/dialog_answerer.h"

#include <commctrl.h>
#include <dlgs.h>
#include <gtest/gtest.h>

#include <set>

#include "framework/wnd.h"

namespace kestrel::testing {
namespace {

DialogAnswerer* g_answerer = nullptr;
HHOOK g_afterMessage = nullptr;
std::set<HWND> g_scripted;  // own dialogs already given their commands

std::string TextOf(HWND window) {
    char text[1024] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

UINT IconOf(HICON icon) {
    struct Known {
        LPCSTR id;
        UINT type;
    };
    static const Known known[] = {{IDI_EXCLAMATION, MB_ICONEXCLAMATION},
                                  {IDI_HAND, MB_ICONSTOP},
                                  {IDI_QUESTION, MB_ICONQUESTION},
                                  {IDI_ASTERISK, MB_ICONINFORMATION}};
    for (const Known& k : known) {
        if (icon != nullptr && icon == ::LoadIconA(nullptr, k.id)) return k.type;
    }
    return 0;
}

void AnswerFileDialog(HWND dialog) {
    DialogAnswerer::FileDialog seen{TextOf(dialog), {}, false, ::GetWindow(dialog, GW_OWNER)};
    HWND types = ::GetDlgItem(dialog, cmb1);
    const int count = static_cast<int>(::SendMessageA(types, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[256] = {};
        if (::SendMessageA(types, CB_GETLBTEXTLEN, i, 0) < static_cast<LRESULT>(sizeof text)) {
            ::SendMessageA(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        }
        seen.fileTypes.emplace_back(text);
    }
    HWND readOnly = ::GetDlgItem(dialog, chx1);
    seen.readOnlyShown = readOnly != nullptr && ::IsWindowVisible(readOnly);
    g_answerer->fileDialogs.push_back(seen);

    DialogAnswerer::FileAnswer answer;
    if (!g_answerer->fileNames.empty()) {
        answer = g_answerer->fileNames.front();
        g_answerer->fileNames.pop_front();
    }
    if (answer.name.empty()) {
        ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    if (answer.fileType > 0) {
        ::SendMessageA(types, CB_SETCURSEL, answer.fileType - 1, 0);
        ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELCHANGE), reinterpret_cast<LPARAM>(types));
        ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELENDOK), reinterpret_cast<LPARAM>(types));
    }
    HWND field = ::GetDlgItem(dialog, cmb13);
    if (field == nullptr) field = ::GetDlgItem(dialog, edt1);
    ::SetWindowTextA(field, answer.name.c_str());
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
}

HWND g_pendingFileDialog = nullptr;

void CALLBACK FileDialogTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    HWND dialog = g_pendingFileDialog;
    g_pendingFileDialog = nullptr;
    if (g_answerer != nullptr && dialog != nullptr && ::IsWindow(dialog)) AnswerFileDialog(dialog);
}

// Keeps an answered box from showing: Wine without a window manager waits two
// seconds for every top-level window it maps and unmaps.
LRESULT CALLBACK NeverShown(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (message == WM_WINDOWPOSCHANGING) reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
    if (message == WM_NCDESTROY) ::RemoveWindowSubclass(window, NeverShown, 1);
    return ::DefSubclassProc(window, message, wParam, lParam);
}

// Message boxes are answered as soon as their texts are in.
void AnswerMessageBox(HWND box) {
    HWND yes = ::GetDlgItem(box, IDYES);
    DialogAnswerer::Box seen{TextOf(box), "", 0,
                             yes != nullptr && (::GetWindowLongA(yes, GWL_STYLE) & WS_VISIBLE),
                             ::GetWindow(box, GW_OWNER)};
    for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        char className[16] = {};
        ::GetClassNameA(child, className, sizeof className);
        if (lstrcmpiA(className, "Static") != 0) continue;
        if ((::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            seen.icon = IconOf(reinterpret_cast<HICON>(::SendMessageA(child, STM_GETICON, 0, 0)));
        } else if (std::string text = TextOf(child); !text.empty()) {
            seen.text = text;
        }
    }
    g_answerer->boxes.push_back(seen);
    int answer = g_answerer->answer;
    if (!g_answerer->answers.empty()) {
        answer = g_answerer->answers.front();
        g_answerer->answers.pop_front();
    }
    ::EndDialog(box, answer);
    ::SetWindowSubclass(box, NeverShown, 1, 0);
}

bool IsDialog(HWND window) {
    char className[16] = {};
    ::GetClassNameA(window, className, sizeof className);
    return lstrcmpA(className, "#32770") == 0;
}

// Own dialogs get their commands once they show, as the user would press them.
void ScriptOwnDialog(HWND dialog) {
    if (!g_scripted.insert(dialog).second) return;
    const std::string caption = TextOf(dialog);
    g_answerer->shown.push_back(caption);
    if (const auto script = g_answerer->scripts.find(caption); script != g_answerer->scripts.end()) {
        script->second(dialog);
    }
    for (int id : g_answerer->commands[caption]) {
        if (id == IDOK || id == IDCANCEL) {
            ::PostMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(id), 0);
        } else {
            ::PostMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
        }
    }
}

LRESULT CALLBACK AfterMessage(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    const bool initialised = sent->message == WM_INITDIALOG;
    const bool activated = sent->message == WM_ACTIVATE && LOWORD(sent->wParam) != WA_INACTIVE;
    if (code == HC_ACTION && g_answerer != nullptr && (initialised || activated) && IsDialog(sent->hwnd)) {
        // Ours are CDialog objects; the system's are none of ours.
        const bool ours = CWnd::FromHandle(sent->hwnd) != nullptr;
        if (ours && activated) {
            ScriptOwnDialog(sent->hwnd);
        } else if (!ours && initialised) {
            if (::GetDlgItem(sent->hwnd, cmb1) == nullptr) {
                AnswerMessageBox(sent->hwnd);
            } else {
                // The file dialog finishes setting itself up from its queue:
                // answered a little later, and never shown either.
                ::SetWindowSubclass(sent->hwnd, NeverShown, 1, 0);
                g_pendingFileDialog = sent->hwnd;
                ::SetTimer(nullptr, 0, 50, FileDialogTimer);
            }
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

DialogAnswerer::DialogAnswerer() {
    if (g_answerer != nullptr) ADD_FAILURE() << "a DialogAnswerer is already answering";
    g_answerer = this;
    g_scripted.clear();
    g_afterMessage = ::SetWindowsHookExA(WH_CALLWNDPROCRET, AfterMessage, nullptr, ::GetCurrentThreadId());
}

DialogAnswerer::~DialogAnswerer() {
    ::UnhookWindowsHookEx(g_afterMessage);
    g_afterMessage = nullptr;
    g_answerer = nullptr;
}

}  // namespace kestrel::testing
