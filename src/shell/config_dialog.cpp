#include "shell/config_dialog.h"

#include "capture/capture.h"
#include "platform/text.h"
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
    if (!SaveKeyConfig()) {
        ReportSaveFailure(dialog);
        return;
    }
    MessageBoxUtf8(dialog, "更新完了", "更新しました", MB_OK);
    DestroyWindow(dialog);
}

void OnCommand(HWND dialog, int id) {
    switch (id) {
    case IDOK:
        OnOk(dialog);
        break;
    case IDCANCEL:
        // Nothing is saved: the Bindings changed in this run are dropped.
        DestroyWindow(dialog);
        break;
    default:
        break;
    }
}

void OnTimer(HWND dialog, UINT_PTR id) {
    if (id != kTimerId) {
        return;
    }
    // Setting the timer again restarts its countdown, so the next tick comes a full period
    // after this one began instead of queueing up behind a slow tick.
    StartTimer(dialog);
    CaptureStep(dialog);
}

} // namespace

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
    case WM_INITDIALOG:
        // Ticks start as soon as any message loop runs, the modal loops of message boxes
        // shown while the configuration loads included. TRUE lets the dialog manager give
        // the focus to the first tab stop, OK.
        ResetReadout();
        StartTimer(dialog);
        return TRUE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam));
        return TRUE;
    case WM_TIMER:
        OnTimer(dialog, wParam);
        return TRUE;
    case WM_KEYDOWN:
    case WM_KEYUP:
        // Keys are read through DirectInput; their window messages change nothing.
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return TRUE;
    default:
        return FALSE;
    }
}
