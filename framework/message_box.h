#pragma once
// Message boxes of the application as a whole.
#include <string>

#include "framework/wnd.h"

namespace kestrel {

// The application's title: string 57344 of the executable when it has one,
// else the executable's file name without its extension.
std::string AfxGetAppName();

// A message box with the application's title as caption, owned by the main
// frame (or by the active window when the frame is on another thread). With
// no icon in type, OK boxes get the exclamation mark and questions the
// question mark.
int AfxMessageBox(const char* text, UINT type = MB_OK);

}  // namespace kestrel
