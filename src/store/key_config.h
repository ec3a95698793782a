// The key configuration file "config.ini" in the working directory: eighteen bytes, the header
// 1, 8, then the eight Bindings of the table, device then code. The game reads it.
#pragma once

#include "platform/win.h"

#include <cstddef>

// Length of the file the game reads.
constexpr std::size_t kConfigFileSize = 18;

// Fills the Binding table from the file and shows every entry in its field; creates the file
// with default Bindings when it does not exist. A file that exists but cannot be read, or is
// broken, is reported and left alone, and the table keeps its zeros.
void LoadKeyConfig(HWND dialog);

// Writes the Binding table to the file, replacing it in one step; false when it could not, and
// then the file is as it was. When the file could not be read at start-up it is read first: its
// hidden Bindings are kept, and a file that still cannot be read is not replaced.
bool SaveKeyConfig();

// Tells the player that the file could not be saved (error box, caption "DirectInput").
void ReportSaveFailure(HWND owner);
