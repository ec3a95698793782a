// The configuration dialog's font, written into its template before the dialog is created.
#pragma once

#include "platform/win.h"

// Creates the modeless configuration dialog, without an owner, from template IDD_CONFIG with
// procedure; when the template's font cannot draw the dialog's Japanese texts in proportion,
// from a copy of the template that names a Japanese face instead. The dialog manager then lays
// the dialog out in that face, and lays it out again in it when the DPI changes. Null when the
// dialog cannot be created.
HWND CreateConfigDialog(HINSTANCE instance, DLGPROC procedure);
