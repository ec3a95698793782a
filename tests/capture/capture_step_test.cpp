// CaptureStep driven tick by tick through the fake dialog and the fake DirectInput: each tick
// sets what is held, optionally lets the player click a field first, runs one step and checks
// the Binding table, the focus and the readout.
#include "capture/capture.h"

#include "capture/binding_name.h"
#include "fake_dinput.h"
#include "fake_windows.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr BYTE kDown = 0x80;
constexpr int kNoClick = -1;
constexpr int kNoFocus = 0;

struct Tick {
    std::vector<int> keys;    // key codes held during the tick
    std::vector<int> buttons; // joystick buttons held
    LONG x;                   // stick position
    LONG y;
    int click;         // control the player clicks before the tick, or kNoClick
    const char* table; // the eight Bindings by name after the tick, "." for (0, 0)
    int focus;         // the focused control after the tick
    const char* readout;
    bool unread = false;        // the joystick's read fails on this tick
    std::vector<int> taps = {}; // keys pressed and let go since the tick before, in order
};

Tick Unread(Tick tick) {
    tick.unread = true;
    return tick;
}

Tick Keys(std::vector<int> keys, const char* table, int focus, const char* readout,
          int click = kNoClick) {
    return {std::move(keys), {}, 0, 0, click, table, focus, readout};
}

Tick Taps(std::vector<int> taps, const char* table, int focus, const char* readout) {
    return {{}, {}, 0, 0, kNoClick, table, focus, readout, false, std::move(taps)};
}

Tick Joy(std::vector<int> buttons, LONG x, LONG y, const char* table, int focus,
         const char* readout, int click = kNoClick) {
    return {{}, std::move(buttons), x, y, click, table, focus, readout};
}

class CaptureStepTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ReleaseInput();
        di.Reset();
        desktop.Reset();
        ResetReadout();
        std::memset(g_bindingTable, 0, sizeof g_bindingTable);
        ASSERT_TRUE(InitInput(fake::Instance(), desktop.Dialog()));
        // An idle tick leaves the hold filter at (0, 0), whatever earlier tests offered last.
        CaptureStep(desktop.Dialog());
    }
    void TearDown() override {
        ReleaseInput();
        EXPECT_EQ(di.Held(), 0);
        EXPECT_EQ(di.violations, 0);
    }

    std::string Table() const {
        std::string out;
        for (const Binding& b : g_bindingTable) {
            out += out.empty() ? "" : " ";
            out += b == kNoBinding ? "." : FormatBindingName(b).text;
        }
        return out;
    }

    void Run(const std::vector<Tick>& ticks) {
        int i = 0;
        for (const Tick& t : ticks) {
            std::memset(di.keyboard, 0, sizeof di.keyboard);
            di.joystick = fake::kJoystickAtRest;
            if (t.unread) {
                di.Answer(fake::Op::GetDeviceState, fake::Target::Joystick, DIERR_INPUTLOST);
            }
            for (int code : t.keys) {
                di.keyboard[code] = kDown;
            }
            for (int n : t.buttons) {
                di.joystick.rgbButtons[n] = kDown;
            }
            di.joystick.lX = t.x;
            di.joystick.lY = t.y;
            for (int code : t.taps) {
                di.Change(fake::Target::Keyboard, static_cast<DWORD>(code), kDown);
                di.Change(fake::Target::Keyboard, static_cast<DWORD>(code), 0);
            }
            if (t.click != kNoClick) {
                desktop.Focus(t.click);
            }
            CaptureStep(desktop.Dialog());
            EXPECT_EQ(Table(), t.table) << "tick " << i;
            EXPECT_EQ(desktop.FocusedId(), t.focus) << "tick " << i;
            EXPECT_STREQ(desktop.Text(IDC_READOUT), t.readout) << "tick " << i;
            ++i;
        }
    }

    // The joystick pulled out, seen so by a tick, and the first controller plugged in and found.
    void Replug() {
        di.controllers[0].attached = false;
        CaptureStep(desktop.Dialog());
        di.controllers[0].attached = true;
        RescanJoystick(desktop.Dialog());
    }

    fake::DirectInput& di = fake::TheDirectInput();
    fake::Desktop& desktop = fake::TheDesktop();
};

constexpr const char* kEmpty = ". . . . . . . .";
const std::string kHatText =
    "ハット（十字キー）は割り当てできません。\nスティックかボタンを使ってください";
