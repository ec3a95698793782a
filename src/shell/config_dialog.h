// The configuration dialog: its procedure, the timer that drives capture, OK and Cancel.
#pragma once

#include "platform/win.h"

// Procedure of the modeless dialog made from template IDD_CONFIG. TRUE when it handled the
// message; it never calls a default procedure itself.
INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
