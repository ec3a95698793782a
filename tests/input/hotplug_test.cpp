// Controllers plugged in and pulled out while the dialog runs, as one scripted sequence: what
// happens, how long the clock then runs (the look's timers handed to the layer as the dialog
// does), then how many looks there have been since start-up and whether a joystick is open.
#include "device_layer_fixture.h"

#include "capture/capture.h"
#include "input/hotplug.h"

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
    // One tick of the dialog; the joystick is dropped on the tick DirectInput answers
    // DIERR_UNPLUGGED.
    static void Tick() {
        CaptureStep(Window());
        OnJoystickPolled(Window());
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

    Tick(); // a good read: that it binds, the end-to-end run shows through Wine's own stack

    di.Answer(Op::GetDeviceState, Target::Joystick, DIERR_UNPLUGGED); // only the read says so
    Tick();
    Expect(1, false, "pulled out: dropped on the next tick");
    di.controllers[0].guidInstance.Data1 ^= 0xFFFF;
    Wait(300);
    Expect(2, true, "it had been read: its drop is a hint, the look finds it under a new GUID");
    di.controllers[0].attached = false; // Acquire says so, before the first read
    Tick();
    Hints(1);
    Wait(250);
    Expect(2, false, "a look waits for a second since the last");
    Wait(700);
    Expect(3, false, "the look a second after the last");
    Wait(1000);
    Expect(4, false, "the later look, 2 s after the hint");

    di.SetControllers({DI_OK, DI_OK});
    Hints(1);
    Wait(1000);
    Tick();
    di.SetForeground(false);
    di.controllers[0].attached = false;
    Tick();
    Hints(3);
    Wait(3000);
    Expect(5, true, "behind: DirectInput does not tell the unplug, and hints find it open");
    di.SetForeground(true);
    Tick();
    Wait(300);
    Expect(6, true, "in front: Acquire tells it, and the look opens the other controller");

    di.AnswerAlways(Op::Poll, Target::Joystick, DIERR_UNPLUGGED);
    di.AnswerAlways(Op::Acquire, Target::Joystick, DIERR_UNPLUGGED);
    Tick();
    Wait(2000);
    Tick();
    Wait(10000);
    Expect(7, false, "unplugged from the start: only the later look, and no more");

    di.controllers[0].attached = true;
    di.AnswerAlways(Op::SetCooperativeLevel, Target::Joystick, DIERR_GENERIC);
    Hints(1);
    Wait(1000);
    Expect(8, false, "a controller that cannot be set up is released");
    Wait(10000);
    Expect(9, false, "the later look, and no more without a hint");
    EXPECT_EQ(di.Held(), 3) << "the DirectInput object, the keyboard and the mouse";
    di.keyboard[DIK_A] = kDown;
    Input input;
    PollInput(&input);
    EXPECT_EQ(input.keyboard[DIK_A], kDown);
}

} // namespace