const std::string kAxisText = "この軸は割り当てできません。\nスティックかボタンを使ってください";

TEST_F(CaptureStepTest, APressedKeyIsBoundOnceAndTheFocusMovesOn) {
    Run({
        Keys({}, kEmpty, 1003, "0 _ 0", 1003),
        Keys({DIK_A}, "KEY_A . . . . . . .", 1004, "0 _ 30"),
        // Still held: not bound to DOWN as well.
        Keys({DIK_A}, "KEY_A . . . . . . .", 1004, "0 _ 30"),
        Keys({}, "KEY_A . . . . . . .", 1004, "0 _ 0"),
        // Pressed again: the same input may serve several actions.
        Keys({DIK_A}, "KEY_A KEY_A . . . . . .", 1005, "0 _ 30"),
    });
    // Set by the idle tick of SetUp and by the three changes of offer; the two ticks that
    // offered what the tick before offered left it alone.
    EXPECT_EQ(desktop.SetTextCalls(IDC_READOUT), 4);
}

// Taps shorter than a tick: each binds once, two within one tick once, and a tap in the tick after
// one of the same key again, since the key went up in between.
TEST_F(CaptureStepTest, KeysTappedBetweenTwoTicksBindOncePerTick) {
    Run({
        Keys({}, kEmpty, 1003, "0 _ 0", 1003),
        Taps({DIK_A}, "KEY_A . . . . . . .", 1004, "0 _ 30"),
        Keys({}, "KEY_A . . . . . . .", 1004, "0 _ 0"),
        Taps({DIK_S, DIK_S}, "KEY_A KEY_S . . . . . .", 1005, "0 _ 31"),
        Taps({DIK_S}, "KEY_A KEY_S KEY_S . . . . .", 1006, "0 _ 31"),
        Keys({}, "KEY_A KEY_S KEY_S . . . . .", 1006, "0 _ 0"),
    });
}

TEST_F(CaptureStepTest, HoldingSThenPressingAThenLettingAGo) {
    Run({
        Keys({DIK_S}, "KEY_S . . . . . . .", 1004, "0 _ 31", 1003),
        Keys({DIK_S, DIK_A}, "KEY_S KEY_A . . . . . .", 1005, "0 _ 30"),
        Keys({DIK_S}, "KEY_S KEY_A KEY_S . . . . .", 1006, "0 _ 31"),
        Keys({DIK_S}, "KEY_S KEY_A KEY_S . . . . .", 1006, "0 _ 31"),
    });
}

TEST_F(CaptureStepTest, AForbiddenKeySuspendsEverythingUntilLetGo) {
    Run({
        Keys({}, kEmpty, 1003, "0 _ 0", 1003),
        // Tab with A: nothing at all happens, the readout keeps its text.
        Keys({DIK_TAB, DIK_A}, kEmpty, 1003, "0 _ 0"),
        {{DIK_TAB, DIK_A}, {0}, 1000, 0, kNoClick, kEmpty, 1003, "0 _ 0"},
        // Tab let go with A still down: A is offered on this tick.
        Keys({DIK_A}, "KEY_A . . . . . . .", 1004, "0 _ 30"),
    });
}

TEST_F(CaptureStepTest, ForbiddenKeysSuspendJoystickInputToo) {
    for (int forbidden : {DIK_TAB, DIK_LMENU, DIK_RMENU, DIK_F1, DIK_F10, DIK_F11, DIK_F12, DIK_F13,
                          DIK_F15, DIK_LWIN, DIK_RWIN, DIK_APPS, DIK_POWER, DIK_SLEEP}) {
        di.keyboard[forbidden] = kDown;
        di.joystick.rgbButtons[0] = kDown;
        desktop.Focus(1003);
        CaptureStep(desktop.Dialog());
        EXPECT_EQ(Table(), kEmpty) << forbidden;
        EXPECT_EQ(desktop.FocusedId(), 1003) << forbidden;
        EXPECT_STREQ(desktop.Text(IDC_READOUT), "0 _ 0") << forbidden;
        di.keyboard[forbidden] = 0;
    }
    // Let go of the forbidden key: the button, still down, is offered on the next tick.
    CaptureStep(desktop.Dialog());
    EXPECT_EQ(Table(), "JOY1_B1 . . . . . . .");
    EXPECT_STREQ(desktop.Text(IDC_READOUT), "1 _ 4");
}

