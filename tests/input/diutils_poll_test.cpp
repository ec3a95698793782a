// PollInput and PollMouse: what a tick reads, how each read error is answered and reported, how
// the devices come back after the dialog was behind another window, and what is never touched.
#include "device_layer_fixture.h"

#include <cstring>
#include <ostream>

namespace {

using fake::Op;
using fake::Target;

constexpr BYTE kDown = 0x80;
// The layer's bound on Acquire tries while the joystick answers DIERR_INPUTLOST.
constexpr int kMaxAcquireTries = 5;

class PollTest : public DeviceLayerTest {
  protected:
    // Set up, and one tick so that the joystick is acquired; then a clean record.
    void SetUp() override {
        DeviceLayerTest::SetUp();
        ASSERT_TRUE(Init());
        Input input;
        ASSERT_TRUE(PollInput(&input));
        di.ClearRecord();
        di.keyboard[DIK_A] = kDown;
        di.joystick.lX = -1000;
        di.joystick.lY = 1000;
        di.joystick.rgbButtons[31] = kDown;
    }

    // A snapshot full of a pattern, to see what the poll writes.
    static Input Garbage() {
        Input input;
        std::memset(&input, 0xCC, sizeof input);
        return input;
    }
    static bool Zero(const void* data, std::size_t size) {
        const BYTE* bytes = static_cast<const BYTE*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            if (bytes[i] != 0) {
                return false;
            }
        }
        return true;
    }
};

TEST_F(PollTest, ReadsJoystickThenKeyboard) {
    Input input = Garbage();
    EXPECT_TRUE(PollInput(&input));
    EXPECT_EQ(di.Trace(),
              (Strings{"Joystick.Poll", "Joystick.GetDeviceState", "Joystick.GetDeviceData",
                       "Keyboard.GetDeviceState", "Keyboard.GetDeviceData"}));
    EXPECT_EQ(di.calls[1].arg, sizeof(DIJOYSTATE));
    EXPECT_EQ(di.calls[3].arg, 256u);
    EXPECT_EQ(input.joystick.lX, -1000);
    EXPECT_EQ(input.joystick.lY, 1000);
    EXPECT_EQ(input.joystick.rgbButtons[31], kDown);
    EXPECT_EQ(input.keyboard[DIK_A], kDown);
    EXPECT_EQ(input.keyboard[DIK_S], 0);
}

TEST_F(PollTest, FirstPollAcquiresTheJoystick) {
    ReleaseInput();
    ASSERT_TRUE(Init());
    di.ClearRecord();
    Input input = {};
    EXPECT_TRUE(PollInput(&input));
    EXPECT_EQ(di.Trace(), (Strings{"Joystick.Poll", "Joystick.Acquire", "Joystick.GetDeviceState",
                                   "Joystick.GetDeviceData", "Keyboard.GetDeviceState",
                                   "Keyboard.GetDeviceData"}));
    EXPECT_EQ(input.joystick.lX, -1000);
}

struct ReadError {
    HRESULT result;
    Strings trace; // calls and messages of the failing read, before the other device's read
};

const char* ResultName(HRESULT result) {
    switch (result) {
    case DIERR_INPUTLOST:
        return "INPUTLOST";
    case DIERR_INVALIDPARAM:
        return "INVALIDPARAM";
    case DIERR_NOTACQUIRED:
        return "NOTACQUIRED";
    case DIERR_NOTINITIALIZED:
        return "NOTINITIALIZED";
    case DIERR_OTHERAPPHASPRIO:
        return "OTHERAPPHASPRIO";
    default:
        return "Other";
    }
}

void PrintTo(const ReadError& error, std::ostream* out) {
    *out << ResultName(error.result);
}

std::string ReadErrorName(const ::testing::TestParamInfo<ReadError>& error) {
    return ResultName(error.param.result);
}

class JoystickReadErrorTest : public PollTest, public ::testing::WithParamInterface<ReadError> {};

