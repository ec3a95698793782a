#include "capture/capture.h"

#include "capture/binding_name.h"
#include "platform/text.h"
#include "resources/resource.h"

#include <cstddef>
#include <cstring>

uint8_t g_joystickPresses[kJoystickCount][kPressFlagCount];

namespace {

constexpr BYTE kDownBit = 0x80;
constexpr LONG kAxisFull = 1000; // the axis range diutils sets up: -1000..+1000
// How far from its rest an axis other than X and Y must move before the controller line says it
// cannot be bound: half of one side of the range. A stick wobbling round its centre, or a
// trigger touched lightly, says nothing.
constexpr LONG kOtherAxisMoved = kAxisFull / 2;

// Keys that suspend capture while down. Caps Lock, Num Lock, Kana and Kanji never read as down
// (diutils clears them), but they belong here all the same.
constexpr BYTE kForbiddenKeys[] = {
    DIK_TAB,   DIK_LMENU, DIK_CAPITAL, DIK_F1,   DIK_F2,    DIK_F3,    DIK_F4,
    DIK_F5,    DIK_F6,    DIK_F7,      DIK_F8,   DIK_F9,    DIK_F10,   DIK_NUMLOCK,
    DIK_F11,   DIK_F12,   DIK_F13,     DIK_F14,  DIK_F15,   DIK_KANA,  DIK_KANJI,
    DIK_RMENU, DIK_LWIN,  DIK_RWIN,    DIK_APPS, DIK_POWER, DIK_SLEEP,
};

// One bit a key code: 32 bytes where a table of flags would take 256.
struct KeySet {
    uint8_t bits[256 / 8];
    constexpr bool Has(int code) const { return (bits[code / 8] >> (code % 8)) & 1; }
};
constexpr KeySet MakeForbiddenSet() {
    KeySet set = {};
    for (BYTE code : kForbiddenKeys) {
        set.bits[code / 8] = static_cast<uint8_t>(set.bits[code / 8] | 1 << (code % 8));
    }
    return set;
}
constexpr KeySet kForbidden = MakeForbiddenSet();

// Direction flags in the order a diagonal resolves: down-right is DOWN, up-left is LEFT.
constexpr int kDirectionPriority[] = {kPressDown, kPressRight, kPressLeft, kPressUp};

constexpr int kReadoutSize = 256;

// The single filter, the focused window (refreshed at the start of every tick) and the readout
// field (looked up whenever it is written).
HoldFilter g_holdFilter;
HWND g_focusedWindow;
HWND g_readoutField;

// A menu of the dialog is open, or has just closed: what is down then counts as held.
bool g_menuOpen;
bool g_menuClosed;

// The offer the readout field shows. A new dialog's readout is empty: nothing counts as shown
// until a tick has written it.
bool g_readoutShown;
Binding g_readoutOffer;

// What a read of the joystick moves that no Binding can hold.
enum Unbindable : uint8_t { kNothingUnbindable, kHatMoved, kAxisMoved };

// A centred hat reads 0xFFFF in its low word (DirectInput's documentation: LOWORD(dwPOV) ==
// 0xFFFF); most drivers answer 0xFFFFFFFF.
constexpr DWORD kPovCentred = 0xFFFF;

// The axes besides X and Y, one after the other in DIJOYSTATE: lZ (the triggers of Xbox-style
// pads), lRx, lRy, lRz and the two sliders.
constexpr int kOtherAxisCount = 6;
struct OtherAxes {
    LONG value[kOtherAxisCount];
};
static_assert(offsetof(DIJOYSTATE, rglSlider) + sizeof(LONG) ==
                  offsetof(DIJOYSTATE, lZ) + (kOtherAxisCount - 1) * sizeof(LONG),
              "the other axes lie one after the other");

// How long the controller line says why an input cannot be bound: 50 ticks, about 3 s.
constexpr uint8_t kMessageTicks = 50;

constexpr char kControllerPrefix[] = "コントローラー: ";
constexpr int kLineSize = 128;
static_assert(sizeof kControllerPrefix - 1 + kJoystickNameSize <= kLineSize,
              "the longest name fits the controller line");

// The joystick since its last set-up (JoystickChanges tells of each). Its first good read is its
// rest state: an end of X or Y that it rests at never counts (a pedal let go returns to it), a
// button down then counts once it has read up, and the other axes are measured from there.
unsigned g_joystickChanges;
bool g_restKnown;
uint8_t g_resting[kPressFlagCount]; // press flags given at rest, buttons until they read up
OtherAxes g_restAxes;
Unbindable g_unbindable; // what the last good read seen by capture moved

// Under Wine a controller reads all zero, its hats centred, until it sends its first report,
// which it does only when an input changes: its first good read then tells nothing of where it
// rests. So an end of X or Y also rests, until the axis is read near its centre again, when it
// comes with another input in that first report, or when the axis comes back to it straight from
// its other end with no read near the centre in between (a pedal let go, where the pedal had been
// pressed from a rest never read).
constexpr LONG kNearCentre = kAxisFull / 4;
bool g_nothingReported; // every good read since the set-up read all zero
struct StickAxis {
    int8_t end;     // the end it was last read at: -1, +1, or 0 before any
    int8_t restEnd; // the end it rests at for now, or 0
    bool centred;   // read near its centre since it was last at an end
};
StickAxis g_stick[2]; // X, Y

// The controller line (IDC_CONTROLLER) and what it shows: the joystick's name, or for a while
// the message g_message. A new dialog's line is empty: nothing counts as shown until written.
bool g_lineShown;
Unbindable g_lineShows;
Unbindable g_message;
uint8_t g_messageTicks; // ticks left to show the message

bool IsDown(BYTE state) {
    return (state & kDownBit) != 0;
}

OtherAxes OtherAxesOf(const DIJOYSTATE& joy) {
    OtherAxes axes;
    std::memcpy(&axes, reinterpret_cast<const BYTE*>(&joy) + offsetof(DIJOYSTATE, lZ), sizeof axes);
    return axes;
}

// What a good read moves that no Binding can hold: the hat out of its centre, or another axis
// kOtherAxisMoved or more away from where it rests. The triggers of Xbox-style pads share lZ,
// resting in the middle, and DirectInput never takes a full pull of one to the end of the range:
// it reads +996 or -996 of -1000..+1000, as XInput pads do on Windows.
Unbindable MovedUnbindable(const DIJOYSTATE& joy) {
    if ((joy.rgdwPOV[0] & kPovCentred) != kPovCentred) {
        return kHatMoved;
    }
    const OtherAxes axes = OtherAxesOf(joy);
    for (int i = 0; i < kOtherAxisCount; ++i) {
        const LONG moved = axes.value[i] - g_restAxes.value[i];
        if (moved >= kOtherAxisMoved || moved <= -kOtherAxisMoved) {
            return kAxisMoved;
        }
    }
    return kNothingUnbindable;
}

// Follows where X and Y rest beyond the first good read (see g_stick) and clears from the press
// table an end that rests.
void FollowSticks(const DIJOYSTATE& joy, uint8_t (&flags)[kPressFlagCount]) {
    // Whether anything besides X and Y is given: another axis off 0, a hat out of its centre
    // (0xFFFFFFFF, as Wine reads one before any report), a button down.
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&joy);
    bool restGiven = false;
    for (std::size_t i = offsetof(DIJOYSTATE, lZ); i < sizeof joy; ++i) {
        const bool hat = i >= offsetof(DIJOYSTATE, rgdwPOV) && i < offsetof(DIJOYSTATE, rgbButtons);
        restGiven = restGiven || bytes[i] != (hat ? 0xFF : 0);
    }
    const LONG values[2] = {joy.lX, joy.lY};
    const bool firstReport = g_nothingReported && (restGiven || values[0] != 0 || values[1] != 0);
    g_nothingReported = g_nothingReported && !firstReport;
    constexpr uint8_t kEnds[2][2] = {{kPressLeft, kPressRight}, {kPressUp, kPressDown}};
    for (int a = 0; a < 2; ++a) {
        StickAxis& axis = g_stick[a];
        const LONG v = values[a];
        const int8_t end = v <= -kAxisFull ? -1 : v >= kAxisFull ? 1 : 0;
        if (end == 0 && v > -kNearCentre && v < kNearCentre) {
            axis.centred = true;
            axis.restEnd = 0;
        } else if (end != 0 && end != axis.end) {
            // In the first report, another input is the one that sent it.
            if ((firstReport && (restGiven || values[1 - a] != 0)) ||
                (axis.restEnd == 0 && axis.end == -end && !axis.centred)) {
                axis.restEnd = end;
            }
            axis.end = end;
            axis.centred = false;
        }
        if (end != 0 && end == axis.restEnd) {
            flags[kEnds[a][end > 0]] = 0;
        }
    }
}

