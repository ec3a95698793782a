#include "shell/config_dialog.h"

#include "capture/capture.h"
#include "input/diutils.h"
#include "input/hotplug.h"
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

// The font the dialog took instead of its template's, when that one draws Japanese badly.
HFONT g_font = nullptr;

// Whether the working directory is the Windows folder: the path line then warns.
bool g_pathWarns = false;
constexpr COLORREF kWarningColour = RGB(0xC0, 0x00, 0x00);

// The Binding fields' own window procedure, shared by all of them.
WNDPROC g_fieldProc = nullptr;

// Texts the dialog shows, for telling whether a font draws Japanese.
constexpr WCHAR kJapaneseSample[] = L"キャンセル欄保存先";
constexpr int kSampleLength = sizeof kJapaneseSample / sizeof kJapaneseSample[0] - 1;

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

// Whether the font selected into the context draws every character of the sample, in proportion.
// A template font that does not exist falls back to what the system finds for the character
// set: under Wine a fixed-pitch font whose lines are too wide for the dialog and whose small
// sizes draw the underscore below the line, where a field cuts it off; outside a Japanese
// system, a Western font that draws Japanese as empty boxes.
bool DrawsJapanese(HDC context) {
    TEXTMETRICW metrics;
    WORD glyphs[kSampleLength];
    if (!GetTextMetricsW(context, &metrics) ||
        GetGlyphIndicesW(context, kJapaneseSample, kSampleLength, glyphs,
                         GGI_MARK_NONEXISTING_GLYPHS) != kSampleLength) {
        return false;
    }
    for (WORD glyph : glyphs) {
        if (glyph == 0xFFFF) {
            return false;
        }
    }
    // Despite its name, TMPF_FIXED_PITCH is set for a variable-pitch font (wingdi.h).
    return (metrics.tmPitchAndFamily & TMPF_FIXED_PITCH) != 0;
}

// Called once per Japanese font the system lists: keeps the first proportional one written
// across (not an "@" font, which is turned for vertical writing). Windows lists its own, MS UI
// Gothic, Meiryo UI or Yu Gothic UI among them; Wine the installed ones.
int CALLBACK OnJapaneseFont(const LOGFONTW* font, const TEXTMETRICW* metrics, DWORD, LPARAM found) {
    if (font->lfFaceName[0] == L'@' || (metrics->tmPitchAndFamily & TMPF_FIXED_PITCH) == 0) {
        return TRUE;
    }
    lstrcpynW(reinterpret_cast<WCHAR*>(found), font->lfFaceName, LF_FACESIZE);
    return FALSE;
}

// The average width of a font's characters, as the dialog manager measures it for its units.
int AverageWidth(HDC context) {
    constexpr int kLetters = 26;
    char alphabet[2 * kLetters]; // A to Z, then a to z
    for (int i = 0; i < kLetters; ++i) {
        alphabet[i] = static_cast<char>('A' + i);
        alphabet[kLetters + i] = static_cast<char>('a' + i);
    }
    SIZE size;
    GetTextExtentPoint32A(context, alphabet, 2 * kLetters, &size);
    return (size.cx / kLetters + 1) / 2;
}

// A new font for the dialog and how its characters' width compares with the template font's.
struct Refit {
    HWND dialog;
    HFONT font;
    int from; // the template font's average width
    int to;   // the new font's
};

// Gives a control the new font, and widens it and its place by as much as the font is wider:
// the dialog manager laid the controls out in units of the template font's characters.
BOOL CALLBACK RefitControl(HWND control, LPARAM context) {
    const Refit& refit = *reinterpret_cast<const Refit*>(context);
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, refit.dialog, reinterpret_cast<POINT*>(&place), 2);
    SetWindowPos(control, nullptr, place.left * refit.to / refit.from, place.top,
                 (place.right - place.left) * refit.to / refit.from, place.bottom - place.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(refit.font), FALSE);
    return TRUE;
}

// Gives the dialog's controls a Japanese font at the template font's size when the template font
// cannot draw their texts well, and the dialog the width that font needs, about its centre; on a
// Japanese system the template font can, and nothing changes.
void ChooseJapaneseFont(HWND dialog) {
    const HFONT shown = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    const HDC context = GetDC(dialog);
    const HGDIOBJ original = SelectObject(context, shown);
    LOGFONTW font;
    if (!DrawsJapanese(context) && GetObjectW(shown, sizeof font, &font) != 0) {
        LOGFONTW japanese = {};
        japanese.lfCharSet = SHIFTJIS_CHARSET;
        font.lfCharSet = SHIFTJIS_CHARSET;
        font.lfFaceName[0] = L'\0';
        EnumFontFamiliesExW(context, &japanese, OnJapaneseFont,
                            reinterpret_cast<LPARAM>(font.lfFaceName), 0);
        g_font = font.lfFaceName[0] != L'\0' ? CreateFontIndirectW(&font) : nullptr;
        if (g_font != nullptr) {
            Refit refit = {dialog, g_font, AverageWidth(context), 0};
            SelectObject(context, g_font);
            refit.to = AverageWidth(context);
            if (refit.to <= refit.from) {
                refit.to = refit.from = 1; // not wider: everything fits as it is
            }
            EnumChildWindows(dialog, RefitControl, reinterpret_cast<LPARAM>(&refit));
            RECT place;
            GetWindowRect(dialog, &place);
            const int width = place.right - place.left;
            const int wider = width * refit.to / refit.from;
            SetWindowPos(dialog, nullptr, place.left - (wider - width) / 2, place.top, wider,
                         place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    SelectObject(context, original);
    ReleaseDC(dialog, context);
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
// everything else is drawn as usual, but a warning on the path line, in red.
INT_PTR OnControlColour(HDC context, HWND control) {
    const int id = GetDlgCtrlID(control);
    const bool warning = id == IDC_CONFIG_PATH && g_pathWarns;
    if (!warning && (control != GetFocus() || !IsVisibleBindingField(id))) {
        return FALSE;
    }
    SetTextColor(context, warning ? kWarningColour : GetSysColor(COLOR_HIGHLIGHTTEXT));
    const int background = warning ? COLOR_BTNFACE : COLOR_HIGHLIGHT;
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
        ChooseJapaneseFont(dialog);
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
    case WM_NCDESTROY:
        // The controls that used the font are gone by now.
        if (g_font) {
            DeleteObject(g_font);
            g_font = nullptr;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
