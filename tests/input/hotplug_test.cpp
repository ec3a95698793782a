// Controllers plugged in and pulled out while the dialog runs: device-change hints, the rescan
// timers (handed to the layer as the dialog does), and what capture and the poll see afterwards.
#include "device_layer_fixture.h"

#include "capture/binding_name.h"
#include "capture/capture.h"
#include "input/hotplug.h"
#include "resources/resource.h"

namespace {

using fake::Op;
using fake::Target;

constexpr BYTE kDown = 0x80;
constexpr const char* kNoJoystick = "\nジョイスティック未初期化\n\n";

class HotplugTest : public DeviceLayerTest {
  protected:
    // Moves the clock on by ms, handing the timers that fall due to the layer.
    static void Wait(DWORD ms) {
        fake::TheDesktop().RunTimers(ms,
                                     [](UINT_PTR id) { EXPECT_TRUE(OnRescanTimer(Window(), id)); });
    }
    static void Hints(int count) {
        for (int i = 0; i < count; ++i) {
            OnDeviceChangeHint(Window());
            Wait(50);
        }
    }
    int Looks() const { return di.Count(Op::EnumDevices, Target::DirectInput); }
    static void Poll() {
        Input input;
        PollInput(&input);
    }
};

TEST_F(HotplugTest, ControllerPluggedInLaterIsFoundAfterHintsAndDroppedWhenPulledOut) {
    di.SetControllers({});
    InitAndClear();
    Wait(10000);
    EXPECT_EQ(Looks(), 0) << "no look without a hint";

    // Ten hints 50 ms apart: one look 300 ms after the last, none inside the handler.
    di.SetControllers({DI_OK});
    Hints(10);
    EXPECT_EQ(Looks(), 0);
    Wait(250);
    EXPECT_EQ(Looks(), 1);
    ASSERT_TRUE(HasJoystick());
    Wait(5000);
    EXPECT_EQ(Looks(), 1) << "the later look finds the joystick open";
    Hints(10);
    Wait(5000);
    EXPECT_EQ(Looks(), 1) << "hints while a joystick is open";

    // A held button binds.
    std::fill(std::begin(g_bindingTable), std::end(g_bindingTable), kNoBinding);
    CaptureStep(Window());
    fake::TheDesktop().Focus(IDC_BINDING_UP);
    di.joystick.rgbButtons[0] = kDown;
    CaptureStep(Window());
    EXPECT_STREQ(FormatBindingName(g_bindingTable[0]).text, "JOY1_B1");

    // Pulled out: dropped on the next read, then polled as no controller, the keyboard read on.
    di.controllers[0].attached = false;
    di.keyboard[DIK_A] = kDown;
    di.ClearRecord();
    Poll();
    EXPECT_FALSE(HasJoystick());
    EXPECT_EQ(di.Trace(), (Strings{"Joystick.Poll", "Joystick.Acquire", "Joystick.Unacquire",
                                   "Joystick.Release", "\nジョイスティック状態取得失敗\n\n",
                                   "Keyboard.GetDeviceState"}));
    Input input;
    EXPECT_FALSE(PollInput(&input));
    EXPECT_EQ(Messages().back(), kNoJoystick);
    EXPECT_EQ(input.keyboard[DIK_A], kDown);

    // Plugged in again under a new instance GUID, as some systems do: the next hint finds it.
    di.controllers[0].guidInstance.Data1 ^= 0xFFFF;
    di.controllers[0].attached = true;
    Hints(1);
    Wait(250);
    EXPECT_EQ(Looks(), 1) << "since the record was cleared";
    ASSERT_TRUE(HasJoystick());
    di.joystick.lX = -1000;
    EXPECT_TRUE(PollInput(&input));
    EXPECT_EQ(input.joystick.lX, -1000);
}

TEST_F(HotplugTest, LooksComeAtMostOnceASecondAndOneMoreLater) {
    di.SetControllers({});
    InitAndClear();
    Hints(1);
    Wait(250);
    EXPECT_EQ(Looks(), 1);
    Hints(1); // the soon look falls 300 ms after the last, and waits for a second to pass
    Wait(250);
    EXPECT_EQ(Looks(), 1);
    Wait(690);
    EXPECT_EQ(Looks(), 1);
    Wait(10);
    EXPECT_EQ(Looks(), 2);
    Wait(1000); // the later look, 2 s after the last hint
    EXPECT_EQ(Looks(), 3);
    Wait(10000);
    EXPECT_EQ(Looks(), 3);
}

TEST_F(HotplugTest, ControllerThatCannotBeSetUpIsDroppedAndTheKeyboardStays) {
    di.SetControllers({});
    InitAndClear();
    di.SetControllers({DI_OK});
    di.AnswerAlways(Op::SetCooperativeLevel, Target::Joystick, DIERR_GENERIC);
    Hints(1);
    Wait(250);
    EXPECT_EQ(Looks(), 1);
    EXPECT_FALSE(HasJoystick());
    EXPECT_EQ(di.Held(), 3) << "the DirectInput object, the keyboard and the mouse";
    EXPECT_TRUE(Messages().empty());
    di.keyboard[DIK_A] = kDown;
    Input input;
    PollInput(&input);
    EXPECT_EQ(input.keyboard[DIK_A], kDown);
}

} // namespace
