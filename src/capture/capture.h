// Binding capture: once per timer tick, turns the input being given into at most one new
// Binding for the focused field, shows its name and moves the focus on. The controller line
// below the buttons names the joystick, or for a while says why what was moved cannot be bound.
#pragma once

#include "capture/binding.h"
#include "input/diutils.h"
#include "platform/win.h"

#include <cstdint>

// One tick of capture for the dialog. The dialog procedure calls it on every WM_TIMER.
void CaptureStep(HWND dialog);

// A new dialog's readout field and controller line are empty (the next tick writes them), and
// no menu of it is open.
void ResetReadout();

// Whether a menu of the dialog (its system menu) is open. While one is, its keys work the menu
// and nothing is captured, as while a key suspends capture; what is still down when it closes
// (the Escape or Enter that closed it) counts as held: only once let go and pressed again.
void OnMenuLoop(bool open);

// True when a key that suspends capture is down (Tab, the Alt keys, F1..F15, the Windows keys,
// Applications, Power, Sleep, and the lock keys should they ever read as down).
bool IsForbiddenKeyDown(const Input& snapshot);

// The joystick press table: per joystick, one flag per button, then UP, DOWN, LEFT, RIGHT for
// the four full deflections of the stick.
constexpr int kJoystickCount = 1;
constexpr int kJoystickButtonCount = 32;
constexpr int kPressFlagCount = kJoystickButtonCount + 4;
constexpr int kPressUp = kJoystickButtonCount + kJoyUp;
constexpr int kPressDown = kJoystickButtonCount + kJoyDown;
constexpr int kPressLeft = kJoystickButtonCount + kJoyLeft;
constexpr int kPressRight = kJoystickButtonCount + kJoyRight;
extern uint8_t g_joystickPresses[kJoystickCount][kPressFlagCount];

// Rebuilds the joystick press table from the snapshot's joystick state.
void UpdateJoystickPresses(const Input& snapshot);

// Writes the one input being given to out and returns true: joystick buttons first (lowest
// number wins), then the stick (DOWN, RIGHT, LEFT, UP), then keys (lowest code wins). Returns
// false and leaves out alone when nothing is down.
bool ChooseBinding(Binding& out, const Input& snapshot);

// Makes capture edge-triggered: an offer counts once, not again while it stays the same.
class HoldFilter {
  public:
    void Update(Binding offered) {
        if (offered != last_) {
            last_ = offered;
            held_ = 0;
        } else {
            held_ = 1;
        }
    }
    bool IsHeld() const { return held_ != 0; }

  private:
    uint8_t held_ = 0;
    Binding last_ = kNoBinding;
};

// Whether the control is one of the six visible Binding fields, the ones that take an input.
bool IsVisibleBindingField(int id);

// Stores b for the focused Binding field when it is one of the six visible ones, shows the new
// name when the entry changed, and moves the focus to the next field (bomb wraps to UP).
// Returns false and does nothing for any other focus or for (0, 0).
bool StoreBinding(Binding b, HWND focused, HWND dialog);
