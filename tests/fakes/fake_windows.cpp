#include "fake_windows.h"

#include "platform/text.h"
#include "resources/resource.h"

#include <cstdio>

namespace fake {

namespace {

// Control identifiers of dialog template 101, in template order (labels without one left out).
constexpr int kTemplateControls[] = {
    IDOK,
    IDCANCEL,
    IDC_OPTION1,
    IDC_BINDING_UP,
    IDC_BINDING_DOWN,
    IDC_BINDING_LEFT,
    IDC_BINDING_RIGHT,
    IDC_BINDING_SHOT,
    IDC_BINDING_BOMB,
    IDC_BINDING_BUTTON3,
    IDC_BINDING_BUTTON4,
    IDC_READOUT,
    IDC_INSTRUCTION,
    IDC_CONTROLLER,
    IDC_CONFIG_PATH,
    IDC_LABEL_UP,
    IDC_LABEL_DOWN,
    IDC_LABEL_LEFT,
    IDC_LABEL_RIGHT,
    IDC_LABEL_SHOT,
    IDC_LABEL_BOMB,
};

void CopyText(char (&out)[kTextSize], const char* text) {
    std::snprintf(out, sizeof out, "%s", text);
}

} // namespace

Desktop& TheDesktop() {
    static Desktop desktop;
    return desktop;
}

void Desktop::Reset() {
    dialog_ = Window{};
    controlCount_ = 0;
    for (int id : kTemplateControls) {
        controls_[controlCount_] = Window{};
        controls_[controlCount_].id = id;
        ++controlCount_;
    }
    // The dialog manager focuses the first control with a tab stop: OK.
    focus = FromHandle(Control(IDOK));
    setTextResult = TRUE;
    messageBoxes.clear();
    onMessageBox = nullptr;
    debugCount = 0;
    constexpr DWORD kAnHour = 60 * 60 * 1000;
    now += kAnHour;
    for (Timer& timer : timers) {
        timer.armed = false;
    }
}

void Desktop::RunTimers(DWORD ms, const std::function<void(UINT_PTR id)>& onTimer) {
    const DWORD end = now + ms;
    for (;;) {
        Timer* next = nullptr;
        for (Timer& timer : timers) {
            if (timer.armed && timer.due <= end && (next == nullptr || timer.due < next->due)) {
                next = &timer;
            }
        }
        if (next == nullptr) {
            break;
        }
        now = next->due;
        next->due = now + next->period;
        onTimer(next->id);
    }
    now = end;
}

HWND Desktop::Control(int id) {
    for (std::size_t i = 0; i < controlCount_; ++i) {
        if (controls_[i].id == id) {
            return ToHandle(&controls_[i]);
        }
    }
    return nullptr;
}

Window* Desktop::FromHandle(HWND window) { return reinterpret_cast<Window*>(window); }

const char* Desktop::Text(int id) { return FromHandle(Control(id))->text; }

int Desktop::SetTextCalls(int id) { return FromHandle(Control(id))->setTextCalls; }

void Desktop::Focus(int id) { focus = id == 0 ? nullptr : FromHandle(Control(id)); }

int Desktop::FocusedId() { return focus == nullptr ? 0 : focus->id; }

std::vector<std::string> Desktop::DebugMessages() const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < debugCount && i < kMaxDebugMessages; ++i) {
        out.emplace_back(debug[i]);
    }
    return out;
}

} // namespace fake

using fake::TheDesktop;

HWND GetFocus() { return fake::Desktop::ToHandle(TheDesktop().focus); }

HWND SetFocus(HWND window) {
    HWND previous = GetFocus();
    TheDesktop().focus = TheDesktop().FromHandle(window);
    return previous;
}

HWND GetDlgItem(HWND dialog, int id) {
    return dialog == TheDesktop().Dialog() ? TheDesktop().Control(id) : nullptr;
}

LONG GetWindowLongW(HWND window, int index) {
    if (window == nullptr || index != GWL_ID) {
        return 0;
    }
    return TheDesktop().FromHandle(window)->id;
}

BOOL SetWindowTextUtf8(HWND window, const char* text) {
    if (window == nullptr || !TheDesktop().setTextResult) {
        return FALSE;
    }
    fake::Window* w = TheDesktop().FromHandle(window);
    fake::CopyText(w->text, text);
    ++w->setTextCalls;
    return TRUE;
}

int MessageBoxUtf8(HWND owner, const char* text, const char* caption, UINT type) {
    fake::Desktop& desktop = TheDesktop();
    desktop.messageBoxes.push_back({owner, text, caption, type});
    if (desktop.onMessageBox) {
        desktop.onMessageBox(desktop.messageBoxes.back());
    }
    return IDOK;
}

void OutputDebugStringCp932(const char* text) {
    fake::Desktop& desktop = TheDesktop();
    if (desktop.debugCount < fake::kMaxDebugMessages) {
        fake::CopyText(desktop.debug[desktop.debugCount], text);
    }
    ++desktop.debugCount;
}

// The tests' texts are UTF-8 already.
void AnsiToUtf8(const char* text, char* out, int size) {
    std::snprintf(out, static_cast<std::size_t>(size), "%s", text);
}

// Setting a timer again restarts it.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC) {
    fake::Desktop& desktop = TheDesktop();
    KillTimer(window, id);
    for (fake::Desktop::Timer& timer : desktop.timers) {
        if (!timer.armed) {
            timer = {id, elapse, desktop.now + elapse, true};
            return id;
        }
    }
    return 0;
}

BOOL KillTimer(HWND, UINT_PTR id) {
    for (fake::Desktop::Timer& timer : TheDesktop().timers) {
        if (timer.armed && timer.id == id) {
            timer.armed = false;
            return TRUE;
        }
    }
    return FALSE;
}

DWORD GetTickCount() { return TheDesktop().now; }
