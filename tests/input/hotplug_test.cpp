// Controllers plugged in and pulled out while the dialog runs, as one scripted sequence: what
// happens, how long the clock then runs (the look's timers handed to the layer as the dialog
// does), then how many looks there have been since start-up and whether a joystick is open.
#include "device_layer_fixture.h"

#include "capture/binding_name.h"
#include "capture/capture.h"
#include "input/hotplug.h"
#include "resources/resource.h"

namespace {

using fake::Op;
using fake::Target;

constexpr BYTE kDown = 0x80;

class HotplugTest : public DeviceLayerTest {
  protected:
    void Wait(DWORD ms) {
        fake::TheDesktop().RunTimers(ms,
                                     [](UINT_PTR id) { EXPECT_TRUE(OnRescanTimer(Window(), id)); });
    }
    // Device-change hints, 50 ms apart.
    void Hints(int count) {
        for (int i = 0; i < count; ++i) {
            OnDeviceChangeHint(Window());
            Wait(50);
        }
    }
    // One tick's poll; the joystick is dropped on the tick DirectInput answers DIERR_UNPLUGGED.
    static void Poll() {
        Input input;
        PollInput(&input);
    }
    void Expect(int looks, bool joystick, const char* what) {
        EXPECT_EQ(di.Count(Op::EnumDevices, Target::DirectInput) - startUpLooks_, looks) << what;
        EXPECT_EQ(HasJoystick(), joystick) << what;
    }
    int startUpLooks_ = 0;
};

TEST_F(HotplugTest, ControllersComeAndGoWhileTheDialogRuns) {
    di.SetControllers({});
    ASSERT_TRUE(Init());
    startUpLooks_ = di.Count(Op::EnumDevices, Target::DirectInput);
    Wait(10000);
    Expect(0, false, "no hint, no look");
    di.SetControllers({DI_OK});
    Hints(10);
    Expect(0, false, "plugged in, ten hints: no look inside the handler");
    Wait(250);
    Expect(1, true, "one look 300 ms after the last hint");
    Hints(10);
    Wait(5000);
    Expect(1, true, "the later look, and hints, find it open");

    std::fill(std::begin(g_bindingTable), std::end(g_bindingTable), kNoBinding);
    CaptureStep(Window());
    fake::TheDesktop().Focus(IDC_BINDING_UP);
    di.joystick.rgbButtons[0] = kDown;
    CaptureStep(Window());
    EXPECT_STREQ(FormatBindingName(g_bindingTable[0]).text, "JOY1_B1");

    di.Answer(Op::GetDeviceState, Target::Joystick, DIERR_UNPLUGGED); // only the read says so
    Poll();
    di.controllers[0].attached = false;
    Expect(1, false, "pulled out: dropped on the next tick");
    di.controllers[0].guidInstance.Data1 ^= 0xFFFF;
    di.controllers[0].attached = true;
    Hints(1);
    Wait(250);
    Expect(2, true, "back under a new instance GUID: one hint finds it");
    di.controllers[0].attached = false; // Poll and Acquire say so, the read only that it is
    di.Answer(Op::GetDeviceState, Target::Joystick, DIERR_NOTACQUIRED); // not acquired
    Poll();
    Hints(1);
    Wait(250);
    Expect(2, false, "a look waits for a second since the last");
    Wait(700);
    Expect(3, false, "the look a second after the last");
    Wait(1000);
    Expect(4, false, "the later look, 2 s after the hint");

    di.controllers[0].attached = true;
    di.AnswerAlways(Op::SetCooperativeLevel, Target::Joystick, DIERR_GENERIC);
    Hints(1);
    Wait(1000);
    Expect(5, false, "a controller that cannot be set up is released");
    Wait(10000);
    Expect(6, false, "the later look, and no more without a hint");
    EXPECT_EQ(di.Held(), 3) << "the DirectInput object, the keyboard and the mouse";
    di.keyboard[DIK_A] = kDown;
    Input input;
    PollInput(&input);
    EXPECT_EQ(input.keyboard[DIK_A], kDown);
}

} // namespace
