// The text boundary. keyconfig holds every text as UTF-8; these calls hand texts to Windows
// in the form each place needs: UTF-16 for windows and message boxes, code page 932 bytes for
// the debugger output, which the game's tools read as Shift-JIS.
#pragma once

#include "platform/win.h"

// Longest text, in UTF-16 units with its terminating NUL, that the boundary converts; longer
// texts are cut. Every text of the program fits with room to spare.
constexpr int kMaxBoundaryText = 256;

// Sets a window's text; returns the result of SetWindowTextW.
BOOL SetWindowTextUtf8(HWND window, const char* text);

// Shows a message box and waits for it; returns the button pressed.
int MessageBoxUtf8(HWND owner, const char* text, const char* caption, UINT type);

// Writes a message to the debugger output as code page 932 bytes through OutputDebugStringA.
void OutputDebugStringCp932(const char* text);

// Converts a text in the ANSI code page, the one the A functions of Windows and DirectInput
// answer in (at most MAX_PATH bytes with its NUL, as their names are), to UTF-8 in out, size
// bytes with the terminating NUL; a text that does not fit is cut after its last whole character.
void AnsiToUtf8(const char* text, char* out, int size);
