#include "input/diutils.h"

#include "input/data_formats.h"
#include "platform/text.h"

#include <cassert>
#include <cstddef>
#include <cstring>

// The capture rules read the snapshot by these offsets.
static_assert(sizeof(DIJOYSTATE) == 80, "DIJOYSTATE is 80 bytes");
static_assert(sizeof(DIMOUSESTATE) == 16, "DIMOUSESTATE is 16 bytes");
static_assert(offsetof(Input, joystick) == 0, "joystick starts the snapshot");
static_assert(offsetof(Input, mouse) == 80, "mouse follows the joystick without a gap");
static_assert(offsetof(Input, keyboard) == 96, "keyboard follows the mouse without a gap");
static_assert(sizeof(Input) == 352, "the snapshot is 352 bytes");

namespace {

constexpr int kDeviceCount = 3;

// Keyboard and mouse are shared with other programs; the joystick is ours alone while the dialog
// is in front.
constexpr DWORD kSharedCooperativeLevel = DISCL_NONEXCLUSIVE | DISCL_FOREGROUND;
constexpr DWORD kJoystickCooperativeLevel = DISCL_EXCLUSIVE | DISCL_FOREGROUND;

// Every joystick axis reports this range, so that a full deflection reads exactly the bound.
constexpr LONG kAxisMin = -1000;
constexpr LONG kAxisMax = 1000;

// A joystick whose input was lost normally takes Acquire again at once. A device that answers
// DIERR_INPUTLOST for ever must not hold the dialog's timer tick, so the tries are bounded.
constexpr int kMaxAcquireTries = 5;

constexpr BYTE kKeyDown = 0x80;

// What the keyboard and the joystick record between two polls (DIPROP_BUFFERSIZE): far more than
// a player's hands give in one tick. A joystick records every move of its axes too, so a stick
// moved fast may fill it; that tick then reads the state alone.
constexpr DWORD kBufferedEvents = 256;

// dinput.h spells this one as an unsigned number, unlike the other results the layer tells apart.
constexpr HRESULT kUnplugged = static_cast<HRESULT>(DIERR_UNPLUGGED);

// Lock and input-mode keys: Japanese keyboards can report their latched state instead of the
// key itself, so they would seem held on every tick. They always read as up.
constexpr BYTE kToggleKeys[] = {DIK_CAPITAL, DIK_NUMLOCK, DIK_KANA, DIK_KANJI};

LPDIRECTINPUT8A g_directInput = nullptr;
LPDIRECTINPUTDEVICE8A g_devices[kDeviceCount] = {};

// The joystick as capture and the looks see it: what the last poll learnt, how often it changed,
// whether it was read since it was opened, and its product name.
JoystickPoll g_joystickPoll = JOYSTICK_UNREAD;
unsigned g_joystickChanges = 0;
bool g_joystickReadSinceOpened = false;
char g_joystickName[kJoystickNameSize];

// One device's buffered data as a poll reads it; no allocation and no 6 KB on the tick's stack.
DIDEVICEOBJECTDATA g_deviceData[kBufferedEvents];

// Whether the last poll read each device. After a poll that did not, the buffer holds what came
// before the device was lost (the window went behind; DirectInput keeps that data through a new
// Acquire), not what came since the last tick the player saw.
bool g_readLastPoll[kDeviceCount];

void ReleaseDevice(int slot) {
    if (g_devices[slot]) {
        g_devices[slot]->Unacquire();
        g_devices[slot]->Release();
        g_devices[slot] = nullptr;
        if (slot == DEVICE_JOYSTICK) {
            ++g_joystickChanges;
            g_joystickReadSinceOpened = false;
        }
    }
}

// Called by EnumDevices once per attached game controller: the first one that can be created
// becomes the joystick.
BOOL CALLBACK OnJoystickFound(LPCDIDEVICEINSTANCEA instance, LPVOID /*context*/) {
    if (FAILED(g_directInput->CreateDevice(instance->guidInstance, &g_devices[DEVICE_JOYSTICK],
                                           nullptr))) {
        return DIENUM_CONTINUE;
    }
    return DIENUM_STOP;
}

// Called by EnumObjects once per object of the joystick (context): gives every axis the range
// kAxisMin..kAxisMax.
BOOL CALLBACK OnJoystickObject(LPCDIDEVICEOBJECTINSTANCEA object, LPVOID context) {
    if ((object->dwType & DIDFT_AXIS) == 0) {
        return DIENUM_CONTINUE;
    }
    DIPROPRANGE diprg;
    diprg.diph.dwSize = sizeof(DIPROPRANGE);
    diprg.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    diprg.diph.dwObj = object->dwType;
    diprg.diph.dwHow = DIPH_BYID;
    diprg.lMin = kAxisMin;
    diprg.lMax = kAxisMax;
    LPDIRECTINPUTDEVICE8A joystick = static_cast<LPDIRECTINPUTDEVICE8A>(context);
    if (FAILED(joystick->SetProperty(DIPROP_RANGE, &diprg.diph))) {
        return DIENUM_STOP;
    }
    return DIENUM_CONTINUE;
}

// Gives the device its buffer, which DirectInput takes only before Acquire. A device left without
// one (this failed) answers every buffered read with an error and is read by its state alone.
void SetBufferSize(LPDIRECTINPUTDEVICE8A device) {
    static const DIPROPDWORD dipdw = {{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE},
                                      kBufferedEvents};
    device->SetProperty(DIPROP_BUFFERSIZE, &dipdw.diph);
}

// Adds to a device's state, read just before, every key or button (the objects at byte offsets
// first to end - 1 of the state) that went down since the last poll, as the device's buffered
// data tells: a press that began and ended between two polls, which the state never shows, then
// counts as down at this one. What goes down after this read is in the next poll's data and state,
// so no press is seen by two polls. When the buffer overflowed (DI_BUFFEROVERFLOW: presses were
// lost) or cannot be read, or when the last poll did not read the device, the data is dropped and
// the state stands alone.
void AddPressesSinceLastPoll(int slot, BYTE* state, DWORD first, DWORD end) {
    DWORD count = kBufferedEvents;
    const HRESULT read =
        g_devices[slot]->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), g_deviceData, &count, 0);
    if (read != DI_OK || !g_readLastPoll[slot]) {
        return;
    }
    for (DWORD i = 0; i < count; ++i) {
        const DIDEVICEOBJECTDATA& data = g_deviceData[i];
        if (data.dwOfs >= first && data.dwOfs < end && (data.dwData & kKeyDown) != 0) {
            state[data.dwOfs] |= kKeyDown | kPressedSinceLastPoll;
        }
    }
}

