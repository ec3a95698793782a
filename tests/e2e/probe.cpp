// keyconfig_probe: reads the configuration dialog of a running keyconfig from another process, for
// the end-to-end tests, and presses message box buttons. Run it in the same Wine desktop as the
// program: a process sees only the windows of its own desktop.
//
//   keyconfig_probe state [PID]         the dialog, its controls, the focus and every message box
//   keyconfig_probe list                every configuration dialog: its process id and place
//   keyconfig_probe press-ok [CAPTION [PID]]  presses OK on the message box (with that caption)
//   keyconfig_probe move PID X Y        moves the dialog of that process to X, Y on the screen
//   keyconfig_probe hold                keeps the desktop up until the standard input closes
//   keyconfig_probe joystick            DirectInput's reading of the first game controller, read
//                                       as the program sets it up, a line whenever it changes,
//                                       until the standard input closes
//   keyconfig_probe cover               a window of its own in front of the dialog until the
//                                       standard input closes
//   keyconfig_probe hold-file PATH      holds the file open, shared with nobody, until the
//                                       standard input closes
//
// PID is a Windows process id, as "state" and "list" print it; with one, only that process's
// dialog and message boxes count, so that two copies of the program can be told apart.
// Output is UTF-8, one record a line, "key=value" fields; a text field comes last on its line and
// runs to the end of it, with backslash, CR and LF escaped as \\, \r and \n. "state" ends with the
// line "end". Exit code 0 on success, 1 when the thing asked for is not there, 2 on misuse.
#include <windows.h>

#include <dinput.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr int kTextMax = 512;
constexpr int kClassMax = 64;
constexpr int kMaxWindows = 64;
// How long a message sent to the program may take before the probe gives up on it.
constexpr UINT kTimeoutMs = 2000;

// The dialog manager's class of dialogs and message boxes, and the class of popup menus.
constexpr const wchar_t* kDialogClass = L"#32770";
constexpr const wchar_t* kMenuClass = L"#32768";
// The hidden readout field: only the configuration dialog has a control with this identifier.
constexpr int kReadoutId = 1012;

constexpr int kExitOk = 0;
constexpr int kExitMissing = 1;
constexpr int kExitUsage = 2;

// Writes bytes straight to the standard output handle, so that nothing turns LF into CR LF.
void Write(const char* bytes) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes, static_cast<DWORD>(std::strlen(bytes)),
              &written, nullptr);
}

// Writes a UTF-16 text as escaped UTF-8.
void WriteText(const wchar_t* text) {
    char utf8[kTextMax * 3];
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr) == 0) {
        utf8[0] = '\0';
    }
    char escaped[sizeof utf8 * 2];
    size_t out = 0;
    for (const char* p = utf8; *p != '\0' && out + 3 < sizeof escaped; ++p) {
        switch (*p) {
        case '\\':
            escaped[out++] = '\\';
            escaped[out++] = '\\';
            break;
        case '\n':
            escaped[out++] = '\\';
            escaped[out++] = 'n';
            break;
        case '\r':
            escaped[out++] = '\\';
            escaped[out++] = 'r';
            break;
        default:
            escaped[out++] = *p;
        }
    }
    escaped[out] = '\0';
    Write(escaped);
}

// Another process's control text comes only through WM_GETTEXT: GetWindowText does not send the
// message across processes and answers with the window's title as stored by the system.
void GetText(HWND window, wchar_t (&text)[kTextMax]) {
    text[0] = L'\0';
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, kTextMax, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, kTimeoutMs, &ignored);
    text[kTextMax - 1] = L'\0';
}

bool HasClass(HWND window, const wchar_t* name) {
    wchar_t className[kClassMax];
    if (GetClassNameW(window, className, kClassMax) == 0) {
        return false;
    }
    return lstrcmpiW(className, name) == 0;
}

