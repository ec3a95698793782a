// keyconfig's entry: opens the configuration dialog and runs its message loop.
#include "capture/binding.h"
#include "input/diutils.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "shell/config_dialog.h"
#include "store/key_config.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*showCommand*/) {
    // The dialog procedure starts the capture timer while the dialog is being created.
    HWND dialog =
        CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_CONFIG), nullptr, ConfigDialogProc, 0);
    if (!dialog) {
        MessageBoxUtf8(nullptr, "ダイアログを作成できませんでした", "コンフィグ",
                       MB_OK | MB_ICONERROR);
        return kExitFailure;
    }
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

    // No IsDialogMessage: Tab, Enter and Escape stay keys for the focused control and are
    // never turned into focus moves, OK or Cancel.
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    ReleaseInput();
    // GetMessageW returns -1 when it fails; that ends the program too, but not as a success.
    return got == 0 ? kExitOk : kExitFailure;
}