// Finds and configures the joystick; TRUE also when no game controller is attached. The joystick
// is acquired by its first poll.
BOOL SetupJoystick(HWND window) {
    if (!g_directInput) {
        OutputDebugStringCp932("\nDirectInput未初期化\n\n");
        assert(0);
        return FALSE;
    }
    ReleaseDevice(DEVICE_JOYSTICK);
    if (FAILED(g_directInput->EnumDevices(DI8DEVCLASS_GAMECTRL, OnJoystickFound, nullptr,
                                          DIEDFL_ATTACHEDONLY))) {
        return FALSE;
    }
    LPDIRECTINPUTDEVICE8A joystick = g_devices[DEVICE_JOYSTICK];
    if (!joystick) {
        return TRUE;
    }
    if (FAILED(joystick->SetDataFormat(DataFormat(FORMAT_JOYSTICK)))) {
        return FALSE;
    }
    if (FAILED(joystick->SetCooperativeLevel(window, kJoystickCooperativeLevel))) {
        return FALSE;
    }
    if (FAILED(joystick->EnumObjects(OnJoystickObject, joystick, DIDFT_ALL))) {
        return FALSE;
    }
    SetBufferSize(joystick);
    // DirectInput refuses the call unless dwSize tells which version of the structure it fills.
    DIDEVICEINSTANCEA info;
    info.dwSize = sizeof info;
    g_joystickName[0] = '\0';
    if (SUCCEEDED(joystick->GetDeviceInfo(&info))) {
        AnsiToUtf8(info.tszProductName, g_joystickName, sizeof g_joystickName);
    }
    ++g_joystickChanges;
    return TRUE;
}

// Sets the joystick up; one that cannot be set up is released, and nothing else is touched.
BOOL OpenJoystick(HWND window) {
    if (SetupJoystick(window)) {
        return TRUE;
    }
    ReleaseDevice(DEVICE_JOYSTICK);
    return FALSE;
}

