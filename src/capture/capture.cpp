#include "capture/capture.h"

#include "capture/binding_name.h"
#include "platform/text.h"
#include "resources/resource.h"

#include <array>

uint8_t g_joystickPresses[kJoystickCount][kPressFlagCount];

namespace {

constexpr BYTE kDownBit = 0x80;
constexpr LONG kAxisFull = 1000; // the axis range diutils sets up: -1000..+1000

// Keys that suspend capture while down. Caps Lock, Num Lock, Kana and Kanji never read as down
// (diutils clears them), but they belong here all the same.
constexpr BYTE kForbiddenKeys[] = {
    DIK_TAB,   DIK_LMENU, DIK_CAPITAL, DIK_F1,   DIK_F2,    DIK_F3,    DIK_F4,
    DIK_F5,    DIK_F6,    DIK_F7,      DIK_F8,   DIK_F9,    DIK_F10,   DIK_NUMLOCK,
    DIK_F11,   DIK_F12,   DIK_F13,     DIK_F14,  DIK_F15,   DIK_KANA,  DIK_KANJI,
    DIK_RMENU, DIK_LWIN,  DIK_RWIN,    DIK_APPS, DIK_POWER, DIK_SLEEP,
};

constexpr std::array<bool, 256> MakeForbiddenSet() {
    std::array<bool, 256> set = {};
    for (BYTE code : kForbiddenKeys) {
        set[code] = true;
    }
    return set;
}
constexpr std::array<bool, 256> kForbidden = MakeForbiddenSet();

// Direction flags in the order a diagonal resolves: down-right is DOWN, up-left is LEFT.
constexpr int kDirectionPriority[] = {kPressDown, kPressRight, kPressLeft, kPressUp};

constexpr int kReadoutSize = 256;

// The single filter, the focused window (refreshed at the start of every tick) and the readout
// field (looked up whenever it is written).
HoldFilter g_holdFilter;
HWND g_focusedWindow;
HWND g_readoutField;

// The offer the readout field shows. A new dialog's readout is empty: nothing counts as shown
// until a tick has written it.
bool g_readoutShown;
Binding g_readoutOffer;

bool IsDown(BYTE state) {
    return (state & kDownBit) != 0;
}

// Writes the offered Binding into the readout field as two numbers, unless the field already
// shows them: setting a window's text costs a round of window messages (WM_SETTEXT and the edit
// control's change notifications) even when the text stays the same, and most ticks offer what
// the tick before offered. Under Wine even finding the field costs a request to its server
// (GetDlgItem lists the dialog's children there), so that too waits for a change.
void ShowReadout(HWND dialog, Binding offered) {
    if (g_readoutShown && offered == g_readoutOffer) {
        return;
    }
    g_readoutField = GetDlgItem(dialog, IDC_READOUT);
    char temp[kReadoutSize];
    char* end = AppendDecimal(temp, offered.device);
    end = AppendText(end, " _ ");
    AppendDecimal(end, offered.code);
    SetWindowTextUtf8(g_readoutField, temp);
    g_readoutShown = true;
    g_readoutOffer = offered;
}

} // namespace

bool IsForbiddenKeyDown(const Input& snapshot) {
    for (int code = 0; code < 256; ++code) {
        if (kForbidden[code] && IsDown(snapshot.keyboard[code])) {
            return true;
        }
    }
    return false;
}

void UpdateJoystickPresses(const Input& snapshot) {
    uint8_t(&flags)[kPressFlagCount] = g_joystickPresses[0];
    for (uint8_t& flag : flags) {
        flag = 0;
    }
    const DIJOYSTATE& joy = snapshot.joystick;
    // Only a full deflection counts: the tests are exact equalities.
    flags[kPressLeft] = joy.lX == -kAxisFull;
    flags[kPressRight] = joy.lX == kAxisFull;
    flags[kPressUp] = joy.lY == -kAxisFull;
    flags[kPressDown] = joy.lY == kAxisFull;
    for (int n = 0; n < kJoystickButtonCount; ++n) {
        flags[n] = IsDown(joy.rgbButtons[n]);
    }
}

bool ChooseBinding(Binding& out, const Input& snapshot) {
    for (int joystick = 0; joystick < kJoystickCount; ++joystick) {
        const uint8_t(&flags)[kPressFlagCount] = g_joystickPresses[joystick];
        const uint8_t device = static_cast<uint8_t>(kFirstJoystickDevice + joystick);
        for (int n = 0; n < kJoystickButtonCount; ++n) {
            if (flags[n]) {
                out = {device, static_cast<uint8_t>(kJoyFirstButton + n)};
                return true;
            }
        }
        for (int flag : kDirectionPriority) {
            if (flags[flag]) {
                out = {device, static_cast<uint8_t>(flag - kJoystickButtonCount)};
                return true;
            }
        }
    }
    for (int code = 0; code < 256; ++code) {
        if (IsDown(snapshot.keyboard[code])) {
            out = {kKeyboardDevice, static_cast<uint8_t>(code)};
            return true;
        }
    }
    return false;
}

bool StoreBinding(Binding b, HWND focused, HWND dialog) {
    const LONG id = GetWindowLongW(focused, GWL_ID);
    if (id < IDC_BINDING_UP || id > IDC_BINDING_BOMB) {
        return false;
    }
    if (b == kNoBinding) {
        return false;
    }
    const int index = id - IDC_BINDING_UP;
    g_boundInRun |= static_cast<uint8_t>(1u << index);
    Binding& entry = g_bindingTable[index];
    if (entry != b) {
        entry = b;
        ShowBindingName(b, focused);
    }
    const int next = id == IDC_BINDING_BOMB ? IDC_BINDING_UP : id + 1;
    SetFocus(GetDlgItem(dialog, next));
    return true;
}

void CaptureStep(HWND dialog) {
    g_focusedWindow = GetFocus();

    Input out_state;
    PollInput(&out_state);
    if (IsForbiddenKeyDown(out_state)) {
        return;
    }
    UpdateJoystickPresses(out_state);

    Binding tmp = kNoBinding;
    ChooseBinding(tmp, out_state);
    g_holdFilter.Update(tmp);
    if (!g_holdFilter.IsHeld()) {
        StoreBinding(tmp, g_focusedWindow, dialog);
    }
    ShowReadout(dialog, tmp);
}

void ResetReadout() {
    g_readoutShown = false;
}
