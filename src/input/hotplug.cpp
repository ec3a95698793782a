#include "input/hotplug.h"

#include "input/diutils.h"

namespace {

constexpr UINT kRescanSoonMs = 300;
constexpr UINT kRescanLateMs = 2000;
constexpr DWORD kMinRescanIntervalMs = 1000;

bool g_rescanned = false;
DWORD g_lastRescanAt = 0;

} // namespace

void OnDeviceChangeHint(HWND window) {
    if (HasJoystick()) {
        return;
    }
    SetTimer(window, kRescanSoonTimerId, kRescanSoonMs, nullptr);
    SetTimer(window, kRescanLateTimerId, kRescanLateMs, nullptr);
}

void OnJoystickPolled(HWND window) {
    // Only one that had been read: a controller that is listed and can be created but answers
    // DIERR_UNPLUGGED from the start would otherwise be opened, dropped and looked for again
    // every second.
    if (LastJoystickPoll() == JOYSTICK_UNPLUGGED) {
        OnDeviceChangeHint(window);
    }
}

bool OnRescanTimer(HWND window, UINT_PTR id) {
    if (id != kRescanSoonTimerId && id != kRescanLateTimerId) {
        return false;
    }
    // Window timers repeat; each look is a single shot.
    KillTimer(window, id);
    if (HasJoystick()) {
        return true;
    }
    // Unsigned arithmetic: right across the tick count's wrap after 49.7 days.
    const DWORD now = GetTickCount();
    const DWORD since = now - g_lastRescanAt;
    if (g_rescanned && since < kMinRescanIntervalMs) {
        SetTimer(window, id, kMinRescanIntervalMs - since, nullptr);
        return true;
    }
    g_rescanned = true;
    g_lastRescanAt = now;
    RescanJoystick(window);
    return true;
}
