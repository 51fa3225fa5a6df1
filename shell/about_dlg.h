#pragma once
// The about box: the program's name and version, a notice and a link to the
// product's web page.
#include "framework/dialog.h"
#include "shell/static_link.h"

namespace kestrel {

// The product's web page behind the about box's link.
inline constexpr char kProductPage[] = "https://www.norvale.example/hazelmere/";

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
    ~CAboutDlg() override;

    CStaticLink m_wndLink;  // control 1035

protected:
    BOOL OnInitDialog() override;
};

// The about command of the application object: the about box, modally.
void RunAboutBox();

}  // namespace kestrel
