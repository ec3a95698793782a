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

// A centred hat reads 0xFFFF in its low word (DirectInput's documentation: LOWORD(dwPOV) ==
// 0xFFFF); most drivers answer 0xFFFFFFFF.
constexpr DWORD kPovCentred = 0xFFFF;

// The joystick's axes, one after the other at the start of DIJOYSTATE: lX, lY (the stick), then
// lZ (the triggers of Xbox-style pads), lRx, lRy, lRz and the two sliders.
constexpr int kAxisCount = 8;
constexpr int kStickAxisCount = 2;
struct Axes {
    LONG value[kAxisCount];
};
static_assert(offsetof(DIJOYSTATE, rglSlider) + sizeof(LONG) == (kAxisCount - 1) * sizeof(LONG),
              "the axes lie one after the other");

// How long the controller line says why an input cannot be bound: 50 ticks, about 3 s.
constexpr uint8_t kMessageTicks = 50;

constexpr char kControllerPrefix[] = "コントローラー: ";
constexpr int kLineSize = 128;
static_assert(sizeof kControllerPrefix - 1 + kJoystickNameSize <= kLineSize,
              "the longest name fits the controller line");

// Where the joystick's inputs rest, learnt from its good reads since its last set-up
// (JoystickChanges tells of each); LearnRests holds the whole rule.
unsigned g_joystickChanges;
bool g_sawNothing; // a good read of nothing came since the set-up: Wine's reads before a report
bool g_reported;   // a good read of something came since the set-up
struct AxisRest {
    LONG rest;      // where the axis rests
    LONG stay;      // where it has stayed lately...
    uint8_t stayed; // ...for this many reads in a row, each within kJitter of it
    bool doubted;   // X or Y first read halfway: its rest is not known yet
    int8_t end;     // X or Y: the end it was last at (-1, +1), 0 once let go since
};
AxisRest g_axes[kAxisCount];
uint8_t g_restingButtons[kJoystickButtonCount]; // down at the set-up, and not read up since

// How far from its rest a stick may wander at rest: a real stick reads about ±40 of its centre.
constexpr LONG kJitter = kAxisFull / 10;
// Within a quarter of the range of its centre, X or Y is let go; past that, it is pushed. Within
// kJitter of an end, a pedal is touched or a stick held over.
constexpr LONG kNearCentre = kAxisFull / 4;
constexpr LONG kNearEnd = kAxisFull - kJitter;
// Reads an axis stays put before it rests there: a stick let go, about a quarter of a second; any
// other axis (a throttle, a pedal), as long as a message lasts.
constexpr uint8_t kStickSettleReads = 4;
constexpr uint8_t kOtherSettleReads = 50;

// What a good read moves that no Binding can hold, one bit each.
enum Unbindable : uint8_t { kNothingUnbindable = 0, kHatMoved = 1, kAxisMoved = 2 };
uint8_t g_unbindable; // what the last good read moved

// The controller line (IDC_CONTROLLER) and what it shows: the joystick's name, or for a while
// the message g_message. A new dialog's line is empty: nothing counts as shown until written.
bool g_lineShown;
Unbindable g_lineShows;
Unbindable g_message;
uint8_t g_messageTicks; // ticks left to show the message

bool IsDown(BYTE state) {
    return (state & kDownBit) != 0;
}

Axes AxesOf(const DIJOYSTATE& joy) {
    Axes axes;
    std::memcpy(&axes, &joy, sizeof axes);
    return axes;
}

bool IsNearCentre(LONG value) {
    return value > -kNearCentre && value < kNearCentre;
}

bool IsHatCentred(DWORD pov) {
    return (pov & kPovCentred) == kPovCentred;
}