struct TopWindows {
    DWORD process = 0; // 0: any
    HWND dialog = nullptr;
    HWND dialogs[kMaxWindows] = {};
    int dialogCount = 0;
    HWND boxes[kMaxWindows] = {};
    int boxCount = 0;
    int menuCount = 0; // open popup menus, of any process
};

DWORD ProcessOf(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

BOOL CALLBACK OnTopWindow(HWND window, LPARAM context) {
    TopWindows& found = *reinterpret_cast<TopWindows*>(context);
    if (HasClass(window, kMenuClass) && IsWindowVisible(window)) {
        ++found.menuCount;
        return TRUE;
    }
    if (!HasClass(window, kDialogClass) ||
        (found.process != 0 && ProcessOf(window) != found.process)) {
        return TRUE;
    }
    if (GetDlgItem(window, kReadoutId) != nullptr) {
        if (found.dialog == nullptr) {
            found.dialog = window;
        }
        if (found.dialogCount < kMaxWindows) {
            found.dialogs[found.dialogCount++] = window;
        }
    } else if (IsWindowVisible(window) && found.boxCount < kMaxWindows) {
        found.boxes[found.boxCount++] = window;
    }
    return TRUE;
}

TopWindows FindTopWindows(DWORD process = 0) {
    TopWindows found;
    found.process = process;
    EnumWindows(OnTopWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

void WriteRect(const RECT& rect) {
    char line[80];
    std::snprintf(line, sizeof line, " rect=%ld,%ld,%ld,%ld", rect.left, rect.top, rect.right,
                  rect.bottom);
    Write(line);
}

BOOL CALLBACK OnControl(HWND control, LPARAM) {
    wchar_t className[kClassMax];
    if (GetClassNameW(control, className, kClassMax) == 0) {
        className[0] = L'\0';
    }
    char line[kClassMax * 3 + 64];
    char classUtf8[kClassMax * 3];
    WideCharToMultiByte(CP_UTF8, 0, className, -1, classUtf8, sizeof classUtf8, nullptr, nullptr);
    std::snprintf(line, sizeof line, "control id=%d class=%s visible=%d", GetDlgCtrlID(control),
                  classUtf8, IsWindowVisible(control) ? 1 : 0);
    Write(line);
    RECT rect;
    GetWindowRect(control, &rect);
    WriteRect(rect);
    wchar_t text[kTextMax];
    GetText(control, text);
    Write(" text=");
    WriteText(text);
    Write("\n");
    return TRUE;
}

// The close box of a window's caption, centre in screen coordinates: the rightmost caption
// button, one SM_CXSIZE wide, at the right end of the title bar.
bool CloseBoxCentre(HWND window, POINT& centre) {
    TITLEBARINFO info = {};
    info.cbSize = sizeof info;
    if (!GetTitleBarInfo(window, &info) || IsRectEmpty(&info.rcTitleBar)) {
        return false;
    }
    centre.x = info.rcTitleBar.right - GetSystemMetrics(SM_CXSIZE) / 2;
    centre.y = (info.rcTitleBar.top + info.rcTitleBar.bottom) / 2;
    return true;
}

void WriteDialog(HWND dialog) {
    char line[160];
    std::snprintf(line, sizeof line, "dialog pid=%lu visible=%d foreground=%d", ProcessOf(dialog),
                  IsWindowVisible(dialog) ? 1 : 0, GetForegroundWindow() == dialog ? 1 : 0);
    Write(line);
    RECT rect;
    GetWindowRect(dialog, &rect);
    WriteRect(rect);
    POINT close;
    if (CloseBoxCentre(dialog, close)) {
        std::snprintf(line, sizeof line, " closebox=%ld,%ld", close.x, close.y);
        Write(line);
    }
    wchar_t caption[kTextMax];
    GetText(dialog, caption);
    Write(" caption=");
    WriteText(caption);
    Write("\n");

    EnumChildWindows(dialog, OnControl, 0);

    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &thread) &&
        thread.hwndFocus != nullptr) {
        const bool inDialog = GetAncestor(thread.hwndFocus, GA_ROOT) == dialog;
        std::snprintf(line, sizeof line, "focus id=%d in_dialog=%d\n",
                      GetDlgCtrlID(thread.hwndFocus), inDialog ? 1 : 0);
        Write(line);
    } else {
        Write("focus none\n");
    }
}

struct BoxTexts {
    wchar_t text[kTextMax] = {};
    bool icon = false;
};

BOOL CALLBACK OnBoxControl(HWND control, LPARAM context) {
    BoxTexts& box = *reinterpret_cast<BoxTexts*>(context);
    if (!HasClass(control, L"Static")) {
        return TRUE;
    }
    // A message box without an icon keeps its icon control, empty. Icon handles are valid
    // across processes.
    if ((GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        DWORD_PTR icon = 0;
        SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &icon);
        box.icon = box.icon || icon != 0;
        return TRUE;
    }
    wchar_t text[kTextMax];
    GetText(control, text);
    if (text[0] != L'\0' && box.text[0] == L'\0') {
        lstrcpynW(box.text, text, kTextMax);
    }
    return TRUE;
}

void WriteBox(HWND box, HWND dialog) {
    BoxTexts texts;
    EnumChildWindows(box, OnBoxControl, reinterpret_cast<LPARAM>(&texts));
    const HWND owner = GetWindow(box, GW_OWNER);
    char line[120];
    std::snprintf(line, sizeof line, "msgbox owner=%s icon=%d ok=%d",
                  owner == nullptr ? "none" : (owner == dialog ? "dialog" : "other"),
                  texts.icon ? 1 : 0, GetDlgItem(box, IDOK) != nullptr ? 1 : 0);
    Write(line);
    wchar_t caption[kTextMax];
    GetText(box, caption);
    Write(" caption=");
    WriteText(caption);
    Write(" text=");
    WriteText(texts.text);
    Write("\n");
}

int PrintState(DWORD process) {
    const TopWindows found = FindTopWindows(process);
    if (found.dialog != nullptr) {
        WriteDialog(found.dialog);
    } else {
        Write("dialog none\n");
    }
    for (int i = 0; i < found.boxCount; ++i) {
        WriteBox(found.boxes[i], found.dialog);
    }
    for (int i = 0; i < found.menuCount; ++i) {
        Write("menu\n");
    }
    Write("end\n");
    return kExitOk;
}

// Presses OK the way the button does: the message box ends on WM_COMMAND IDOK. Posted, so that the
// probe never waits on the program.
int PressOk(const wchar_t* wanted, DWORD process) {
    const TopWindows found = FindTopWindows(process);
    for (int i = 0; i < found.boxCount; ++i) {
        const HWND box = found.boxes[i];
        wchar_t caption[kTextMax];
        GetText(box, caption);
        if (wanted != nullptr && lstrcmpW(caption, wanted) != 0) {
            continue;
        }
        const HWND ok = GetDlgItem(box, IDOK);
        if (ok == nullptr) {
            continue;
        }
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
        Write("pressed caption=");
        WriteText(caption);
        Write("\n");
        return kExitOk;
    }
    Write("no message box\n");
    return kExitMissing;
}

int PrintDialogs() {
    const TopWindows found = FindTopWindows();
    for (int i = 0; i < found.dialogCount; ++i) {
        char line[120];
        std::snprintf(line, sizeof line, "dialog pid=%lu", ProcessOf(found.dialogs[i]));
        Write(line);
        RECT rect;
        GetWindowRect(found.dialogs[i], &rect);
        WriteRect(rect);
        Write("\n");
    }
    Write("end\n");
    return kExitOk;
}

// Moves a dialog, as a player drags it by its caption.
int MoveDialog(DWORD process, int x, int y) {
    const TopWindows found = FindTopWindows(process);
    if (found.dialog == nullptr || !SetWindowPos(found.dialog, nullptr, x, y, 0, 0,
                                                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)) {
        Write("no dialog\n");
        return kExitMissing;
    }
    Write("moved\n");
    return kExitOk;
}

// Reads the standard input until it closes.
DWORD WINAPI ReadStandardInput(void*) {
    char buffer[64];
    DWORD read = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr) &&
           read > 0) {
    }
    return 0;
}