TEST_P(JoystickReadErrorTest, ReportsZeroesAndStillReadsTheKeyboard) {
    const ReadError& error = GetParam();
    di.Answer(Op::GetDeviceState, Target::Joystick, error.result);
    Input input = Garbage();
    EXPECT_FALSE(PollInput(&input));

    Strings expected = {"Joystick.Poll", "Joystick.GetDeviceState"};
    expected.insert(expected.end(), error.trace.begin(), error.trace.end());
    expected.insert(expected.end(), {"Keyboard.GetDeviceState", "Keyboard.GetDeviceData"});
    EXPECT_EQ(di.Trace(), expected);
    EXPECT_TRUE(Zero(&input.joystick, sizeof input.joystick));
    EXPECT_EQ(input.keyboard[DIK_A], kDown);

    // The next tick reads again.
    di.ClearRecord();
    EXPECT_TRUE(PollInput(&input));
    EXPECT_EQ(input.joystick.lX, -1000);
}

INSTANTIATE_TEST_SUITE_P(
    EachResult, JoystickReadErrorTest,
    ::testing::Values(
        ReadError{DIERR_INPUTLOST, {"Joystick.Acquire", "\nジョイスティック状態取得失敗\n\n"}},
        ReadError{DIERR_INVALIDPARAM,
                  {"\nDIERR_INVALIDPARAM\n\n", "\nジョイスティック状態取得失敗\n\n"}},
        ReadError{
            DIERR_NOTACQUIRED,
            {"Joystick.Acquire", "\nDIERR_NOTACQUIRED\n\n", "\nジョイスティック状態取得失敗\n\n"}},
        ReadError{DIERR_NOTINITIALIZED,
                  {"\nDIERR_NOTINITIALIZED\n\n", "\nジョイスティック状態取得失敗\n\n"}},
        ReadError{DIERR_GENERIC, {"\nジョイスティック状態取得失敗\n\n"}},
        ReadError{DIERR_OTHERAPPHASPRIO, {"\nジョイスティック状態取得失敗\n\n"}}),
    ReadErrorName);

class KeyboardReadErrorTest : public PollTest, public ::testing::WithParamInterface<ReadError> {};

TEST_P(KeyboardReadErrorTest, ReportsZeroesAndKeepsTheJoystick) {
    const ReadError& error = GetParam();
    di.Answer(Op::GetDeviceState, Target::Keyboard, error.result);
    Input input = Garbage();
    EXPECT_FALSE(PollInput(&input));

    Strings expected = {"Joystick.Poll", "Joystick.GetDeviceState", "Joystick.GetDeviceData",
                        "Keyboard.GetDeviceState"};
    expected.insert(expected.end(), error.trace.begin(), error.trace.end());
    EXPECT_EQ(di.Trace(), expected);
    EXPECT_TRUE(Zero(input.keyboard, sizeof input.keyboard));
    EXPECT_EQ(input.joystick.lX, -1000);

    di.ClearRecord();
    EXPECT_TRUE(PollInput(&input));
    EXPECT_EQ(input.keyboard[DIK_A], kDown);
}

INSTANTIATE_TEST_SUITE_P(
    EachResult, KeyboardReadErrorTest,
    ::testing::Values(
        ReadError{DIERR_INPUTLOST, {"Keyboard.Acquire", "\nキーボード状態取得失敗\n\n"}},
        ReadError{DIERR_NOTACQUIRED, {"Keyboard.Acquire", "\nキーボード状態取得失敗\n\n"}},
        ReadError{DIERR_INVALIDPARAM, {"\nキーボード状態取得失敗\n\n"}},
        ReadError{DIERR_NOTINITIALIZED, {"\nキーボード状態取得失敗\n\n"}},
        ReadError{DIERR_GENERIC, {"\nキーボード状態取得失敗\n\n"}}),
    ReadErrorName);

