#include "input/diutils.h"

#include "fake_dinput.h"
#include "fake_windows.h"

#include <gtest/gtest.h>

namespace {

class PollTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ReleaseInput();
        fake::TheDesktop().Reset();
        di.Reset();
    }
    void TearDown() override {
        ReleaseInput();
        EXPECT_EQ(di.Held(), 0);
    }

    fake::DirectInput& di = fake::TheDirectInput();
};

TEST_F(PollTest, ReadsKeyboardAndJoystick) {
    ASSERT_TRUE(InitInput(fake::Instance(), fake::TheDesktop().Dialog()));
    di.keyboard[DIK_A] = 0x80;
    di.joystick.lX = -1000;
    di.joystick.rgbButtons[3] = 0x80;
    Input input = {};
    EXPECT_TRUE(PollInput(&input));
    EXPECT_EQ(input.keyboard[DIK_A], 0x80);
    EXPECT_EQ(input.joystick.lX, -1000);
    EXPECT_EQ(input.joystick.rgbButtons[3], 0x80);
    for (const std::string& line : di.Trace()) {
        printf("%s|\n", line.c_str());
    }
}

} // namespace
