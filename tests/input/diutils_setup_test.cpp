// InitInput: what it creates and configures, how each failing step is reported and cleaned up,
// which game controller becomes the joystick, and the ranges given to its axes.
#include "device_layer_fixture.h"

#include "input/data_formats.h"

#include <cstring>

namespace {

using fake::Op;
using fake::Target;

constexpr DWORD kX = DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(0);
constexpr DWORD kY = DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(1);
constexpr DWORD kZ = DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(2);
constexpr DWORD kWheel = DIDFT_RELAXIS | DIDFT_MAKEINSTANCE(3);
constexpr DWORD kButton0 = DIDFT_PSHBUTTON | DIDFT_MAKEINSTANCE(0);
constexpr DWORD kToggle1 = DIDFT_TGLBUTTON | DIDFT_MAKEINSTANCE(1);
constexpr DWORD kHat = DIDFT_POV | DIDFT_MAKEINSTANCE(0);

class SetupTest : public DeviceLayerTest {};

// After a failed or missing set-up every poll says so and nothing reaches DirectInput.
void ExpectLayerEmpty(fake::DirectInput& di) {
    di.ClearRecord();
    Input input = {};
    EXPECT_FALSE(PollInput(&input));
    AcquireAllDevices();
    EXPECT_EQ(
        fake::TheDesktop().DebugMessages(),
        (Strings{"\nジョイスティック未初期化\n\n", "\nキーボード未初期化\n\n",
                 "\nデバイス未初期化\n\n", "\nデバイス未初期化\n\n", "\nデバイス未初期化\n\n"}));
    EXPECT_EQ(di.callCount, 0u);
}

TEST_F(SetupTest, CreatesConfiguresAndAcquiresInOrder) {
    ASSERT_TRUE(Init());
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(di.Trace(), (Strings{
                              "DirectInput8Create",
                              "DirectInput.EnumDevices",
                              "CreateDevice(Controller 0)",
                              "Joystick.SetDataFormat",
                              "Joystick.SetCooperativeLevel",
                              "Joystick.EnumObjects",
                              "Joystick.SetProperty", // X
                              "Joystick.SetProperty", // Y
                              "Joystick.SetProperty", // Z
                              "Joystick.SetProperty", // the buffer
                              "Joystick.GetDeviceInfo",
                              "CreateDevice(Keyboard)",
                              "Keyboard.SetDataFormat",
                              "Keyboard.SetCooperativeLevel",
                              "Keyboard.SetProperty", // the buffer, before Acquire
                              "Keyboard.Acquire",
                              "CreateDevice(Mouse)",
                              "Mouse.SetDataFormat",
                              "Mouse.SetCooperativeLevel",
                              "Mouse.Acquire",
                          }));
    EXPECT_EQ(di.calls[0].arg, DWORD{0x0800}) << "DirectInput version";
    EXPECT_EQ(di.calls[1].arg, DWORD{DI8DEVCLASS_GAMECTRL});
    EXPECT_EQ(di.ObjectsCreated(), 1);
    EXPECT_EQ(di.Held(), 4);

    struct Expected {
        Target kind;
        const DIDATAFORMAT* format;
        DWORD level;
        bool acquired;
    };
    const Expected expected[] = {
        {Target::Joystick, DataFormat(FORMAT_JOYSTICK), DISCL_EXCLUSIVE | DISCL_FOREGROUND, false},
        {Target::Keyboard, DataFormat(FORMAT_KEYBOARD), DISCL_NONEXCLUSIVE | DISCL_FOREGROUND,
         true},
        {Target::Mouse, DataFormat(FORMAT_MOUSE), DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, true},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(fake::Name(e.kind));
        const fake::Device* device = di.Find(e.kind);
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(device->format, e.format);
        EXPECT_EQ(device->window, Window());
        EXPECT_EQ(device->cooperativeLevel, e.level);
        EXPECT_EQ(device->acquired, e.acquired);
    }
}

// The formats the layer builds; keyconfig_format_check compares them with MinGW's under Wine.
TEST_F(SetupTest, PredefinedFormatsHaveDirectInputsLayout) {
    BuildDataFormats();
    const DIDATAFORMAT& c_dfDIJoystick = *DataFormat(FORMAT_JOYSTICK);
    const DIDATAFORMAT& c_dfDIKeyboard = *DataFormat(FORMAT_KEYBOARD);
    const DIDATAFORMAT& c_dfDIMouse = *DataFormat(FORMAT_MOUSE);
    EXPECT_EQ(c_dfDIJoystick.dwFlags, DWORD{DIDF_ABSAXIS});
    EXPECT_EQ(c_dfDIJoystick.dwDataSize, 80u);
    EXPECT_EQ(c_dfDIJoystick.dwNumObjs, 44u);
    EXPECT_EQ(c_dfDIKeyboard.dwFlags, DWORD{DIDF_RELAXIS});
    EXPECT_EQ(c_dfDIKeyboard.dwDataSize, 256u);
    EXPECT_EQ(c_dfDIKeyboard.dwNumObjs, 256u);
    EXPECT_EQ(c_dfDIMouse.dwFlags, DWORD{DIDF_RELAXIS});
    EXPECT_EQ(c_dfDIMouse.dwDataSize, 16u);
    EXPECT_EQ(c_dfDIMouse.dwNumObjs, 7u);
    // Every object lies inside the state it describes.
    for (const DIDATAFORMAT* format : {&c_dfDIJoystick, &c_dfDIKeyboard, &c_dfDIMouse}) {
        for (DWORD i = 0; i < format->dwNumObjs; ++i) {
            EXPECT_LT(format->rgodf[i].dwOfs, format->dwDataSize);
        }
    }
}

TEST_F(SetupTest, AWindowBehindOthersLeavesKeyboardAndMouseWaitingToBeAcquired) {
    di.SetForeground(false);
    ASSERT_TRUE(Init());
    EXPECT_FALSE(di.Find(Target::Keyboard)->acquired);
    EXPECT_FALSE(di.Find(Target::Mouse)->acquired);
    EXPECT_TRUE(Messages().empty());
}

class SetupFailureTest : public SetupTest, public ::testing::WithParamInterface<SetupFailure> {};

TEST_P(SetupFailureTest, ReportsReleasesWhatItMustAndCanStartAgain) {
    const SetupFailure& failure = GetParam();
    di.Answer(failure.op, failure.target, failure.result);

    EXPECT_FALSE(Init());
    EXPECT_EQ(Messages(), failure.messages);
    EXPECT_EQ(di.Held(), failure.held);

    // Set-up stopped at the failing call: only releases follow it until the last message, which
    // ends the set-up unless only the joystick failed.
    std::size_t failed = di.callCount;
    for (std::size_t i = 0; i < di.callCount; ++i) {
        if (di.calls[i].op == failure.op && di.calls[i].target == failure.target) {
            failed = i;
        }
    }
    ASSERT_LT(failed, di.callCount) << "the scripted call was never made";
    EXPECT_EQ(di.calls[failed].result, failure.result);
    for (std::size_t i = failed + 1; i < di.callCount; ++i) {
        EXPECT_TRUE(di.calls[i].debugCount == failure.messages.size() ||
                    di.calls[i].op == Op::Release || di.calls[i].op == Op::Unacquire)
            << "after the failure: " << fake::Name(di.calls[i].target) << "."
            << fake::Name(di.calls[i].op);
    }
    if (failure.held == 0) {
        EXPECT_EQ(di.Trace().back(), failure.messages.back());
        ExpectLayerEmpty(di);
    } else {
        // The keyboard and mouse are held, and a look can still find the controller.
        EXPECT_FALSE(HasJoystick());
        RescanJoystick(Window());
        EXPECT_TRUE(HasJoystick());
    }

    di.ClearRecord();
    EXPECT_TRUE(Init());
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(di.Held(), 4);
}

INSTANTIATE_TEST_SUITE_P(EachStep, SetupFailureTest, ::testing::ValuesIn(SetupFailures()),
                         SetupFailureName);

TEST_F(SetupTest, KeyboardFailureReleasesItThenEverythingElseObjectLast) {
    di.Answer(Op::SetDataFormat, Target::Keyboard, DIERR_INVALIDPARAM);
    EXPECT_FALSE(Init());
    const Strings trace = di.Trace();
    const Strings tail(trace.end() - 8, trace.end());
    EXPECT_EQ(tail, (Strings{
                        "Keyboard.SetDataFormat",
                        "Keyboard.Unacquire",
                        "Keyboard.Release",
                        "\nDirectInputデータフォーマット設定失敗\n\n",
                        "Joystick.Unacquire",
                        "Joystick.Release",
                        "DirectInput.Release",
                        "\nキーボード初期化失敗\n\n",
                    }));
}

TEST_F(SetupTest, MouseFailureReleasesTheKeyboardAndJoystickToo) {
    di.Answer(Op::SetCooperativeLevel, Target::Mouse, DIERR_GENERIC);
    EXPECT_FALSE(Init());
    const Strings trace = di.Trace();
    const Strings tail(trace.end() - 10, trace.end());
    EXPECT_EQ(tail, (Strings{
                        "Mouse.SetCooperativeLevel",
                        "Mouse.Unacquire",
                        "Mouse.Release",
                        "\nDirectInput協調レベル設定失敗\n\n",
                        "Keyboard.Unacquire",
                        "Keyboard.Release",
                        "Joystick.Unacquire",
                        "Joystick.Release",
                        "DirectInput.Release",
                        "\nマウス初期化失敗\n\n",
                    }));
}

TEST_F(SetupTest, JoystickStepsFailOnlyOnNegativeResults) {
    di.Answer(Op::SetDataFormat, Target::Joystick, DI_NOEFFECT);
    di.Answer(Op::SetCooperativeLevel, Target::Joystick, DI_NOEFFECT);
    di.Answer(Op::EnumObjects, Target::Joystick, DI_NOEFFECT);
    di.Answer(Op::EnumDevices, Target::DirectInput, DI_NOEFFECT);
    EXPECT_TRUE(Init());
    EXPECT_TRUE(Messages().empty());
}

TEST_F(SetupTest, NoControllerMeansNoJoystickAndStillSucceeds) {
    di.SetControllers({});
    ASSERT_TRUE(Init());
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(di.Find(Target::Joystick), nullptr);
    EXPECT_EQ(di.Count(Op::CreateDevice, Target::Joystick), 0);
    EXPECT_EQ(di.Held(), 3);

    di.ClearRecord();
    di.keyboard[DIK_S] = 0x80;
    for (int tick = 0; tick < 3; ++tick) {
        Input input;
        std::memset(&input.joystick, 0xCC, sizeof input.joystick);
        EXPECT_FALSE(PollInput(&input));
        EXPECT_EQ(input.keyboard[DIK_S], 0x80);
        const DIJOYSTATE zero = {};
        EXPECT_EQ(std::memcmp(&input.joystick, &zero, sizeof zero), 0);
    }
    EXPECT_EQ(Messages(), Strings(3, "\nジョイスティック未初期化\n\n"));
}

TEST_F(SetupTest, ControllersThatCannotBeCreatedAreSkipped) {
    di.SetControllers({DIERR_GENERIC, DI_OK, DI_OK});
    ASSERT_TRUE(Init());
    const Strings trace = di.Trace();
    EXPECT_EQ(Strings(trace.begin() + 1, trace.begin() + 5),
              (Strings{"DirectInput.EnumDevices", "CreateDevice(Controller 0)",
                       "CreateDevice(Controller 1)", "Joystick.SetDataFormat"}));
    EXPECT_EQ(di.Count(Op::CreateDevice, Target::Joystick), 2) << "controller 2 left alone";
    ASSERT_NE(di.Find(Target::Joystick), nullptr);
    EXPECT_EQ(di.Find(Target::Joystick)->controller, 1);
    EXPECT_EQ(di.DevicesCreated(), 3) << "the failed controller created nothing";

    di.ClearRecord();
    di.joystick.rgbButtons[5] = 0x80;
    Input input = {};
    PollInput(&input);
    EXPECT_EQ(input.joystick.rgbButtons[5], 0x80);
    for (std::size_t i = 0; i < di.callCount; ++i) {
        if (di.calls[i].target == Target::Joystick) {
            EXPECT_EQ(di.calls[i].controller, 1);
        }
    }
}

TEST_F(SetupTest, NoControllerThatCanBeCreatedMeansNoJoystick) {
    di.SetControllers({DIERR_GENERIC, DIERR_DEVICENOTREG});
    ASSERT_TRUE(Init());
    EXPECT_EQ(di.Find(Target::Joystick), nullptr);
    EXPECT_EQ(di.Count(Op::CreateDevice, Target::Joystick), 2);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(SetupTest, OnlyAttachedControllersAreConsidered) {
    di.SetControllers({DI_OK, DI_OK});
    di.controllers[0].attached = false;
    ASSERT_TRUE(Init());
    ASSERT_NE(di.Find(Target::Joystick), nullptr);
    EXPECT_EQ(di.Find(Target::Joystick)->controller, 1);
    EXPECT_EQ(di.Count(Op::CreateDevice, Target::Joystick), 1);
}

TEST_F(SetupTest, EveryAxisGetsTheFullDeflectionRange) {
    di.SetObjects({kX, kButton0, kY, kHat, kWheel, kToggle1, kZ});
    ASSERT_TRUE(Init());
    for (std::size_t i = 0; i < di.objectCount; ++i) {
        const fake::JoystickObject& object = di.objects[i];
        SCOPED_TRACE(testing::Message() << "object type 0x" << std::hex << object.dwType);
        const bool axis = (object.dwType & DIDFT_AXIS) != 0;
        EXPECT_EQ(object.rangeSet, axis);
        if (axis) {
            EXPECT_EQ(object.lMin, -1000);
            EXPECT_EQ(object.lMax, 1000);
        }
    }
    std::vector<DWORD> named;
    for (std::size_t i = 0; i < di.callCount; ++i) {
        if (di.calls[i].op == Op::SetProperty) {
            named.push_back(di.calls[i].arg);
            EXPECT_EQ(di.calls[i].result, DI_OK);
        }
    }
    EXPECT_EQ(named, (std::vector<DWORD>{kX, kY, kWheel, kZ, 0, 0})) << "then two buffers";
}

struct PropertyFailure {
    int failingAxis; // 0-based among the axes
    std::vector<bool> rangeSet;
};

class AxisRangeFailureTest : public SetupTest,
                             public ::testing::WithParamInterface<PropertyFailure> {};

TEST_P(AxisRangeFailureTest, StopsGivingRangesButSetUpSucceeds) {
    const PropertyFailure& failure = GetParam();
    di.SetObjects({kX, kButton0, kY, kZ});
    for (int i = 0; i < failure.failingAxis; ++i) {
        di.Answer(Op::SetProperty, Target::Joystick, DI_OK);
    }
    di.Answer(Op::SetProperty, Target::Joystick, DIERR_INVALIDPARAM);

    ASSERT_TRUE(Init());
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(di.Count(Op::SetProperty, Target::Joystick), failure.failingAxis + 2) << "+ buffer";
    const DWORD axes[] = {kX, kY, kZ};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(di.FindObject(axes[i])->rangeSet, failure.rangeSet[i]) << "axis " << i;
    }
    EXPECT_FALSE(di.FindObject(kButton0)->rangeSet);
}

INSTANTIATE_TEST_SUITE_P(EachAxis, AxisRangeFailureTest,
                         ::testing::Values(PropertyFailure{0, {false, false, false}},
                                           PropertyFailure{1, {true, false, false}},
                                           PropertyFailure{2, {true, true, false}}));

TEST_F(SetupTest, SecondInitReleasesTheFirstSetUp) {
    ASSERT_TRUE(Init());
    ASSERT_TRUE(Init());
    EXPECT_EQ(di.ObjectsCreated(), 2);
    EXPECT_EQ(di.DevicesCreated(), 6);
    EXPECT_EQ(di.Held(), 4) << "one object and three devices, not two sets";
}

TEST_F(SetupTest, WithoutSetUpPollsSayWhatIsMissing) {
    ExpectLayerEmpty(di);
}

} // namespace
