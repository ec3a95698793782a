// ReleaseInput and the acquire helpers: order of release, releasing twice, empty slots.
#include "device_layer_fixture.h"

namespace {

using fake::Op;
using fake::Target;

class ReleaseTest : public DeviceLayerTest {};

TEST_F(ReleaseTest, ReleasesEachDeviceUnacquiredInSlotOrderThenTheObject) {
    ASSERT_TRUE(Init());
    di.ClearRecord();
    ReleaseInput();
    EXPECT_EQ(di.Trace(), (Strings{
                              "Keyboard.Unacquire",
                              "Keyboard.Release",
                              "Mouse.Unacquire",
                              "Mouse.Release",
                              "Joystick.Unacquire",
                              "Joystick.Release",
                              "DirectInput.Release",
                          }));
    EXPECT_EQ(di.Held(), 0);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(ReleaseTest, ReleasingTwiceOrWhenEmptyDoesNothing) {
    ReleaseInput();
    EXPECT_EQ(di.callCount, 0u);

    ASSERT_TRUE(Init());
    ReleaseInput();
    di.ClearRecord();
    ReleaseInput();
    ReleaseInput();
    EXPECT_EQ(di.callCount, 0u);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(di.violations, 0);
}

TEST_F(ReleaseTest, WithoutJoystickReleasesTheRest) {
    di.SetControllers({});
    ASSERT_TRUE(Init());
    di.ClearRecord();
    ReleaseInput();
    EXPECT_EQ(di.Trace(), (Strings{"Keyboard.Unacquire", "Keyboard.Release", "Mouse.Unacquire",
                                   "Mouse.Release", "DirectInput.Release"}));
}

TEST_F(ReleaseTest, AcquireAndUnacquireAllGoInSlotOrder) {
    ASSERT_TRUE(Init());
    di.ClearRecord();
    UnacquireAllDevices();
    EXPECT_FALSE(di.Find(Target::Keyboard)->acquired);
    AcquireAllDevices();
    EXPECT_EQ(di.Trace(), (Strings{
                              "Keyboard.Unacquire",
                              "Mouse.Unacquire",
                              "Joystick.Unacquire",
                              "Keyboard.Acquire",
                              "Mouse.Acquire",
                              "Joystick.Acquire",
                          }));
    EXPECT_TRUE(di.Find(Target::Keyboard)->acquired);
    EXPECT_TRUE(di.Find(Target::Joystick)->acquired);
}

TEST_F(ReleaseTest, EachSlotReachesItsOwnDevice) {
    ASSERT_TRUE(Init());
    const struct {
        int slot;
        const char* acquire;
        const char* unacquire;
    } slots[] = {
        {DEVICE_KEYBOARD, "Keyboard.Acquire", "Keyboard.Unacquire"},
        {DEVICE_MOUSE, "Mouse.Acquire", "Mouse.Unacquire"},
        {DEVICE_JOYSTICK, "Joystick.Acquire", "Joystick.Unacquire"},
    };
    for (const auto& s : slots) {
        di.ClearRecord();
        UnacquireDevice(s.slot);
        AcquireDevice(s.slot);
        EXPECT_EQ(di.Trace(), (Strings{s.unacquire, s.acquire}));
    }
}

TEST_F(ReleaseTest, EmptySlotsOnlyReport) {
    di.SetControllers({});
    ASSERT_TRUE(Init());
    di.ClearRecord();
    AcquireDevice(DEVICE_JOYSTICK);
    UnacquireDevice(DEVICE_JOYSTICK);
    EXPECT_EQ(Messages(), (Strings{"\nデバイス未初期化\n\n", "\nデバイス未初期化\n\n"}));
    EXPECT_EQ(di.callCount, 0u);

    di.ClearRecord();
    AcquireAllDevices();
    EXPECT_EQ(di.Trace(), (Strings{"Keyboard.Acquire", "Mouse.Acquire", "\nデバイス未初期化\n\n"}));

    ReleaseInput();
    di.ClearRecord();
    UnacquireAllDevices();
    EXPECT_EQ(Messages(), Strings(3, "\nデバイス未初期化\n\n"));
    EXPECT_EQ(di.callCount, 0u);
}

} // namespace