// Keeps the desktop alive until the standard input closes. Wine starts a desktop for the first
// process that uses it and ends it when the last one is gone; a holder for the whole test run
// keeps programs that start and end from racing with that.
int Hold() {
    GetDesktopWindow();
    FindTopWindows();
    Write("ready\n");
    ReadStandardInput(nullptr);
    return kExitOk;
}

// Holds a file open with no sharing, as a program that is writing it does, until the standard
// input closes.
int HoldFile(const wchar_t* path) {
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Write("cannot open\n");
        return kExitMissing;
    }
    Write("held\n");
    ReadStandardInput(nullptr);
    CloseHandle(file);
    return kExitOk;
}

// Runs until the standard input closes, handling the thread's window messages meanwhile and
// calling "each" every kWatchMs.
constexpr DWORD kWatchMs = 10;

// The range the program gives every joystick axis (src/input/diutils.cpp): -1000..+1000.
constexpr LONG kProgramAxisRange = 1000;

template <typename Each> void UntilInputCloses(Each each) {
    const HANDLE reader = CreateThread(nullptr, 0, ReadStandardInput, nullptr, 0, nullptr);
    while (MsgWaitForMultipleObjects(1, &reader, FALSE, kWatchMs, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        each();
    }
    CloseHandle(reader);
}

BOOL CALLBACK OnGameController(LPCDIDEVICEINSTANCEW instance, LPVOID context) {
    *static_cast<DIDEVICEINSTANCEW*>(context) = *instance;
    return DIENUM_STOP;
}

BOOL CALLBACK OnJoystickAxis(LPCDIDEVICEOBJECTINSTANCEW object, LPVOID context) {
    DIPROPRANGE range = {};
    range.diph.dwSize = sizeof range;
    range.diph.dwHeaderSize = sizeof range.diph;
    range.diph.dwObj = object->dwType;
    range.diph.dwHow = DIPH_BYID;
    range.lMin = -kProgramAxisRange;
    range.lMax = kProgramAxisRange;
    static_cast<IDirectInputDevice8W*>(context)->SetProperty(DIPROP_RANGE, &range.diph);
    return DIENUM_CONTINUE;
}

void WriteReading(const DIJOYSTATE& state) {
    char line[256];
    int used =
        std::snprintf(line, sizeof line,
                      "reading x=%ld y=%ld z=%ld rx=%ld ry=%ld rz=%ld pov=%ld buttons=", state.lX,
                      state.lY, state.lZ, state.lRx, state.lRy, state.lRz,
                      static_cast<long>(static_cast<LONG>(state.rgdwPOV[0])));
    const char* separator = "";
    for (int n = 0; n < static_cast<int>(sizeof state.rgbButtons); ++n) {
        if (state.rgbButtons[n] & 0x80) {
            used += std::snprintf(line + used, sizeof line - used, "%s%d", separator, n);
            separator = ",";
        }
    }
    std::snprintf(line + used, sizeof line - used, "\n");
    Write(line);
}

// Reads the first game controller beside the program, without taking it away (non-exclusive,
// in the background): its product name, then its state whenever it changes. DirectInput learns
// a state from the device's reports, so the first line holds what came since it was opened.
int WatchJoystick() {
    IDirectInput8W* input = nullptr;
    DIDEVICEINSTANCEW instance = {};
    IDirectInputDevice8W* device = nullptr;
    if (FAILED(DirectInput8Create(GetModuleHandleW(nullptr), DIRECTINPUT_VERSION,
                                  IID_IDirectInput8W, reinterpret_cast<void**>(&input), nullptr)) ||
        FAILED(input->EnumDevices(DI8DEVCLASS_GAMECTRL, OnGameController, &instance,
                                  DIEDFL_ATTACHEDONLY)) ||
        instance.dwSize == 0 ||
        FAILED(input->CreateDevice(instance.guidInstance, &device, nullptr)) ||
        FAILED(device->SetDataFormat(&c_dfDIJoystick)) ||
        FAILED(device->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND)) ||
        FAILED(device->EnumObjects(OnJoystickAxis, device, DIDFT_AXIS)) ||
        FAILED(device->Acquire())) {
        Write("no joystick\n");
        return kExitMissing;
    }
    Write("joystick name=");
    WriteText(instance.tszProductName);
    Write("\n");
    DIJOYSTATE last;
    std::memset(&last, 0xFF, sizeof last);
    UntilInputCloses([&] {
        DIJOYSTATE state;
        if (FAILED(device->Poll())) {
            device->Acquire();
        }
        if (SUCCEEDED(device->GetDeviceState(sizeof state, &state)) &&
            std::memcmp(&state, &last, sizeof state) != 0) {
            WriteReading(state);
            last = state;
        }
    });
    device->Unacquire();
    device->Release();
    input->Release();
    return kExitOk;
}