// Creates, configures and acquires the system keyboard or mouse in its slot.
BOOL SetupSharedDevice(HWND window, int slot, REFGUID guid, LPCDIDATAFORMAT format) {
    if (!g_directInput) {
        OutputDebugStringCp932("\nDirectInput未初期化\n\n");
        assert(0);
        return FALSE;
    }
    ReleaseDevice(slot);
    if (g_directInput->CreateDevice(guid, &g_devices[slot], nullptr) != DI_OK) {
        // Nothing was created; should a device have come with a result other than DI_OK, it
        // goes back here instead of being left in the slot.
        ReleaseDevice(slot);
        OutputDebugStringCp932("\nDirectInputデバイスオブジェクト生成失敗\n\n");
        assert(0);
        return FALSE;
    }
    if (g_devices[slot]->SetDataFormat(format) != DI_OK) {
        ReleaseDevice(slot);
        OutputDebugStringCp932("\nDirectInputデータフォーマット設定失敗\n\n");
        assert(0);
        return FALSE;
    }
    if (g_devices[slot]->SetCooperativeLevel(window, kSharedCooperativeLevel) != DI_OK) {
        ReleaseDevice(slot);
        OutputDebugStringCp932("\nDirectInput協調レベル設定失敗\n\n");
        assert(0);
        return FALSE;
    }
    if (slot == DEVICE_KEYBOARD) {
        SetBufferSize(g_devices[slot]);
    }
    // Fails harmlessly when the window is not in front; the first read re-acquires.
    g_devices[slot]->Acquire();
    return TRUE;
}

BOOL SetupKeyboard(HWND window) {
    return SetupSharedDevice(window, DEVICE_KEYBOARD, GUID_SysKeyboard,
                             DataFormat(FORMAT_KEYBOARD));
}

BOOL SetupMouse(HWND window) {
    return SetupSharedDevice(window, DEVICE_MOUSE, GUID_SysMouse, DataFormat(FORMAT_MOUSE));
}

// The joystick is gone (DIERR_UNPLUGGED): it is dropped, and from the next tick the layer runs as
// with no controller attached until a rescan finds one. Losing the foreground is not this: those
// answers keep the device.
BOOL DropUnpluggedJoystick() {
    g_joystickPoll = g_joystickReadSinceOpened ? JOYSTICK_UNPLUGGED : JOYSTICK_UNREAD;
    ReleaseDevice(DEVICE_JOYSTICK);
    OutputDebugStringCp932("\nジョイスティック状態取得失敗\n\n");
    return FALSE;
}

BOOL PollJoystick(DIJOYSTATE* state) {
    std::memset(state, 0, sizeof *state);
    g_joystickPoll = JOYSTICK_UNREAD;
    LPDIRECTINPUTDEVICE8A joystick = g_devices[DEVICE_JOYSTICK];
    if (!joystick) {
        OutputDebugStringCp932("\nジョイスティック未初期化\n\n");
        return FALSE;
    }
    // Poll fails while the joystick is not acquired: on the first poll and whenever the dialog
    // has been in the background.
    const HRESULT polled = joystick->Poll();
    if (FAILED(polled)) {
        HRESULT acquired = joystick->Acquire();
        for (int tries = 1; acquired == DIERR_INPUTLOST && tries < kMaxAcquireTries; ++tries) {
            acquired = joystick->Acquire();
        }
        if (polled == kUnplugged || acquired == kUnplugged) {
            return DropUnpluggedJoystick();
        }
    }
    const HRESULT result = joystick->GetDeviceState(sizeof *state, state);
    if (result == DI_OK) {
        AddPressesSinceLastPoll(DEVICE_JOYSTICK, reinterpret_cast<BYTE*>(state), DIJOFS_BUTTON(0),
                                sizeof *state);
        g_joystickPoll = JOYSTICK_READ;
        g_joystickReadSinceOpened = true;
        return TRUE;
    }
    if (result == kUnplugged) {
        return DropUnpluggedJoystick();
    }
    if (result == DIERR_INPUTLOST) {
        joystick->Acquire();
    }
    if (result == DIERR_INVALIDPARAM) {
        OutputDebugStringCp932("\nDIERR_INVALIDPARAM\n\n");
    }
    if (result == DIERR_NOTACQUIRED) {
        joystick->Acquire();
        OutputDebugStringCp932("\nDIERR_NOTACQUIRED\n\n");
    }
    if (result == DIERR_NOTINITIALIZED) {
        OutputDebugStringCp932("\nDIERR_NOTINITIALIZED\n\n");
    }
    OutputDebugStringCp932("\nジョイスティック状態取得失敗\n\n");
    return FALSE;
}

// Reads the keyboard or the mouse. A foreground device that lost the foreground answers
// DIERR_NOTACQUIRED to every read until it is acquired again (under Wine; Windows answers
// DIERR_INPUTLOST once first), so both re-acquire; Acquire fails harmlessly while another window
// is in front, and the device is back on the first tick after the dialog is.
BOOL PollSharedDevice(int slot, LPVOID state, DWORD size, const char* notInitialised,
                      const char* readFailed) {
    std::memset(state, 0, size);
    LPDIRECTINPUTDEVICE8A device = g_devices[slot];
    if (!device) {
        OutputDebugStringCp932(notInitialised);
        return FALSE;
    }
    const HRESULT result = device->GetDeviceState(size, state);
    if (result == DI_OK) {
        return TRUE;
    }
    if (result == DIERR_INPUTLOST || result == DIERR_NOTACQUIRED) {
        device->Acquire();
    }
    OutputDebugStringCp932(readFailed);
    return FALSE;
}

