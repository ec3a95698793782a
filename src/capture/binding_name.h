// Display names of Bindings: "KEY_A", "KEY_↑", "JOY1_UP", "JOY1_B1", ...
#pragma once

#include "capture/binding.h"
#include "platform/win.h"

#include <cstddef>

// Size of a name's buffer, terminating NUL included. The longest name, "KEY_DIK_NUMPADEQUALS",
// takes 21 bytes; a joystick name at most "JOY255_B252" and 12 bytes.
constexpr std::size_t kBindingNameSize = 100;

struct BindingName {
    char text[kBindingNameSize]; // UTF-8, NUL-terminated
};

// The display text of a Binding. Every device and code has one.
BindingName FormatBindingName(Binding binding);

// Shows a Binding's name as the text of a Binding field; returns SetWindowText's result.
BOOL ShowBindingName(Binding binding, HWND field);

// The key-name table's entry for a key code, or null when the code has none.
const char* KeyNameTableEntry(int code);

// Texts are put together from parts by these two rather than by the printf family, whose
// MinGW-w64 implementation alone would double the size of the Windows program. Each writes its
// part at out, terminating NUL included, and returns the end of the text (where the NUL is),
// where the next part goes. The caller's buffer must have room.
char* AppendText(char* out, const char* text);
char* AppendDecimal(char* out, unsigned value); // "%u"
