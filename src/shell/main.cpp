// keyconfig's entry: opens the configuration dialog and runs its message loop.
#include "capture/binding.h"
#include "input/diutils.h"
#include "platform/text.h"
#include "shell/config_dialog.h"
#include "shell/dialog_font.h"
#include "store/key_config.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;

// Enables the loaded dialog, brings it to the front (a message box may have had it) and gives
// the focus to OK, where it starts: a disabled window loses the focus. A dialog shown while
// disabled is activated before it is the foreground window, so its caption is drawn inactive,
// and becoming the foreground window later does not draw it again: it is told that it is active.
void OpenForInput(HWND dialog) {
    EnableWindow(dialog, TRUE);
    SetForegroundWindow(dialog);
    SendMessageW(dialog, WM_NCACTIVATE, GetForegroundWindow() == dialog, 0);
    SetFocus(GetDlgItem(dialog, IDOK));
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*showCommand*/) {
    // The dialog procedure starts the capture timer while the dialog is being created.
    HWND dialog = CreateConfigDialog(instance, ConfigDialogProc);
    if (!dialog) {
        MessageBoxUtf8(nullptr, "ダイアログを作成できませんでした", "コンフィグ",
                       MB_OK | MB_ICONERROR);
        return kExitFailure;
    }
    // Until the configuration has loaded the dialog takes no clicks or keys. The message boxes
    // the load may show have no owner, so nothing else would stop their modal loops from
    // handing the dialog a click on a field or on OK, and the load would then overwrite what
    // the player had bound or saved meanwhile.
    EnableWindow(dialog, FALSE);
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    SetWindowTextUtf8(dialog, "コンフィグ");

    // The dialog runs without the devices that failed: diutils reports its own failures, and
    // the stored Bindings can still be seen and saved.
    InitInput(instance, dialog);

    for (Binding& entry : g_bindingTable) {
        entry = kNoBinding;
    }
    LoadKeyConfig(dialog);
    OpenForInput(dialog);

    // No IsDialogMessage: Tab, Enter and Escape stay keys for the focused control and are
    // never turned into focus moves, OK or Cancel.
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    // The dialog released the devices when it was destroyed; again is harmless, and covers a
    // loop that ended on an error with the dialog still there.
    ReleaseInput();
    // GetMessageW returns -1 when it fails; that ends the program too, but not as a success.
    return got == 0 ? kExitOk : kExitFailure;
}