TEST_F(PollTest, BothReadsFailingReportBoth) {
    di.Answer(Op::GetDeviceState, Target::Joystick, DIERR_GENERIC);
    di.Answer(Op::GetDeviceState, Target::Keyboard, DIERR_GENERIC);
    Input input = Garbage();
    EXPECT_FALSE(PollInput(&input));
    EXPECT_EQ(Messages(),
              (Strings{"\nジョイスティック状態取得失敗\n\n", "\nキーボード状態取得失敗\n\n"}));
    EXPECT_TRUE(Zero(&input.joystick, sizeof input.joystick));
    EXPECT_TRUE(Zero(input.keyboard, sizeof input.keyboard));
}

TEST_F(PollTest, FailedJoystickPollReacquiresBeforeReading) {
    di.Answer(Op::Poll, Target::Joystick, DIERR_INPUTLOST);
    Input input = {};
    EXPECT_TRUE(PollInput(&input));
    EXPECT_EQ(di.Trace(), (Strings{"Joystick.Poll", "Joystick.Acquire", "Joystick.GetDeviceState",
                                   "Joystick.GetDeviceData", "Keyboard.GetDeviceState",
                                   "Keyboard.GetDeviceData"}));
}

TEST_F(PollTest, AcquireIsRetriedWhileInputIsLost) {
    di.LoseInput(Target::Joystick);
    di.Answer(Op::Acquire, Target::Joystick, DIERR_INPUTLOST, 2);
    Input input = {};
    EXPECT_TRUE(PollInput(&input));
    EXPECT_EQ(di.Count(Op::Acquire, Target::Joystick), 3);
    EXPECT_EQ(input.joystick.lX, -1000);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(PollTest, AcquireRetriesAreBoundedWhenInputStaysLost) {
    di.LoseInput(Target::Joystick);
    di.AnswerAlways(Op::Acquire, Target::Joystick, DIERR_INPUTLOST);
    for (int tick = 1; tick <= 3; ++tick) {
        di.ClearRecord();
        Input input = {};
        EXPECT_FALSE(PollInput(&input));
        // The bounded tries after Poll, then one more for the read that found it unacquired.
        EXPECT_EQ(di.Count(Op::Acquire, Target::Joystick), kMaxAcquireTries + 1) << tick;
        EXPECT_EQ(input.keyboard[DIK_A], kDown) << "the keyboard is still read";
    }
}

TEST_F(PollTest, AcquireIsNotRetriedForOtherFailures) {
    di.SetForeground(false);
    Input input = {};
    EXPECT_FALSE(PollInput(&input));
    EXPECT_EQ(di.Trace(), (Strings{
                              "Joystick.Poll",    // answers DIERR_INPUTLOST
                              "Joystick.Acquire", // answers DIERR_OTHERAPPHASPRIO
                              "Joystick.GetDeviceState",
                              "Joystick.Acquire",
                              "\nジョイスティック状態取得失敗\n\n",
                              "Keyboard.GetDeviceState",
                              "Keyboard.Acquire",
                              "\nキーボード状態取得失敗\n\n",
                          }));
}

// The dialog loses the foreground (to the message box of a first start, or to any other window)
// and gets it back: both devices read again from the first tick on which they can be acquired.
TEST_F(PollTest, DevicesComeBackWhenTheWindowIsInFrontAgain) {
    di.SetForeground(false);
    for (int tick = 0; tick < 3; ++tick) {
        Input input = {};
        EXPECT_FALSE(PollInput(&input));
        EXPECT_EQ(input.keyboard[DIK_A], 0);
        EXPECT_EQ(input.joystick.lX, 0);
    }
    EXPECT_FALSE(di.Find(Target::Keyboard)->acquired);

    di.SetForeground(true);
    di.ClearRecord();
    Input input = {};
    EXPECT_FALSE(PollInput(&input)) << "the keyboard read of this tick found it unacquired";
    EXPECT_EQ(input.joystick.lX, -1000) << "Poll failed, so the joystick was acquired first";
    EXPECT_EQ(Messages(), Strings{"\nキーボード状態取得失敗\n\n"});
    EXPECT_TRUE(di.Find(Target::Keyboard)->acquired);

    di.ClearRecord();
    EXPECT_TRUE(PollInput(&input));
    EXPECT_EQ(input.keyboard[DIK_A], kDown);
    EXPECT_TRUE(Messages().empty());
}

// Windows answers DIERR_INPUTLOST once when a device is taken away.
TEST_F(PollTest, KeyboardComesBackAfterLostInput) {
    di.LoseInput(Target::Keyboard);
    Input input = {};
    EXPECT_FALSE(PollInput(&input));
    EXPECT_EQ(di.calls[di.callCount - 1].op, Op::Acquire);
    EXPECT_EQ(di.calls[di.callCount - 1].result, DI_OK);
    EXPECT_TRUE(PollInput(&input));
    EXPECT_EQ(input.keyboard[DIK_A], kDown);
}

// Key A or joystick button 3 between two polls: v goes down, ^ up, ! another is tapped until the
// buffer overflows, < the window goes behind for a poll and a second one brings the device back.
// A press reads as down at the next poll that follows a read, once, with kPressedSinceLastPoll.
TEST_F(PollTest, WhatWentDownSinceTheLastPollReadsAsDown) {
    constexpr BYTE kNew = kDown | kPressedSinceLastPoll;
    const struct {
        Target target;
        const char* steps[2];
        BYTE polled[2];
    } cases[] = {
        {Target::Keyboard, {"v^", ""}, {kNew, 0}},     // a tap within a tick
        {Target::Keyboard, {"v", "^"}, {kNew, 0}},     // a tap across two ticks
        {Target::Keyboard, {"v^v^", ""}, {kNew, 0}},   // two taps within a tick
        {Target::Keyboard, {"v", "^v"}, {kNew, kNew}}, // let go and pressed again
        {Target::Keyboard, {"v^!", "v^"}, {0, kNew}},  // an overflow: the state alone
        {Target::Keyboard, {"v^<", "v^"}, {0, kNew}},  // pressed before the window went behind
        {Target::Joystick, {"v^", ""}, {kNew, 0}},     // a button tapped within a tick
    };
    di.keyboard[DIK_A] = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.steps[0] << " / " << c.steps[1]);
        const DWORD offset = c.target == Target::Keyboard ? DIK_A : DIJOFS_BUTTON(3);
        Input input;
        for (int poll = 0; poll < 2; ++poll) {
            for (const char* step = c.steps[poll]; *step; ++step) {
                if (*step == '<') {
                    di.SetForeground(false);
                    PollInput(&input); // input lost
                    di.SetForeground(true);
                    PollInput(&input); // not acquired: acquired again
                    continue;
                }
                for (int i = 0; i < (*step == '!' ? 600 : 1); ++i) {
                    const bool down = *step == '!' ? i % 2 == 0 : *step == 'v';
                    di.Change(c.target, offset + (*step == '!'), down ? kDown : 0);
                }
            }
            EXPECT_TRUE(PollInput(&input));
            const BYTE* state = c.target == Target::Keyboard
                                    ? input.keyboard
                                    : reinterpret_cast<const BYTE*>(&input.joystick);
            EXPECT_EQ(state[offset], c.polled[poll]) << "poll " << poll;
            EXPECT_EQ(state[offset + 1], 0) << "poll " << poll;
        }
        di.Change(c.target, offset, 0);
        PollInput(&input);
    }
}

