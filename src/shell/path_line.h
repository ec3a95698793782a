// The path line: which configuration file the dialog edits, and a warning when it is in the
// Windows folder or a temporary one.
#pragma once

#include "platform/win.h"

// Shows which configuration file is edited (FindEditedFile): the one in the working directory,
// or the file it links to. Its full path can hold any character, so it goes to the window as
// UTF-16 all the way. In the Windows folder or a temporary one it says so in red: every program
// started in the Windows folder shares that file, and the game never looks in a temporary one.
void ShowConfigPath(HWND dialog);

// Whether the path line warns: the dialog then draws it in the warning's colour.
bool PathLineWarns();
