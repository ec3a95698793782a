// A fake window set and debugger output for the Linux tests: the dialog and its controls are
// plain records, the focus is one pointer, and every message box and debugger message is kept
// for the test to read. Nothing here allocates while a tick runs, so tests can count heap
// allocations around the code under test.
#pragma once

#include "platform/win.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace fake {

constexpr std::size_t kTextSize = 128;
constexpr std::size_t kMaxControls = 32;
constexpr std::size_t kMaxDebugMessages = 64;
constexpr std::size_t kMaxTimers = 8;

struct Window {
    int id = 0;
    char text[kTextSize] = {};
    int setTextCalls = 0;
};

struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

// The process's one fake dialog. Reset() gives a dialog with every control of template 101.
class Desktop {
  public:
    void Reset();

    HWND Dialog() { return ToHandle(&dialog_); }
    HWND Control(int id);      // null when the dialog has no such control
    const char* Text(int id);  // the control's text
    int SetTextCalls(int id);  // how often its text was set
    void Focus(int id);        // gives the control the focus; 0 for no focus at all
    int FocusedId();           // 0 when nothing has the focus

    // Answer of SetWindowText from now on (non-zero: success).
    BOOL setTextResult = TRUE;

    // Message boxes in the order shown. onMessageBox, when set, runs while a box is "open".
    std::vector<MessageBoxCall> messageBoxes;
    std::function<void(const MessageBoxCall&)> onMessageBox;

    // Debugger output, each message as written (UTF-8). Past the capacity only the count grows.
    std::size_t debugCount = 0;
    char debug[kMaxDebugMessages][kTextSize] = {};
    std::vector<std::string> DebugMessages() const;
    void ClearDebug() { debugCount = 0; }

    // The clock (GetTickCount) and the window timers (SetTimer, KillTimer). The clock only moves
    // forward, by RunTimers, and by an hour at each Reset. Window timers repeat until killed.
    DWORD now = 0;
    struct Timer {
        UINT_PTR id;
        UINT period;
        DWORD due;
        bool armed;
    };
    Timer timers[kMaxTimers] = {};
    // Moves the clock on by ms, handing each timer that falls due on the way to onTimer, in the
    // order they fall due.
    void RunTimers(DWORD ms, const std::function<void(UINT_PTR id)>& onTimer);

    // For the fake functions.
    Window* FromHandle(HWND window);
    static HWND ToHandle(Window* window) { return reinterpret_cast<HWND>(window); }
    Window* focus = nullptr;

  private:
    Window dialog_;
    Window controls_[kMaxControls];
    std::size_t controlCount_ = 0;
};

Desktop& TheDesktop();

} // namespace fake
