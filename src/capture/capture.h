// Binding capture: once per timer tick, turns the input being given into at most one new
// Binding for the focused field, shows its name and moves the focus on.
#pragma once

#include "capture/binding.h"
#include "input/diutils.h"
#include "platform/win.h"

// One tick of capture for the dialog. The dialog procedure calls it on every WM_TIMER.
void CaptureStep(HWND dialog);