// One control of the program's dialog: its text now, then again each time it changes, so that
// the moment a change shows is known to within a few milliseconds, not a probe's start-up.
int WatchText(DWORD process, int id) {
    const HWND control = GetDlgItem(FindTopWindows(process).dialog, id);
    if (control == nullptr) {
        Write("no control\n");
        return kExitMissing;
    }
    wchar_t last[kTextMax] = L"\x1";
    UntilInputCloses([&] {
        wchar_t text[kTextMax];
        GetText(control, text);
        if (lstrcmpW(text, last) != 0) {
            WriteText(text);
            Write("\n");
            lstrcpynW(last, text, kTextMax);
        }
    });
    return kExitOk;
}

// A top-level window of another process in front of the dialog, as a player's browser would be.
int Cover() {
    const HWND window =
        CreateWindowExW(0, L"Static", L"keyconfig_probe cover", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                        0, 400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr || !SetForegroundWindow(window)) {
        Write("no cover\n");
        return kExitMissing;
    }
    Write("ready\n");
    UntilInputCloses([] {});
    DestroyWindow(window);
    return kExitOk;
}

} // namespace

// A wide entry, so that a Japanese caption on the command line arrives whole whatever the code
// page of the system.
int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && lstrcmpW(argv[1], L"state") == 0) {
        return PrintState(argc >= 3 ? _wtoi(argv[2]) : 0);
    }
    if (argc >= 2 && lstrcmpW(argv[1], L"list") == 0) {
        return PrintDialogs();
    }
    if (argc >= 5 && lstrcmpW(argv[1], L"move") == 0) {
        return MoveDialog(_wtoi(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]));
    }
    if (argc >= 2 && lstrcmpW(argv[1], L"hold") == 0) {
        return Hold();
    }
    if (argc >= 2 && lstrcmpW(argv[1], L"press-ok") == 0) {
        return PressOk(argc >= 3 ? argv[2] : nullptr, argc >= 4 ? _wtoi(argv[3]) : 0);
    }
    if (argc >= 2 && lstrcmpW(argv[1], L"joystick") == 0) {
        return WatchJoystick();
    }
    if (argc >= 4 && lstrcmpW(argv[1], L"watch") == 0) {
        return WatchText(_wtoi(argv[2]), _wtoi(argv[3]));
    }
    if (argc >= 2 && lstrcmpW(argv[1], L"cover") == 0) {
        return Cover();
    }
    if (argc >= 3 && lstrcmpW(argv[1], L"hold-file") == 0) {
        return HoldFile(argv[2]);
    }
    Write("usage: keyconfig_probe state [PID] | list | press-ok [CAPTION [PID]] | move PID X Y | "
          "hold | joystick | watch PID ID | cover | hold-file PATH\n");
    return kExitUsage;
}
