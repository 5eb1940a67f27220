// Flat buttons: owner-drawn "button" controls painted as dark squares with a
// white caption, a framed hover look and a lighter pressed look. A left
// release over an armed button is sent to the main window as WM_COMMAND.
#pragma once

#include <windows.h>

// The standard "button" procedure, kept when the Install button is
// subclassed; it serves all five buttons.
extern WNDPROC ButtonPrevProc;

LRESULT CALLBACK FlatButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