TEST_F(CaptureStepTest, AnOfferFromBeforeTheSuspensionIsNotStoredAgain) {
    Run({
        Keys({DIK_A}, "KEY_A . . . . . . .", 1004, "0 _ 30", 1003),
        Keys({DIK_A, DIK_F1}, "KEY_A . . . . . . .", 1004, "0 _ 30"),
        Keys({DIK_F1}, "KEY_A . . . . . . .", 1004, "0 _ 30"), // A let go unseen
        Keys({DIK_F1, DIK_A}, "KEY_A . . . . . . .", 1004, "0 _ 30"),
        // F1 let go, A still down: the filter still holds A from before.
        Keys({DIK_A}, "KEY_A . . . . . . .", 1004, "0 _ 30"),
        Keys({}, "KEY_A . . . . . . .", 1004, "0 _ 0"),
        Keys({DIK_A}, "KEY_A KEY_A . . . . . .", 1005, "0 _ 30"),
    });
}

// The player opens the system menu, moves in it and closes it with Escape: none of those keys
// is bound, not even the Escape still down after the menu closed; pressed again, it is.
TEST_F(CaptureStepTest, NothingIsBoundWhileAMenuIsOpenNorByTheKeyThatClosedIt) {
    Run({Keys({}, kEmpty, 1003, "0 _ 0", 1003)});
    OnMenuLoop(true);
    Run({Keys({DIK_UP}, kEmpty, 1003, "0 _ 0"), Keys({DIK_RETURN}, kEmpty, 1003, "0 _ 0")});
    OnMenuLoop(false);
    Run({
        Keys({DIK_ESCAPE}, kEmpty, 1003, "0 _ 1"),
        Keys({DIK_ESCAPE, DIK_A}, kEmpty, 1003, "0 _ 1"),
        Keys({}, kEmpty, 1003, "0 _ 0"),
        Keys({DIK_ESCAPE}, "KEY_ESC . . . . . . .", 1004, "0 _ 1"),
    });
}

TEST_F(CaptureStepTest, LockKeysAreNeitherBoundNorSuspending) {
    for (int lock : {DIK_CAPITAL, DIK_NUMLOCK, DIK_KANA, DIK_KANJI}) {
        SCOPED_TRACE(lock);
        std::memset(g_bindingTable, 0, sizeof g_bindingTable);
        Run({
            Keys({lock}, kEmpty, 1003, "0 _ 0", 1003),
            Keys({lock, DIK_ESCAPE}, "KEY_ESC . . . . . . .", 1004, "0 _ 1"),
            Keys({}, "KEY_ESC . . . . . . .", 1004, "0 _ 0"),
        });
    }
}

TEST_F(CaptureStepTest, KeysThatWouldWorkTheDialogAreBoundLikeAnyOther) {
    Run({
        Keys({DIK_ESCAPE}, "KEY_ESC . . . . . . .", 1004, "0 _ 1", 1003),
        Keys({DIK_RETURN}, "KEY_ESC KEY_Enter . . . . . .", 1005, "0 _ 28"),
        Keys({DIK_SPACE}, "KEY_ESC KEY_Enter KEY_SPACE . . . . .", 1006, "0 _ 57"),
        Keys({DIK_LSHIFT}, "KEY_ESC KEY_Enter KEY_SPACE KEY_Lshift . . . .", 1007, "0 _ 42"),
        Keys({DIK_RCONTROL}, "KEY_ESC KEY_Enter KEY_SPACE KEY_Lshift KEY_Rctrl . . .", 1008,
             "0 _ 157"),
        // The bomb field wraps the focus back to UP.
        Keys({DIK_UP}, "KEY_ESC KEY_Enter KEY_SPACE KEY_Lshift KEY_Rctrl KEY_↑ . .", 1003,
             "0 _ 200"),
    });
}

