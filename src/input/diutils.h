// diutils: a thin layer over DirectInput 8 that owns the DirectInput object and the keyboard,
// mouse and joystick devices, sets them up for one window and reads their state on demand.
// Failures are written to the debugger output as short Japanese messages.
#pragma once

#include "platform/win.h"

// One poll's worth of device state, 352 bytes without gaps.
struct Input {
    DIJOYSTATE joystick;  // axes -1000..+1000, button bytes with bit 7 set while down
    DIMOUSESTATE mouse;   // reserved: never filled, never read
    BYTE keyboard[256];   // indexed by DIK_ key code, bit 7 set while down
};

// Slots of the device table.
enum DeviceSlot {
    DEVICE_KEYBOARD = 0,
    DEVICE_MOUSE = 1,
    DEVICE_JOYSTICK = 2,
};

// Creates the DirectInput object and sets up the joystick, keyboard and mouse for the window.
// TRUE when all of that succeeded (an absent joystick included); any failure releases everything.
BOOL InitInput(HINSTANCE instance, HWND window);

// Reads the joystick and the keyboard into out_state (each zeroed first; the mouse field is left
// alone) and clears Caps Lock, Num Lock, Kana and Kanji. TRUE only when both reads succeeded.
BOOL PollInput(Input* out_state);

// Releases every device and then the DirectInput object; safe at any time and more than once.
void ReleaseInput();

// Whether a joystick is open. It is not after start-up when no controller was attached, nor
// once it answered DIERR_UNPLUGGED, until RescanJoystick finds one.
bool HasJoystick();

// Looks for a joystick as start-up does (the first attached game controller that can be
// created, set up the same way) and opens it for the window. A controller that cannot be set up
// is released; the keyboard and mouse are never touched.
void RescanJoystick(HWND window);

// Not used by the rest of the program.
BOOL PollMouse(DIMOUSESTATE* out_state);
void AcquireDevice(int slot);
void UnacquireDevice(int slot);
void AcquireAllDevices();
void UnacquireAllDevices();