// Follows the joystick from tick to tick, after the press table was built: a new joystick, or
// none, calls for a new rest state and line. Clears from the press table what was given at rest.
// Returns whether this tick read the joystick.
bool FollowJoystick(const DIJOYSTATE& joy) {
    if (JoystickChanges() != g_joystickChanges) {
        g_joystickChanges = JoystickChanges();
        g_restKnown = false;
        g_lineShown = false;
        g_messageTicks = 0;
        g_nothingReported = true;
        std::memset(g_stick, 0, sizeof g_stick);
    }
    // A failed read is zeroed (its hat even reads as pushed up): nothing is learnt from it.
    const bool read = LastJoystickPoll() == JOYSTICK_READ;
    uint8_t(&flags)[kPressFlagCount] = g_joystickPresses[0];
    if (read && !g_restKnown) {
        g_restKnown = true;
        std::memcpy(g_resting, flags, sizeof g_resting);
        g_restAxes = OtherAxesOf(joy);
        g_unbindable = MovedUnbindable(joy);
    }
    // A button read up counts from then on; an end of the stick it rests at never does.
    for (int n = 0; read && n < kJoystickButtonCount; ++n) {
        g_resting[n] &= flags[n];
    }
    for (int n = 0; n < kPressFlagCount; ++n) {
        flags[n] &= ~g_resting[n];
    }
    if (read) {
        FollowSticks(joy, flags);
    }
    return read;
}

