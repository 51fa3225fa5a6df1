#pragma once
// The document: the object the frame's views show. It knows its views, its
// title and the file it is, and takes the file commands.
#include <string>
#include <vector>

#include "framework/wnd.h"

namespace kestrel {

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

}  // namespace kestrel