TEST_F(PollTest, ToggleKeysAlwaysReadAsUp) {
    std::memset(di.keyboard, kDown, sizeof di.keyboard);
    Input input = {};
    EXPECT_TRUE(PollInput(&input));
    for (int code = 0; code < 256; ++code) {
        const bool toggle =
            code == DIK_CAPITAL || code == DIK_NUMLOCK || code == DIK_KANA || code == DIK_KANJI;
        EXPECT_EQ(input.keyboard[code], toggle ? 0 : kDown) << "key 0x" << std::hex << code;
    }
}

TEST_F(PollTest, MouseFieldIsNeverTouched) {
    struct Case {
        const char* what;
        void (*arrange)(fake::DirectInput&);
    };
    const Case cases[] = {
        {"read", [](fake::DirectInput&) {}},
        {"failed reads",
         [](fake::DirectInput& d) {
             d.Answer(Op::GetDeviceState, Target::Joystick, DIERR_GENERIC);
             d.Answer(Op::GetDeviceState, Target::Keyboard, DIERR_GENERIC);
         }},
        {"released", [](fake::DirectInput&) { ReleaseInput(); }},
    };
    di.mouse = {7, 8, 9, {kDown, kDown, kDown, kDown}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange(di);
        Input input = Garbage();
        PollInput(&input);
        const BYTE* mouse = reinterpret_cast<const BYTE*>(&input.mouse);
        for (std::size_t i = 0; i < sizeof input.mouse; ++i) {
            EXPECT_EQ(mouse[i], 0xCC) << "byte " << i;
        }
    }
    EXPECT_EQ(di.Count(Op::GetDeviceState, Target::Mouse), 0);
}