TEST_F(CaptureStepTest, JoystickPriorityAndDiagonals) {
    // The stick comes back through its centre between pushes, as a player's does.
    Run({
        Joy({5, 2}, 0, 0, "JOY1_B3 . . . . . . .", 1004, "1 _ 6", 1003),
        Joy({}, 1000, 1000, "JOY1_B3 JOY1_DOWN . . . . . .", 1005, "1 _ 1"),
        Joy({}, 0, 0, "JOY1_B3 JOY1_DOWN . . . . . .", 1005, "0 _ 0"),
        Joy({}, -1000, -1000, "JOY1_B3 JOY1_DOWN JOY1_LEFT . . . . .", 1006, "1 _ 2"),
        Joy({}, 0, 0, "JOY1_B3 JOY1_DOWN JOY1_LEFT . . . . .", 1006, "0 _ 0"),
        Joy({}, 1000, -1000, "JOY1_B3 JOY1_DOWN JOY1_LEFT JOY1_RIGHT . . . .", 1007, "1 _ 3"),
        Joy({}, 999, 999, "JOY1_B3 JOY1_DOWN JOY1_LEFT JOY1_RIGHT . . . .", 1007, "0 _ 0"),
        Joy({}, 0, -1000, "JOY1_B3 JOY1_DOWN JOY1_LEFT JOY1_RIGHT JOY1_UP . . .", 1008, "1 _ 0"),
    });
}

// SetUp's idle tick found the stick centred. That controller is pulled out, and a look opens one
// whose pedal (X) rests at one end and whose button 1 is down; its first read fails.
TEST_F(CaptureStepTest, WhatIsGivenWhenAControllerIsSetUpCountsOnlyOnceLetGo) {
    Replug();
    Run({
        Unread(Joy({0}, -1000, 0, kEmpty, 1003, "0 _ 0", 1003)),
        Joy({0}, -1000, 0, kEmpty, 1003, "0 _ 0"), // the rest state
        {{DIK_A}, {0}, -1000, 0, kNoClick, "KEY_A . . . . . . .", 1004, "0 _ 30"},
        Unread(Joy({}, -1000, 0, "KEY_A . . . . . . .", 1004, "0 _ 0")), // lets go of nothing
        Joy({0}, 1000, 0, "KEY_A JOY1_RIGHT . . . . . .", 1005, "1 _ 3"),
        Joy({}, 0, 0, "KEY_A JOY1_RIGHT . . . . . .", 1005, "0 _ 0"),
        Joy({0}, -1000, 0, "KEY_A JOY1_RIGHT JOY1_B1 . . . . .", 1006, "1 _ 4"),
        Joy({}, -1000, 0, "KEY_A JOY1_RIGHT JOY1_B1 . . . . .", 1006, "0 _ 0"),
    });
    EXPECT_STREQ(desktop.Text(IDC_CONTROLLER), "コントローラー: Controller 0");
}

// Controllers as players' devices send their reads: sticks that wobble round a centre that is
// not 0, pedals that travel through the middle and rest at an end, triggers resting at an end.
// Under Wine a controller reads all zero until its first report; on Windows the first read is the
// device as it is. Each trace starts with the UP field waiting; what is bound shows in the table
// in the order bound, and the controller line's messages in the order they began.
constexpr DWORD kCentred = 0xFFFFFFFF;
struct Read {
    LONG x, y;
    LONG z = 0, rx = 0, ry = 0;
    uint32_t buttons = 0; // bit n: button n down
    int key = 0;
    DWORD pov = kCentred;
    int ticks = 1;
};

