// The Binding fields' behaviour: no edit menu, a click on a label waits for its field's input,
// and the field that waits is drawn highlighted.
#pragma once

#include "platform/win.h"

// Gives every Binding field a window procedure that shows no edit menu.
void TakeFieldMenusAway(HWND dialog);

// A notification from a Binding field or its label (WM_COMMAND's control id and code).
void OnBindingFieldCommand(HWND dialog, int id, int code);
