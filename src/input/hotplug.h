// Controllers plugged in while the dialog is open, or plugged in again after they were pulled:
// device-change hints schedule a look for a joystick on timers of the dialog's own, never in the
// hint's handler and never periodically (enumerating can take long and disturb other devices).
#pragma once

#include "platform/win.h"

// The window timers of the look: one soon after a burst of hints, one later, because a
// controller can be announced before DirectInput lists it.
constexpr UINT_PTR kRescanSoonTimerId = 32766;
constexpr UINT_PTR kRescanLateTimerId = 32765;

// A hint that devices came or went (WM_DEVICECHANGE). While no joystick is open, (re)starts both
// timers; a burst of hints so merges into one look. While one is open, does nothing.
void OnDeviceChangeHint(HWND window);

// Called after each tick's PollInput. A joystick that had been read and was just dropped for
// DIERR_UNPLUGGED is a hint of its own: the device-change hints that came while it was still open
// (the dialog behind another window, where DirectInput does not tell an unplug) were let go.
void OnJoystickPolled(HWND window);

// Handles the window timer id when it is one of the look's: looks for a joystick unless one is
// open by now, at most once a second. Returns whether the timer was the look's.
bool OnRescanTimer(HWND window, UINT_PTR id);
