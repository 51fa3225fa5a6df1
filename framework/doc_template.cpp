#include "framework/doc_template.h"

#include "framework/app.h"
#include "framework/frame.h"

namespace kestrel {
namespace {

constexpr char kUntitled[] = "無題";

}  // namespace

CSingleDocTemplate::CSingleDocTemplate(UINT resourceId, DocumentClass document, FrameClass frame,
                                       ViewClass view)
    : m_nIDResource(resourceId),
      m_documentClass(std::move(document)),
      m_frameClass(std::move(frame)),
      m_viewClass(std::move(view)) {}

CSingleDocTemplate::~CSingleDocTemplate() = default;

CFrameWnd* CSingleDocTemplate::GetFrame() const {
    if (m_pOnlyDoc == nullptr) return nullptr;
    for (CView* view : m_pOnlyDoc->GetViews()) {
        if (CFrameWnd* frame = view->GetParentFrame()) return frame;
    }
    return nullptr;
}

CFrameWnd* CSingleDocTemplate::CreateNewFrame() {
    CFrameWnd* frame = m_frameClass ? m_frameClass() : nullptr;
    if (frame == nullptr) return nullptr;
    CCreateContext context;
    context.m_pCurrentDoc = m_pOnlyDoc.get();
    context.m_pNewViewClass = m_viewClass;
    if (!frame->LoadFrame(m_nIDResource, WS_OVERLAPPEDWINDOW, &context)) {
        delete frame;
        return nullptr;
    }
    return frame;
}

CDocument* CSingleDocTemplate::OpenDocumentFile(const char* path, bool makeVisible) {
    const bool newDocument = m_pOnlyDoc == nullptr;
    if (newDocument) {
        m_pOnlyDoc = m_documentClass ? m_documentClass() : nullptr;
        if (m_pOnlyDoc == nullptr) return nullptr;
    }
    CDocument* document = m_pOnlyDoc.get();
    CFrameWnd* frame = GetFrame();
    const bool newFrame = frame == nullptr;
    if (newFrame) frame = CreateNewFrame();
    if (frame == nullptr) {
        if (newDocument) m_pOnlyDoc.reset();
        return nullptr;
    }

    // The one document is renewed in place, or takes the file.
    const bool done = path == nullptr ? document->OnNewDocument() : document->OnOpenDocument(path);
    if (!done) {
        if (newFrame) frame->DestroyWindow();
        return nullptr;
    }
    if (path == nullptr) {
        document->ClearPathName();
        document->SetTitle(kUntitled);
    } else {
        document->SetPathName(path);
    }
    const CWinApp* app = AfxGetWinApp();
    frame->InitialUpdateFrame(document, makeVisible, app != nullptr ? app->m_nCmdShow : SW_SHOW);
    return document;
}

}  // namespace kestrel