TEST_F(PollTest, AfterReleaseEveryPollSaysNotInitialisedAndZeroes) {
    ReleaseInput();
    di.ClearRecord();
    Input input = Garbage();
    EXPECT_FALSE(PollInput(&input));
    EXPECT_EQ(Messages(), (Strings{"\nジョイスティック未初期化\n\n", "\nキーボード未初期化\n\n"}));
    EXPECT_TRUE(Zero(&input.joystick, sizeof input.joystick));
    EXPECT_TRUE(Zero(input.keyboard, sizeof input.keyboard));
    EXPECT_EQ(di.callCount, 0u);
}

TEST_F(PollTest, PollMouseReadsTheMouse) {
    di.mouse = {-3, 4, 120, {kDown, 0, 0, kDown}};
    DIMOUSESTATE mouse;
    std::memset(&mouse, 0xCC, sizeof mouse);
    EXPECT_TRUE(PollMouse(&mouse));
    EXPECT_EQ(std::memcmp(&mouse, &di.mouse, sizeof mouse), 0);
    EXPECT_EQ(di.Trace(), Strings{"Mouse.GetDeviceState"});
    EXPECT_EQ(di.calls[0].arg, sizeof(DIMOUSESTATE));
}

TEST_F(PollTest, PollMouseReportsAndReacquiresLikeTheKeyboard) {
    struct Case {
        HRESULT result;
        bool reacquires;
    };
    const Case cases[] = {{DIERR_INPUTLOST, true},
                          {DIERR_NOTACQUIRED, true},
                          {DIERR_INVALIDPARAM, false},
                          {DIERR_GENERIC, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.result);
        di.ClearRecord();
        di.Answer(Op::GetDeviceState, Target::Mouse, c.result);
        DIMOUSESTATE mouse;
        std::memset(&mouse, 0xCC, sizeof mouse);
        EXPECT_FALSE(PollMouse(&mouse));
        EXPECT_TRUE(Zero(&mouse, sizeof mouse));
        EXPECT_EQ(Messages(), Strings{"\nマウス状態取得失敗\n\n"});
        EXPECT_EQ(di.Count(Op::Acquire, Target::Mouse), c.reacquires ? 1 : 0);
    }
    ReleaseInput();
    di.ClearRecord();
    DIMOUSESTATE mouse;
    EXPECT_FALSE(PollMouse(&mouse));
    EXPECT_EQ(Messages(), Strings{"\nマウス未初期化\n\n"});
}

} // namespace
