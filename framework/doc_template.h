#pragma once
// One document, one frame, its views: what the framework's New and Open make.
#include <windows.h>

#include <functional>
#include <memory>

#include "framework/document.h"
#include "framework/view.h"

namespace kestrel {

class CFrameWnd;

class CSingleDocTemplate {
public:
    using DocumentClass = std::function<std::unique_ptr<CDocument>()>;
    // The frame deletes itself when its window goes.
    using FrameClass = std::function<CFrameWnd*()>;
    using ViewClass = std::function<std::unique_ptr<CView>()>;

    // resourceId names the menu, accelerators, icon and document string.
    CSingleDocTemplate(UINT resourceId, DocumentClass document, FrameClass frame, ViewClass view);
    ~CSingleDocTemplate();
    CSingleDocTemplate(const CSingleDocTemplate&) = delete;
    CSingleDocTemplate& operator=(const CSingleDocTemplate&) = delete;

    // path null: a new, empty document, with its frame the first time. Else
    // the file opened as the document. Null when that fails.
    CDocument* OpenDocumentFile(const char* path, bool makeVisible = true);
    CDocument* GetDocument() const { return m_pOnlyDoc.get(); }
    UINT GetResourceId() const { return m_nIDResource; }

    // The frame showing the document, if it has one.
    CFrameWnd* GetFrame() const;

private:
    CFrameWnd* CreateNewFrame();

    UINT m_nIDResource;
    DocumentClass m_documentClass;
    FrameClass m_frameClass;
    ViewClass m_viewClass;
    std::unique_ptr<CDocument> m_pOnlyDoc;
};

}  // namespace kestrel
