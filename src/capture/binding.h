// A Binding ties one game action to one input: two bytes, device then code.
#pragma once

#include <cstdint>

struct Binding {
    uint8_t device; // 0 keyboard, 1.. joystick number
    uint8_t code;   // key code, or joystick direction 0..3 / button 4..35
};

inline bool operator==(Binding a, Binding b) {
    return a.device == b.device && a.code == b.code;
}
inline bool operator!=(Binding a, Binding b) {
    return !(a == b);
}

constexpr uint8_t kKeyboardDevice = 0;
constexpr uint8_t kFirstJoystickDevice = 1;

// Joystick codes: the four full stick deflections, then the buttons.
constexpr uint8_t kJoyUp = 0;
constexpr uint8_t kJoyDown = 1;
constexpr uint8_t kJoyLeft = 2;
constexpr uint8_t kJoyRight = 3;
constexpr uint8_t kJoyFirstButton = 4;

// Nothing offered; capture never stores it.
constexpr Binding kNoBinding = {0, 0};
// What a newly created configuration file holds for every action.
constexpr Binding kDefaultBinding = {99, 255};

// The eight game actions, in the order of their fields and of the configuration file.
constexpr int kBindingCount = 8;

// The process-wide Binding table: entry i belongs to Binding field IDC_BINDING_FIRST + i
// (UP, DOWN, LEFT, RIGHT, shot, bomb, button 3, button 4). It starts all zero.
extern Binding g_bindingTable[kBindingCount];

// Which entries the player bound in this run: bit i for entry i, set whenever capture stores an
// input for it (even one equal to what the entry held) and cleared when the configuration is
// loaded. A save writes these entries over the file as it then is and keeps the others from it.
extern uint8_t g_boundInRun;