// Starts the message when a good read moves something that no Binding can hold while a Binding
// field waits and capture is not suspended. Like an input, a move counts once, when it begins:
// one that began while a key suspended capture is never told.
void NoticeUnbindable(const DIJOYSTATE& joy, bool read, bool suspended) {
    if (!read) {
        return;
    }
    const Unbindable moved = MovedUnbindable(joy);
    if (moved != kNothingUnbindable && moved != g_unbindable && !suspended &&
        IsVisibleBindingField(GetWindowLongW(g_focusedWindow, GWL_ID))) {
        g_message = moved;
        g_messageTicks = kMessageTicks;
    }
    g_unbindable = moved;
}

// Writes the controller line when what it shows changes: while a message lasts the message,
// otherwise the joystick's name ("なし" without one). Like the readout, the control is looked up
// and its text set only then.
void ShowControllerLine(HWND dialog) {
    const Unbindable shows = g_messageTicks > 0 ? g_message : kNothingUnbindable;
    if (g_messageTicks > 0) {
        --g_messageTicks;
    }
    if (g_lineShown && shows == g_lineShows) {
        return;
    }
    const char* name = JoystickName();
    const char* first = kControllerPrefix;
    const char* second = name ? name : "なし";
    if (shows != kNothingUnbindable) {
        first = shows == kHatMoved ? "ハット（十字キー）は割り当てできません。"
                                   : "この軸は割り当てできません。";
        // The control is two lines tall; a static control breaks its text at "\n".
        second = "\nスティックかボタンを使ってください";
    }
    char text[kLineSize];
    AppendText(AppendText(text, first), second);
    SetWindowTextUtf8(GetDlgItem(dialog, IDC_CONTROLLER), text);
    g_lineShown = true;
    g_lineShows = shows;
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

// Whether the offered key or joystick button went down since the last tick. If that tick offered
// it too, it was let go and pressed again in between: a new press, not a held one.
bool PressedSinceLastTick(Binding offered, const Input& snapshot) {
    const BYTE* state = offered.device == kKeyboardDevice ? &snapshot.keyboard[offered.code]
                        : offered.code >= kJoyFirstButton
                            ? &snapshot.joystick.rgbButtons[offered.code - kJoyFirstButton]
                            : nullptr; // the stick
    return state && (*state & kPressedSinceLastPoll) != 0;
}

} // namespace

bool IsForbiddenKeyDown(const Input& snapshot) {
    for (int code = 0; code < 256; ++code) {
        if (kForbidden.Has(code) && IsDown(snapshot.keyboard[code])) {
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
    if (!IsVisibleBindingField(id)) {
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

    // What was down at this tick or went down since the last one: a key or button tapped between
    // two ticks (a quick press, or Pause, which keyboards send down and up at once) is never down
    // when a tick reads the state, and would be lost.
    Input out_state;
    PollInput(&out_state);
    UpdateJoystickPresses(out_state);
    const bool joystickRead = FollowJoystick(out_state.joystick);

    // A key that suspends capture stops the rest of the tick, but not the controller line.
    const bool suspended = g_menuOpen || IsForbiddenKeyDown(out_state);
    if (!suspended) {
        Binding tmp = kNoBinding;
        ChooseBinding(tmp, out_state);
        if (PressedSinceLastTick(tmp, out_state)) {
            g_holdFilter.Update(kNoBinding); // it was let go since the last tick
        }
        if (g_menuClosed) {
            g_menuClosed = false;
            g_holdFilter.Update(tmp);
        }
        g_holdFilter.Update(tmp);
        if (!g_holdFilter.IsHeld()) {
            StoreBinding(tmp, g_focusedWindow, dialog);
        }
        ShowReadout(dialog, tmp);
    }
    NoticeUnbindable(out_state.joystick, joystickRead, suspended);
    ShowControllerLine(dialog);
}

bool IsVisibleBindingField(int id) {
    return id >= IDC_BINDING_UP && id <= IDC_BINDING_BOMB;
}

void ResetReadout() {
    g_readoutShown = false;
    g_lineShown = false;
    g_menuOpen = false;
    g_menuClosed = false;
}

void OnMenuLoop(bool open) {
    g_menuOpen = open;
    g_menuClosed = !open;
}
