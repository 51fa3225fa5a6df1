#pragma once
// Documents and views. A view lives in the frame's client area and shows its
// document; a control view is a system control (tree, list) that is the view
// window itself.
#include <string>
#include <vector>

#include "framework/wnd.h"

namespace kestrel {

// Sent by the frame to every view after its document was made, renewed or
// opened: the view then runs its initial update.
inline constexpr UINT WM_INITIALUPDATE = 0x0364;

class CView;

class CDocument : public CCmdTarget {
public:
    ~CDocument() override;

    void AddView(CView* view);
    void RemoveView(CView* view);
    const std::vector<CView*>& GetViews() const { return m_views; }

    // A new, empty document; false refuses it.
    virtual bool OnNewDocument() {
        DeleteContents();
        return true;
    }
    virtual void DeleteContents() {}

    // The file as the document. The document's contents live in its views,
    // so nothing is read or written: the file is only opened, or written empty.
    // False (after a message) when the file cannot be opened or written.
    virtual bool OnOpenDocument(const char* path);
    virtual bool OnSaveDocument(const char* path);

    const std::string& GetTitle() const { return m_strTitle; }
    // The frames showing the document take the new title at once.
    void SetTitle(const std::string& title);
    const std::string& GetPathName() const { return m_strPathName; }
    // The file the document is; its name becomes the title.
    void SetPathName(const std::string& path);
    void ClearPathName() { m_strPathName.clear(); }

    // Saves under path, or under a name the user chooses when path is null.
    bool DoSave(const char* path);

protected:
    // ID_FILE_SAVE.
    bool OnCommand(UINT id) override;
    void OnFileSave();

private:
    std::vector<CView*> m_views;
    std::string m_strTitle;
    std::string m_strPathName;
};

// The name part of a path (after its last '\\', '/' or ':').
std::string FileNameOf(const std::string& path);

class CFrameWnd;

class CView : public CWnd {
public:
    ~CView() override;

    CDocument* GetDocument() const { return m_pDocument; }
    // The view's window, child of parent; the document (may be null) gets
    // the view before its window exists.
    virtual bool Create(HWND parent, const RECT& rect, UINT id, CDocument* document) = 0;
    // Commands go to the view, then to its document.
    bool OnCmdMsg(UINT id) override;

    // The frame the view lives in, or null.
    CFrameWnd* GetParentFrame() const;

protected:
    friend class CDocument;
    virtual void OnInitialUpdate();
    virtual void OnDraw(HDC dc) = 0;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    CDocument* m_pDocument = nullptr;
};

// A view that is a system control of the given window class.
class CCtrlView : public CView {
public:
    explicit CCtrlView(const char* className) : m_className(className) {}
    // Child, visible and bordered.
    bool Create(HWND parent, const RECT& rect, UINT id, CDocument* document) override;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnDraw(HDC) override {}  // the control paints itself

private:
    const char* m_className;
};

class CTreeView : public CCtrlView {
public:
    CTreeView() : CCtrlView("SysTreeView32") {}
};

class CListView : public CCtrlView {
public:
    CListView() : CCtrlView("SysListView32") {}
};

}  // namespace kestrel
