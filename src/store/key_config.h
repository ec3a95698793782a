// The key configuration file "config.ini" in the working directory: eighteen bytes, the header
// 1, 8, then the eight Bindings of the table, device then code. The game reads it.
#pragma once

#include "platform/win.h"
#include "store/config_file.h"

#include <cstddef>

// The file the game reads, in the working directory.
constexpr char kConfigFileName[] = "config.ini";

// Length of the file the game reads.
constexpr std::size_t kConfigFileSize = 18;

// Fills the Binding table from the file and shows every entry in its field; creates the file
// with default Bindings when it does not exist (unless one arrives while the player reads that
// message: that one is loaded instead). A file that exists but cannot be read, or is broken, is
// reported and left alone, and the table keeps its zeros. Starts a new run: nothing is bound yet.
void LoadKeyConfig(HWND dialog);

// Writes the entries bound in this run over the file as it reads now, keeping every other entry
// from it, and replaces it in one step. A missing file, or one without a valid image, gets the
// whole table; one that cannot be read, or is read-only, is not replaced. False when nothing was
// written: then the file is as it was and *why says what stood in the way.
bool SaveKeyConfig(FileStatus* why);

// Which file loads and saves edit, written to out (size bytes): kConfigFileName in the working
// directory, or the file a link of that name leads to (DecideEditedFile). The result says why
// neither can be read or written when the link leads nowhere or round in a loop.
FileStatus FindEditedFile(char* out, std::size_t size);

// Tells the player that the file could not be saved and why (error box, caption "DirectInput").
void ReportSaveFailure(HWND owner, const FileStatus& why);