// Whether a good read gives anything besides the axis `except`: a button down, a hat pushed, or
// another axis a quarter of the range or more from its centre.
bool GivesBesides(const DIJOYSTATE& joy, int except) {
    const Axes axes = AxesOf(joy);
    for (int i = 0; i < kAxisCount; ++i) {
        if (i != except && !IsNearCentre(axes.value[i])) {
            return true;
        }
    }
    for (DWORD pov : joy.rgdwPOV) {
        if (!IsHatCentred(pov)) {
            return true;
        }
    }
    for (BYTE button : joy.rgbButtons) {
        if (IsDown(button)) {
            return true;
        }
    }
    return false;
}

// Whether a good read gives nothing at all: every axis at 0, every hat centred, every button up.
// So a controller reads under Wine until it sends its first report.
bool ReadsNothing(const DIJOYSTATE& joy) {
    const Axes axes = AxesOf(joy);
    for (LONG value : axes.value) {
        if (value != 0) {
            return false;
        }
    }
    return !GivesBesides(joy, 0);
}

// The end of X or Y that the axis rests at (-1, +1), or 0 when it rests between them.
int RestEnd(int axis) {
    const LONG rest = g_axes[axis].rest;
    return IsNearCentre(rest) || g_axes[axis].doubted ? 0 : rest < 0 ? -1 : 1;
}

// What a good read moves that no Binding can hold: the hat out of its centre, or another axis
// kOtherAxisMoved or more away from where it rests. The triggers of Xbox-style pads share lZ,
// resting in the middle, and DirectInput never takes a full pull of one to the end of the range:
// it reads +996 or -996 of -1000..+1000, as XInput pads do on Windows.
uint8_t MovedUnbindable(const DIJOYSTATE& joy) {
    uint8_t moved = IsHatCentred(joy.rgdwPOV[0]) ? kNothingUnbindable : kHatMoved;
    const Axes axes = AxesOf(joy);
    for (int i = kStickAxisCount; i < kAxisCount; ++i) {
        const LONG away = axes.value[i] - g_axes[i].rest;
        if (away >= kOtherAxisMoved || away <= -kOtherAxisMoved) {
            moved |= kAxisMoved;
        }
    }
    return moved;
}

// Where each input of the joystick rests: what it gives there is never offered, so it never
// masks keys or buttons, and the other axes are measured from there.
//
// An input's rest is where the controller's first report finds it. Under Wine a controller reads
// all zero, hats centred, until an input first changes: those reads teach nothing, and what the
// report that follows them gives alone is the input that sent it, a press, not a rest: a button
// down, X or Y at an end, another axis a quarter of the range from its centre (a trigger on its
// way).
// Otherwise, as on Windows, where the first read is the device as it is, a button down rests
// until it reads up (held as the controller came), and an axis rests where it reads: X and Y near
// their centre, or at an end when near it (a pedal touched, a stick held over). X or Y read
// halfway is doubted, a pedal or a stick caught in its travel: until it settles, an end it reaches
// is offered, unless it comes back to it straight from the other end (a pedal let go).
//
// After that an axis comes to rest where it stays, each read within kJitter of the first: X and Y
// only near their centre, after kStickSettleReads (a stick let go), for a stick or a pedal held at
// an end is pressed, not resting, and passes the centre on its way without stopping; the other
// axes anywhere, after kOtherSettleReads (a throttle set and left, a trigger seen pulled first).
void LearnRests(const DIJOYSTATE& joy) {
    if (!g_reported && ReadsNothing(joy)) {
        g_sawNothing = true;
        return;
    }
    const Axes axes = AxesOf(joy);
    if (!g_reported) {
        g_reported = true;
        for (int i = 0; i < kAxisCount; ++i) {
            const LONG v = axes.value[i];
            const bool pressed =
                i < kStickAxisCount ? v == kAxisFull || v == -kAxisFull : !IsNearCentre(v);
            const bool pushed = g_sawNothing && pressed && !GivesBesides(joy, i);
            const bool halfway = !IsNearCentre(v) && v > -kNearEnd && v < kNearEnd;
            g_axes[i] = {pushed ? 0 : v, v, 1, i < kStickAxisCount && halfway, 0};
        }
        for (int n = 0; n < kJoystickButtonCount; ++n) {
            g_restingButtons[n] = !g_sawNothing && IsDown(joy.rgbButtons[n]);
        }
        g_unbindable = g_sawNothing ? 0 : MovedUnbindable(joy);
        return;
    }
    for (int i = 0; i < kAxisCount; ++i) {
        AxisRest& axis = g_axes[i];
        const LONG v = axes.value[i];
        if (v - axis.stay <= kJitter && axis.stay - v <= kJitter) {
            axis.stayed = static_cast<uint8_t>(axis.stayed + (axis.stayed < 255));
        } else {
            axis.stay = v;
            axis.stayed = 1;
        }
        const bool settled = i < kStickAxisCount
                                 ? axis.stayed >= kStickSettleReads && IsNearCentre(axis.stay)
                                 : axis.stayed >= kOtherSettleReads;
        const int8_t end = v == kAxisFull ? 1 : v == -kAxisFull ? -1 : 0;
        if (axis.doubted && end != 0 && end == -axis.end) {
            axis.rest = v;
            axis.doubted = false;
        }
        if (settled) {
            axis.rest = axis.stay;
            axis.doubted = false;
        }
        axis.end = settled ? 0 : end != 0 ? end : axis.end;
    }
    for (int n = 0; n < kJoystickButtonCount; ++n) {
        g_restingButtons[n] &= IsDown(joy.rgbButtons[n]);
    }
}