TEST_F(CaptureStepTest, ControllersBindWhatThePlayerPressesNotWhereTheyRest) {
    const Read nothing = {0, 0, 0, 0, 0, 0, 0, kCentred, 2}; // Wine, before the first report
    const struct {
        const char* device;
        std::vector<Read> reads;
        const char* table;
        const char* messages;
    } traces[] = {
        // A read a cell, as the device sends them.
        // clang-format off
        {"analog stick, Y about ±40 at rest: a full push left first, masking a key while held",
         {nothing, {-1000, 37}, {-1000, -21}, {-1000, 40, 0, 0, 0, 0, DIK_S}, {-35, 12}, {20, -40},
          {-38, 33}, {-35, 12, 0, 0, 0, 0, DIK_A}},
         "JOY1_LEFT KEY_A . . . . . .", ""},
        {"analog stick held fully left as it appears (Windows), let go, pushed again",
         {{-1000, 12, 0, 0, 0, 0, 0, kCentred, 3}, {-400, 30}, {15, -20}, {-10, 33}, {25, 5},
          {-5, -38}, {-700, 20}, {-1000, 20}, {10, 0}},
         "JOY1_LEFT . . . . . . .", ""},
        {"digital pad, Y -129 at rest: X to -1000 first, then each direction",
         {nothing, {-1000, -129}, {0, -129}, {1000, -129}, {0, -129}, {0, -1000}, {0, -129},
          {0, 1000}, {0, -129}},
         "JOY1_LEFT JOY1_RIGHT JOY1_UP JOY1_DOWN . . . .", ""},
        {"two pedals at -1000 on X and Y, pressed and let up with travel, then in one read",
         {nothing, {-960, -1000}, {-500, -1000}, {0, -1000}, {600, -1000}, {1000, -1000},
          {1000, -1000}, {600, -1000}, {0, -1000}, {-500, -1000}, {-1000, -1000},
          {-1000, -1000, 0, 0, 0, 0, DIK_A}, {-1000, -940}, {-1000, -400}, {-1000, 100},
          {-1000, 700}, {-1000, 1000}, {-1000, 500}, {-1000, -100}, {-1000, -600}, {-1000, -1000},
          {1000, -1000}, {-1000, -1000}, {-1000, 1000}, {-1000, -1000},
          {-1000, -1000, 0, 0, 0, 0, DIK_Z}},
         "JOY1_RIGHT KEY_A JOY1_DOWN JOY1_RIGHT JOY1_DOWN KEY_Z . .", ""},
        {"one pedal at -1000, touched and let back before anything else",
         {nothing, {-960, 0}, {-1000, 0}, {-1000, 0, 0, 0, 0, 0, DIK_A}},
         "KEY_A . . . . . . .", ""},
        {"pedal at -1000 pressed fast, its first report caught past the middle",
         {nothing, {330, 0}, {1000, 0}, {1000, 0}, {200, 0}, {-1000, 0},
          {-1000, 0, 0, 0, 0, 0, DIK_A}},
         "JOY1_RIGHT KEY_A . . . . . .", ""},
        {"pedal whose first good read is -1000 (Windows)",
         {{-1000, 0}, {600, 0}, {1000, 0}},
         "JOY1_RIGHT . . . . . . .", ""},
        {"wheel, pedals at +1000 on Y, Z, Rx: a button, the gas, the clutch",
         {nothing, {3, 1000, 1000, 1000, 0, 1}, {-4, 1000, 1000, 1000}, {2, 1000, 400, 1000},
          {2, 1000, -300, 1000}, {2, 1000, -1000, 1000, 0, 0, 0, kCentred, 3},
          {2, 1000, -200, 1000}, {2, 1000, 600, 1000}, {2, 1000, 1000, 1000},
          {2, 1000, 1000, 1000, 0, 0, DIK_A}, {2, 300, 1000, 1000}, {2, -400, 1000, 1000},
          {2, -1000, 1000, 1000, 0, 0, 0, kCentred, 3}, {2, -300, 1000, 1000}, {2, 500, 1000, 1000},
          {2, 1000, 1000, 1000}, {2, 1000, 1000, 1000, 0, 0, DIK_S}},
         "JOY1_B1 KEY_A JOY1_UP KEY_S . . . .", "axis "},
        {"pad with triggers at -1000 on Rx and Ry: a button, a trigger, the hat",
         {nothing, {20, -30, 0, -1000, -1000, 1}, {20, -30, 0, -1000, -1000},
          {20, -30, 0, -400, -1000}, {20, -30, 0, 300, -1000}, {20, -30, 0, 1000, -1000},
          {20, -30, 0, 200, -1000}, {20, -30, 0, -1000, -1000},
          {20, -30, 0, -1000, -1000, 0, 0, 9000}, {20, -30, 0, -1000, -1000, 0, 0, kCentred, 60},
          {20, -30, 0, -1000, -1000, 0, DIK_A}},
         "JOY1_B1 KEY_A . . . . . .", "axis hat "},
        {"Xbox-style pad, triggers sharing Z: one pulled first, caught on its way, then the other",
         {nothing, {0, 25, -344, 31}, {0, 25, -996, 31}, {0, 0, 0, 0, 0, 0, 0, kCentred, 50},
          {0, 0, 996}, {0, 0, 0}, {0, 0, 0, 0, 0, 0, DIK_A}},
         "KEY_A . . . . . . .", "axis axis "},
        // clang-format on
    };
    for (const auto& trace : traces) {
        SCOPED_TRACE(trace.device);
        Replug();
        std::memset(g_bindingTable, 0, sizeof g_bindingTable);
        desktop.Focus(IDC_BINDING_UP);
        std::string messages;
        std::string line = desktop.Text(IDC_CONTROLLER);
        for (const Read& read : trace.reads) {
            std::memset(di.keyboard, 0, sizeof di.keyboard);
            di.keyboard[read.key] = read.key ? kDown : 0;
            di.joystick = {read.x,  read.y, read.z, read.rx,
                           read.ry, 0,      {0, 0}, {read.pov, kCentred, kCentred, kCentred},
                           {}};
            for (int n = 0; n < 32; ++n) {
                di.joystick.rgbButtons[n] = read.buttons >> n & 1 ? kDown : 0;
            }
            for (int i = 0; i < read.ticks; ++i) {
                CaptureStep(desktop.Dialog());
                const std::string now = desktop.Text(IDC_CONTROLLER);
                messages += now == line        ? ""
                            : now == kAxisText ? "axis "
                            : now == kHatText  ? "hat "
                                               : "";
                line = now;
            }
        }
        EXPECT_EQ(Table(), trace.table);
        EXPECT_EQ(messages, trace.messages);
    }
}

