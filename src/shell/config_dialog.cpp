#include "shell/config_dialog.h"

#include "capture/capture.h"
#include "input/diutils.h"
#include "input/hotplug.h"
#include "look/warning_colour.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "shell/binding_fields.h"
#include "shell/device_notifications.h"
#include "shell/path_line.h"
#include "store/key_config.h"

namespace {

// The window timer that drives capture.
constexpr UINT_PTR kTimerId = 32767;
constexpr UINT kTimerPeriodMs = 60;

// Starts the capture timer, or restarts its countdown when it is running.
void StartTimer(HWND dialog) {
    SetTimer(dialog, kTimerId, kTimerPeriodMs, nullptr);
}

// OK: write the Bindings, confirm and close. When they cannot be written the dialog stays open
// with its Bindings, so that the player can try again or cancel.
void OnOk(HWND dialog) {
    FileStatus why;
    if (!SaveKeyConfig(&why)) {
        ReportSaveFailure(dialog, why);
        return;
    }
    MessageBoxUtf8(dialog, "更新完了", "更新しました", MB_OK);
    DestroyWindow(dialog);
}

void OnCommand(HWND dialog, int id, int code) {
    switch (id) {
    case IDOK:
        OnOk(dialog);
        return;
    case IDCANCEL:
        // Nothing is saved: the Bindings changed in this run are dropped.
        DestroyWindow(dialog);
        return;
    default:
        break;
    }
    OnBindingFieldCommand(dialog, id, code);
}

// Read-only edits ask for their colours as statics do. The field with the focus, the one the
// next input goes to, takes the system's selection colours, which high-contrast themes set too;
// everything else is drawn as usual, but a warning on the path line, in red, or in what reads on
// the theme's background.
INT_PTR OnControlColour(HDC context, HWND control) {
    const int id = GetDlgCtrlID(control);
    const bool warning = id == IDC_CONFIG_PATH && PathLineWarns();
    if (!warning && (control != GetFocus() || !IsVisibleBindingField(id))) {
        return FALSE;
    }
    const int background = warning ? COLOR_BTNFACE : COLOR_HIGHLIGHT;
    SetTextColor(context,
                 warning ? ChooseWarningColour(GetSysColor(background), GetSysColor(COLOR_BTNTEXT))
                         : GetSysColor(COLOR_HIGHLIGHTTEXT));
    SetBkColor(context, GetSysColor(background));
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(background));
}

// Letting go of Alt or F10 asks for keyboard menu mode, in which the next keys would open the
// system menu and choose from it (C closes the dialog) while they are being bound. Refused; the
// close box, Alt+F4 and every other system command take the default path.
INT_PTR OnSysCommand(WPARAM command) {
    constexpr WPARAM kCommandMask = 0xFFF0; // the low four bits are the system's own
    return (command & kCommandMask) == SC_KEYMENU ? TRUE : FALSE;
}

void OnTimer(HWND dialog, UINT_PTR id) {
    if (id != kTimerId) {
        OnRescanTimer(dialog, id);
        return;
    }
    // Setting the timer again restarts its countdown, so the next tick comes a full period
    // after this one began instead of queueing up behind a slow tick.
    StartTimer(dialog);
    CaptureStep(dialog);
    OnJoystickPolled(dialog);
}

} // namespace

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        // Ticks start as soon as any message loop runs, the modal loops of message boxes
        // shown while the configuration loads included. TRUE lets the dialog manager give
        // the focus to the first tab stop, OK.
        ResetReadout();
        StartTimer(dialog);
        RegisterForDeviceChanges(dialog);
        TakeFieldMenusAway(dialog);
        ShowConfigPath(dialog);
        return TRUE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return OnControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_TIMER:
        OnTimer(dialog, wParam);
        return TRUE;
    case WM_DEVICECHANGE:
        OnDeviceChange(dialog, wParam, lParam);
        return TRUE;
    case WM_SYSCOMMAND:
        return OnSysCommand(wParam);
    case WM_ENTERMENULOOP:
    case WM_EXITMENULOOP:
        OnMenuLoop(message == WM_ENTERMENULOOP);
        return TRUE;
    case WM_KEYDOWN:
    case WM_KEYUP:
        // Keys are read through DirectInput; their window messages change nothing.
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        // The devices are bound to this window: they go while it still exists.
        UnregisterForDeviceChanges();
        ReleaseInput();
        PostQuitMessage(0);
        return TRUE;
    default:
        return FALSE;
    }
}
