// The key configuration file "config.ini" in the working directory: eighteen bytes, the header
// 1, 8, then the eight Bindings of the table, device then code. The game reads it.
#pragma once

#include "platform/win.h"

// Fills the Binding table from the file and shows every entry in its field; creates the file
// with default Bindings when it does not exist.
void LoadKeyConfig(HWND dialog);

// Writes the Binding table to the file, replacing it in one step; false when it could not.
bool SaveKeyConfig();