TEST_F(CaptureStepTest, OnlyTheSixVisibleFieldsAccept) {
    for (int focus : {IDOK, IDCANCEL, kNoFocus, IDC_BINDING_BUTTON3, IDC_BINDING_BUTTON4}) {
        SCOPED_TRACE(focus);
        Run({
            Keys({DIK_A}, kEmpty, focus, "0 _ 30", focus),
            Joy({0}, 0, 0, kEmpty, focus, "1 _ 4"),
            Keys({}, kEmpty, focus, "0 _ 0"),
        });
    }
}

TEST_F(CaptureStepTest, TheFocusStaysOnOkUntilTheFirstClick) {
    EXPECT_EQ(desktop.FocusedId(), IDOK);
    Run({
        Keys({DIK_A}, kEmpty, IDOK, "0 _ 30"),
        Keys({}, kEmpty, IDOK, "0 _ 0"),
        Keys({DIK_A}, "KEY_A . . . . . . .", 1004, "0 _ 30", 1003),
    });
}

TEST_F(CaptureStepTest, StoringTheSameBindingMovesTheFocusWithoutRewritingTheField) {
    g_bindingTable[1] = {0, DIK_A};
    Run({Keys({DIK_A}, ". KEY_A . . . . . .", 1005, "0 _ 30", 1004)});
    EXPECT_EQ(desktop.SetTextCalls(1004), 0);
}

TEST_F(CaptureStepTest, TheHiddenBindingsAreNeverWritten) {
    g_bindingTable[6] = {1, 9};
    g_bindingTable[7] = {0, 1};
    desktop.Focus(1003);
    // Six presses of Z fill the six visible fields and bring the focus back to UP.
    for (int tick = 0; tick < 12; ++tick) {
        di.keyboard[DIK_Z] = tick % 2 == 0 ? kDown : 0;
        CaptureStep(desktop.Dialog());
    }
    EXPECT_EQ(desktop.FocusedId(), 1003);
    EXPECT_EQ(Table(), "KEY_Z KEY_Z KEY_Z KEY_Z KEY_Z KEY_Z JOY1_B6 KEY_ESC");
    EXPECT_EQ(desktop.SetTextCalls(1009), 0);
    EXPECT_EQ(desktop.SetTextCalls(1010), 0);
}

TEST_F(CaptureStepTest, AFailingDeviceReadsAsNothingDown) {
    desktop.Focus(1003);
    di.keyboard[DIK_A] = kDown;
    di.Answer(fake::Op::GetDeviceState, fake::Target::Keyboard, DIERR_INPUTLOST);
    CaptureStep(desktop.Dialog());
    EXPECT_EQ(Table(), kEmpty);
    EXPECT_STREQ(desktop.Text(IDC_READOUT), "0 _ 0");
    CaptureStep(desktop.Dialog()); // re-acquired: A is seen now
    EXPECT_EQ(Table(), "KEY_A . . . . . . .");
}

