// kestrel.exe: the one application object and its start.
#include <windows.h>

#include "shell/kestrel_app.h"

namespace {

kestrel::CKestrelApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) { return kestrel::AfxWinMain(showCommand); }
