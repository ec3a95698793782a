// The idle benchmark's yardstick: a dialog with one edit control whose procedure re-arms the same
// 60 ms timer on every tick and does nothing else, under the same message loop as keyconfig. It
// never closes by itself: the benchmark ends it.
#include "bare_dialog.h"

#include <windows.h>

namespace {

constexpr UINT_PTR kTimerId = 32767;
constexpr UINT kTimerPeriodMs = 60;

INT_PTR CALLBACK BareDialogProc(HWND dialog, UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/) {
    switch (message) {
    case WM_INITDIALOG:
        SetTimer(dialog, kTimerId, kTimerPeriodMs, nullptr);
        // FALSE: the edit control does not get the focus, whose blinking caret would be work
        // that keyconfig's dialog, with OK focused, does not do.
        return FALSE;
    case WM_TIMER:
        SetTimer(dialog, kTimerId, kTimerPeriodMs, nullptr);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*showCommand*/) {
    HWND dialog =
        CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_BARE_DIALOG), nullptr, BareDialogProc, 0);
    if (!dialog) {
        return 1;
    }
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