// The controller line through one player's session, a step a row: what the player does, how
// many ticks follow, and what the line reads then. A message lasts 50 ticks; a move counts once,
// when it begins, and is measured from where the joystick rested when it was opened.
TEST_F(CaptureStepTest, TheControllerLineNamesTheJoystickOrWhatCannotBeBound) {
    const std::string& hat = kHatText;
    const std::string& axis = kAxisText;
    const std::string first = "コントローラー: Controller 0";
    const std::string second = "コントローラー: Controller 1";
    DIJOYSTATE& joy = di.joystick;
    const auto reopen = [this](std::size_t controller) {
        for (std::size_t i = 0; i < di.controllerCount; ++i) {
            di.controllers[i].attached = i == controller;
        }
        RescanJoystick(desktop.Dialog());
    };
    const struct {
        const char* what;
        std::function<void()> act;
        int ticks;
        std::string line;
    } steps[] = {
        {"opened at rest", [] {}, 1, first},
        {"hat pushed while OK has the focus", [&] { joy.rgdwPOV[0] = 9000; }, 1, first},
        {"UP waits, hat centred (low word)",
         [&] {
             desktop.Focus(IDC_BINDING_UP);
             joy.rgdwPOV[0] = 0x0000FFFF;
         },
         1, first},
        {"hat pushed up", [&] { joy.rgdwPOV[0] = 0; }, 50, hat},
        {"the message is over", [] {}, 1, first},
        {"hat centred, trigger half pulled",
         [&] {
             joy.rgdwPOV[0] = 0xFFFFFFFF;
             joy.lZ = 499;
         },
         1, first},
        {"right trigger fully pulled", [&] { joy.lZ = -996; }, 1, axis},
        {"trigger let go", [&] { joy.lZ = 0; }, 50, first},
        {"first slider", [&] { joy.rglSlider[0] = 1000; }, 1, axis},
        {"slider back", [&] { joy.rglSlider[0] = 0; }, 50, first},
        {"second slider", [&] { joy.rglSlider[1] = -1000; }, 1, axis},
        {"slider back", [&] { joy.rglSlider[1] = 0; }, 50, first},
        {"hat pushed with Tab held",
         [&] {
             di.keyboard[DIK_TAB] = kDown;
             joy.rgdwPOV[0] = 27000;
         },
         2, first},
        {"Tab let go, hat still pushed: that move began unseen", [&] { di.keyboard[DIK_TAB] = 0; },
         2, first},
        {"hat let go", [&] { joy.rgdwPOV[0] = 0xFFFFFFFF; }, 1, first},
        {"controller pulled out", [&] { di.controllers[0].attached = false; }, 2,
         "コントローラー: なし"},
        {"another plugged in",
         [&] {
             di.SetControllers({DI_OK, DI_OK});
             reopen(1);
         },
         1, second},
        {"pulled out", [&] { di.controllers[1].attached = false; }, 2, "コントローラー: なし"},
        {"the first again, its name unreadable",
         [&] {
             di.Answer(fake::Op::GetDeviceInfo, fake::Target::Joystick, DIERR_INVALIDPARAM);
             reopen(0);
         },
         1, "コントローラー: "},
        {"pulled out", [&] { di.controllers[0].attached = false; }, 2, "コントローラー: なし"},
        {"opened resting with the hat pushed and the trigger pulled",
         [&] {
             joy.rgdwPOV[0] = 18000;
             joy.lZ = -996;
             reopen(0);
         },
         3, first},
        {"hat let go; the trigger stays where it rested", [&] { joy.rgdwPOV[0] = 0xFFFFFFFF; }, 1,
         first},
        {"hat pushed anew", [&] { joy.rgdwPOV[0] = 9000; }, 1, hat},
        {"hat let go", [&] { joy.rgdwPOV[0] = 0xFFFFFFFF; }, 50, first},
        {"trigger let go halfway: 600 from its rest", [&] { joy.lZ = -396; }, 1, axis},
    };
    int changes = 1; // SetUp's tick wrote the name
    std::string shown = first;
    for (const auto& step : steps) {
        step.act();
        for (int i = 0; i < step.ticks; ++i) {
            CaptureStep(desktop.Dialog());
        }
        EXPECT_EQ(desktop.Text(IDC_CONTROLLER), step.line) << step.what;
        changes += step.line != shown;
        shown = step.line;
    }
    EXPECT_EQ(desktop.SetTextCalls(IDC_CONTROLLER), changes) << "set only when it changes";
    EXPECT_EQ(Table(), kEmpty);
}

} // namespace
