#pragma once
// A static text that looks and acts like a web link: underlined, blue until
// it has been opened once and purple afterwards, with a hand cursor. A click
// opens the target, or the control's own text when there is no target.
#include <windows.h>

#include <string>

#include "framework/scoped_handles.h"
#include "framework/static.h"

namespace kestrel {

class CStaticLink : public CStatic {
public:
    static constexpr COLORREF kUnvisited = RGB(0, 0, 255);
    static constexpr COLORREF kVisited = RGB(128, 0, 128);

    // link may be null (empty). With deleteOnDestroy the object deletes
    // itself after its window is gone, for links made with new.
    explicit CStaticLink(const char* link = nullptr, BOOL deleteOnDestroy = FALSE);
    ~CStaticLink() override;

    std::string m_link;
    COLORREF m_color = kUnvisited;
    ScopedFont m_font;  // the control's font underlined, made on first use
    BOOL m_bDeleteOnDestroy;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void PostNcDestroy() override;

private:
    void OnLButtonDown();
};

// What a click does outside the program: the system's shell and beep unless
// a test puts its own in place.
class LinkShell {
public:
    virtual ~LinkShell() = default;
    // ShellExecuteA's answer for opening target: above 32 when it worked.
    virtual INT_PTR Open(const char* target) = 0;
    virtual void Beep() = 0;
};
// null puts the system's back; answers the one it replaces.
LinkShell* SetLinkShell(LinkShell* shell);

// The link cursor, shared by every link of the process and loaded on first
// use; null when there is none.
HCURSOR GetLinkCursor();

}  // namespace kestrel