BOOL PollKeyboard(BYTE (&state)[256]) {
    if (!PollSharedDevice(DEVICE_KEYBOARD, state, sizeof state, "\nキーボード未初期化\n\n",
                          "\nキーボード状態取得失敗\n\n")) {
        return FALSE;
    }
    AddPressesSinceLastPoll(DEVICE_KEYBOARD, state, 0, sizeof state);
    return TRUE;
}

} // namespace

BOOL InitInput(HINSTANCE instance, HWND window) {
    // A second call without ReleaseInput would otherwise lose the first object and devices.
    ReleaseInput();
    BuildDataFormats();

    void* created = nullptr;
    if (DirectInput8Create(instance, DIRECTINPUT_VERSION, IID_IDirectInput8A, &created, nullptr) !=
        DI_OK) {
        if (created) {
            static_cast<LPDIRECTINPUT8A>(created)->Release();
        }
        OutputDebugStringCp932("\nDirectInputオブジェクト生成失敗\n\n");
        assert(0);
        return FALSE;
    }
    g_directInput = static_cast<LPDIRECTINPUT8A>(created);

    BOOL ok = TRUE;
    if (!OpenJoystick(window)) {
        OutputDebugStringCp932("\nジョイスティック初期化失敗\n\n");
        assert(0);
        ok = FALSE;
    }
    if (!SetupKeyboard(window)) {
        ReleaseInput();
        OutputDebugStringCp932("\nキーボード初期化失敗\n\n");
        assert(0);
        return FALSE;
    }
    if (!SetupMouse(window)) {
        ReleaseInput();
        OutputDebugStringCp932("\nマウス初期化失敗\n\n");
        assert(0);
        return FALSE;
    }
    return ok;
}

BOOL PollInput(Input* out_state) {
    g_readLastPoll[DEVICE_JOYSTICK] = PollJoystick(&out_state->joystick) != FALSE;
    g_readLastPoll[DEVICE_KEYBOARD] = PollKeyboard(out_state->keyboard) != FALSE;
    const BOOL ok = g_readLastPoll[DEVICE_JOYSTICK] && g_readLastPoll[DEVICE_KEYBOARD];
    for (BYTE code : kToggleKeys) {
        if (out_state->keyboard[code] & kKeyDown) {
            out_state->keyboard[code] = 0;
        }
    }
    return ok;
}

// The devices go first, each unacquired before it is released, and the DirectInput object that
// created them last, as DirectInput's documentation orders it.
void ReleaseInput() {
    for (int slot = 0; slot < kDeviceCount; ++slot) {
        ReleaseDevice(slot);
    }
    if (g_directInput) {
        g_directInput->Release();
        g_directInput = nullptr;
    }
}

bool HasJoystick() {
    return g_devices[DEVICE_JOYSTICK] != nullptr;
}

void RescanJoystick(HWND window) {
    // Without the DirectInput object there is nothing to look with; that failure was reported
    // when the layer was set up.
    if (g_directInput) {
        OpenJoystick(window);
    }
}

JoystickPoll LastJoystickPoll() {
    return g_joystickPoll;
}

unsigned JoystickChanges() {
    return g_joystickChanges;
}

const char* JoystickName() {
    return g_devices[DEVICE_JOYSTICK] ? g_joystickName : nullptr;
}

BOOL PollMouse(DIMOUSESTATE* out_state) {
    return PollSharedDevice(DEVICE_MOUSE, out_state, sizeof *out_state, "\nマウス未初期化\n\n",
                            "\nマウス状態取得失敗\n\n");
}

void AcquireDevice(int slot) {
    if (!g_devices[slot]) {
        OutputDebugStringCp932("\nデバイス未初期化\n\n");
        return;
    }
    g_devices[slot]->Acquire();
}

void UnacquireDevice(int slot) {
    if (!g_devices[slot]) {
        OutputDebugStringCp932("\nデバイス未初期化\n\n");
        return;
    }
    g_devices[slot]->Unacquire();
}

void AcquireAllDevices() {
    for (int slot = 0; slot < kDeviceCount; ++slot) {
        AcquireDevice(slot);
    }
}

void UnacquireAllDevices() {
    for (int slot = 0; slot < kDeviceCount; ++slot) {
        UnacquireDevice(slot);
    }
}