// Follows the joystick from tick to tick, after the press table was built: a new joystick, or
// none, calls for new rests and a new line. Clears from the press table what is given at rest.
// Returns whether this tick read the joystick.
bool FollowJoystick(const DIJOYSTATE& joy) {
    if (JoystickChanges() != g_joystickChanges) {
        g_joystickChanges = JoystickChanges();
        g_sawNothing = false;
        g_reported = false;
        g_lineShown = false;
        g_messageTicks = 0;
    }
    // A failed read is zeroed (its hat even reads as pushed up): nothing is learnt from it.
    const bool read = LastJoystickPoll() == JOYSTICK_READ;
    if (read) {
        LearnRests(joy);
    }
    if (!read || !g_reported) {
        return read;
    }
    uint8_t(&flags)[kPressFlagCount] = g_joystickPresses[0];
    for (int n = 0; n < kJoystickButtonCount; ++n) {
        flags[n] &= ~g_restingButtons[n];
    }
    constexpr int kEnds[kStickAxisCount][2] = {{kPressLeft, kPressRight}, {kPressUp, kPressDown}};
    for (int a = 0; a < kStickAxisCount; ++a) {
        const int end = RestEnd(a);
        if (end != 0) {
            flags[kEnds[a][end > 0]] = 0;
        }
    }
    return read;
}

// Starts the message when a good read moves something that no Binding can hold while a Binding
// field waits and capture is not suspended. Like an input, a move counts once, when it begins:
// one that began while a key suspended capture is never told, nor one that came with a press
// that was bound (a D-pad that also reports its directions as buttons), nor before the first
// report, when nothing is known of where the axes rest.
void NoticeUnbindable(const DIJOYSTATE& joy, bool read, bool suspended, bool bound) {
    if (!read || !g_reported) {
        return;
    }
    const uint8_t moved = MovedUnbindable(joy);
    const uint8_t began = moved & ~g_unbindable;
    if (began != kNothingUnbindable && !suspended && !bound &&
        IsVisibleBindingField(GetWindowLongW(g_focusedWindow, GWL_ID))) {
        g_message = began & kHatMoved ? kHatMoved : kAxisMoved;
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
    bool bound = false;
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
            bound = StoreBinding(tmp, g_focusedWindow, dialog);
        }
        ShowReadout(dialog, tmp);
    }
    NoticeUnbindable(out_state.joystick, joystickRead, suspended, bound);
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
