// diutils: a thin layer over DirectInput 8 that owns the DirectInput object and the keyboard,
// mouse and joystick devices, sets them up for one window and reads their state on demand.
// Failures are written to the debugger output as short Japanese messages.
#pragma once

#include "platform/win.h"

// One poll's worth of device state, 352 bytes without gaps. Bit 7 of a key or button byte is set
// when it was down at the poll or went down since the last poll (see PollInput).
struct Input {
    DIJOYSTATE joystick; // axes -1000..+1000, 32 button bytes
    DIMOUSESTATE mouse;  // reserved: never filled, never read
    BYTE keyboard[256];  // indexed by DIK_ key code
};

// Set beside bit 7 in a key or button byte when it went down since the last poll. A key that the
// last poll saw down and that has this bit was let go and pressed again in between.
constexpr BYTE kPressedSinceLastPoll = 0x01;

// Slots of the device table.
enum DeviceSlot {
    DEVICE_KEYBOARD = 0,
    DEVICE_MOUSE = 1,
    DEVICE_JOYSTICK = 2,
};

// Creates the DirectInput object and sets up the joystick, keyboard and mouse for the window.
// TRUE when all of that succeeded (an absent joystick included). A joystick that cannot be set up
// is reported and released alone, as a look releases it, and the keyboard and mouse are still set
// up; any other failure releases everything. FALSE after any failure.
BOOL InitInput(HINSTANCE instance, HWND window);

// Reads the joystick and the keyboard into out_state (each zeroed first; the mouse field is left
// alone) and clears Caps Lock, Num Lock, Kana and Kanji. TRUE only when both reads succeeded.
// Beside each device's state it reads what the device buffered since the last poll, so that a key
// or button that went down and up again between two polls reads as down, once.
BOOL PollInput(Input* out_state);

// Releases every device and then the DirectInput object; safe at any time and more than once.
void ReleaseInput();

// Whether a joystick is open. It is not after start-up when no controller was attached, nor
// once it answered DIERR_UNPLUGGED, until RescanJoystick finds one.
bool HasJoystick();

// What the last PollInput learnt of the joystick.
enum JoystickPoll {
    JOYSTICK_UNREAD,    // none open, or its read failed: the snapshot's joystick is zeroed
    JOYSTICK_READ,      // the snapshot holds the joystick's state
    JOYSTICK_UNPLUGGED, // it answered DIERR_UNPLUGGED and was dropped, having been read at least
                        // once since it was opened (dropped before any read: JOYSTICK_UNREAD)
};
JoystickPoll LastJoystickPoll();

// Counts the changes of the joystick: one more whenever a controller is opened as the joystick
// and whenever the joystick is released (dropped, failed set-up, ReleaseInput).
unsigned JoystickChanges();

// Room for the joystick's product name as UTF-8, terminating NUL included; longer names are cut.
// It is more than the two lines of the dialog that show it.
constexpr int kJoystickNameSize = 96;

// The open joystick's product name as UTF-8 (empty when DirectInput gave none), or null when no
// joystick is open.
const char* JoystickName();

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
