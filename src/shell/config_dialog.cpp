#include "shell/config_dialog.h"

#include "capture/capture.h"
#include "input/diutils.h"
#include "input/hotplug.h"
#include "look/warning_colour.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "store/key_config.h"

#include <dbt.h>

namespace {

// The path line: its prefix, a path as long as Windows allows one, a backslash and the file name.
constexpr DWORD kFileNameRoom = 1 + sizeof kConfigFileName;
constexpr DWORD kPathLineSize = 16 + 32768 + kFileNameRoom;

// The window timer that drives capture.
constexpr UINT_PTR kTimerId = 32767;
constexpr UINT kTimerPeriodMs = 60;

// Game controllers arrive and leave as device interfaces of the HID class
// ({4D1E55B2-F16F-11CF-88CB-001111000030}, GUID_DEVINTERFACE_HID in hidclass.h).
constexpr GUID kHidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

HDEVNOTIFY g_deviceNotification = nullptr;

// Whether the working directory is the Windows folder: the path line then warns.
bool g_pathWarns = false;

// The Binding fields' own window procedure, shared by all of them.
WNDPROC g_fieldProc = nullptr;

// Asks for WM_DEVICECHANGE when a HID device interface arrives or leaves. Failing is no error:
// a top-level window gets DBT_DEVNODES_CHANGED without asking, and the dialog works without
// either.
void RegisterForDeviceChanges(HWND dialog) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kHidInterfaceClass;
    g_deviceNotification =
        RegisterDeviceNotificationW(dialog, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void UnregisterForDeviceChanges() {
    if (g_deviceNotification) {
        UnregisterDeviceNotification(g_deviceNotification);
        g_deviceNotification = nullptr;
    }
}

// A device came or went: a hint to look for a controller later, never here.
void OnDeviceChange(HWND dialog, WPARAM event, LPARAM data) {
    const DEV_BROADCAST_HDR* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    const bool interfaceEvent = (event == DBT_DEVICEARRIVAL || event == DBT_DEVICEREMOVECOMPLETE) &&
                                header != nullptr &&
                                header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE;
    if (interfaceEvent || event == DBT_DEVNODES_CHANGED) {
        OnDeviceChangeHint(dialog);
    }
}

// Nothing on an edit control's menu serves a read-only field, and the keys that work the menu
// would be bound.
LRESULT CALLBACK FieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CONTEXTMENU) {
        return 0;
    }
    return CallWindowProcW(g_fieldProc, field, message, wParam, lParam);
}

void TakeFieldMenusAway(HWND dialog) {
    for (int id = IDC_BINDING_UP; id <= IDC_BINDING_BUTTON4; ++id) {
        g_fieldProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            GetDlgItem(dialog, id), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FieldProc)));
    }
}

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
    // A click on a label waits for its field's input, as a click on the field does.
    if (IsVisibleBindingField(id - IDC_LABEL_OFFSET) && code == STN_CLICKED) {
        SetFocus(GetDlgItem(dialog, id - IDC_LABEL_OFFSET));
    }
    // The field that waits is drawn highlighted: it is drawn anew when it gets or loses the focus.
    if (IsVisibleBindingField(id) && (code == EN_SETFOCUS || code == EN_KILLFOCUS)) {
        InvalidateRect(GetDlgItem(dialog, id), nullptr, TRUE);
    }
}

// Read-only edits ask for their colours as statics do. The field with the focus, the one the
// next input goes to, takes the system's selection colours, which high-contrast themes set too;
// everything else is drawn as usual, but a warning on the path line, in red, or in what reads on
// the theme's background.
INT_PTR OnControlColour(HDC context, HWND control) {
    const int id = GetDlgCtrlID(control);
    const bool warning = id == IDC_CONFIG_PATH && g_pathWarns;
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

// The final path of a folder ("\\?\C:\..."), in which short names, SUBST drives and links
// are resolved: the form in which folders are compared. Empty when it cannot be opened.
void FindFinalFolder(const WCHAR* folder, WCHAR (&out)[kWidePathSize]) {
    out[0] = L'\0';
    const HANDLE handle = CreateFileW(folder, FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        GetFinalPathNameByHandleW(handle, out, kWidePathSize, 0); // any path fits
        CloseHandle(handle);
    }
}

// Which warning the path line gives for the working directory (DecideFolderWarning). A program
// started without a working directory of its own runs in the Windows folder: from a shortcut
// whose "Start in" is empty, or under Wine from a game folder whose path is too long to be one.
// One started from inside its ZIP runs in a temporary folder: the user's (GetTempPathW), or under
// Wine the Unix one, /tmp, where file managers unpack, which "\\?\unix\" names there (and
// nothing on Windows).
FolderWarning WarningFor() {
    static WCHAR folders[4][kWidePathSize]; // the working directory, Windows's, the temporary ones
    static WCHAR name[MAX_PATH + 1];
    FindFinalFolder(L".", folders[0]);
    GetWindowsDirectoryW(name, MAX_PATH + 1); // never longer than MAX_PATH
    FindFinalFolder(name, folders[1]);
    if (GetTempPathW(MAX_PATH + 1, name) <= MAX_PATH) {
        FindFinalFolder(name, folders[2]);
    }
    FindFinalFolder(L"\\\\?\\unix\\tmp", folders[3]);
    const WCHAR* const temporary[] = {folders[2], folders[3]};
    return DecideFolderWarning(folders[0], folders[1], temporary, 2);
}

// Shows which configuration file is edited (FindEditedFile): the one in the working directory,
// or the file it links to. Its full path can hold any character, so it goes to the window as
// UTF-16 all the way. In the Windows folder or a temporary one it says so in red: every program
// started in the Windows folder shares that file, and the game never looks in a temporary one.
void ShowConfigPath(HWND dialog) {
    static WCHAR text[kPathLineSize];
    static WCHAR path[kPathLineSize];
    static char edited[kPathSize];
    const DWORD room = kPathLineSize - kFileNameRoom;
    const DWORD length = GetCurrentDirectoryW(room, path);
    if (length == 0 || length >= room) {
        return; // no line rather than a wrong one
    }
    const FolderWarning warning = WarningFor();
    g_pathWarns = warning != FolderWarning::kNone;
    // A file elsewhere has a final path ("\\?\..."); config.ini itself is in the folder.
    FindEditedFile(edited, sizeof edited);
    if (edited[0] == '\\') {
        MultiByteToWideChar(CP_UTF8, 0, ShownPath(edited), -1, path, kPathLineSize);
    } else {
        WCHAR* end = path + length;
        if (end[-1] != L'\\') {
            *end++ = L'\\';
        }
        MultiByteToWideChar(CP_UTF8, 0, kConfigFileName, -1, end, kFileNameRoom);
    }
    const char* prefix =
        warning == FolderWarning::kWindowsFolder     ? "保存先がWindowsフォルダーです: "
        : warning == FolderWarning::kTemporaryFolder ? "保存先が一時フォルダーです: "
                                                     : "保存先: ";
    const int written = MultiByteToWideChar(CP_UTF8, 0, prefix, -1, text, kPathLineSize) - 1;
    if (written < 0) {
        return;
    }
    lstrcpynW(text + written, path, kPathLineSize - written);
    SetWindowTextW(GetDlgItem(dialog, IDC_CONFIG_PATH), text);
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
