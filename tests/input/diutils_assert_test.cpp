// With debug assertions on, every failed set-up stops on an assertion right after its message;
// poll, acquire and release failures never do. This program builds the device layer with
// assertions on and watches each failure in a death test.
#include "device_layer_fixture.h"

#include <csignal>
#include <unistd.h>

namespace {

void Write(const char* text, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(STDERR_FILENO, text, size);
        if (written <= 0) {
            return;
        }
        text += written;
        size -= static_cast<std::size_t>(written);
    }
}

// Runs in the dying child after the assertion message: tells the parent which debugger message
// came last before the assertion, without its line breaks.
extern "C" void ReportLastMessage(int) {
    const fake::Desktop& desktop = fake::TheDesktop();
    Write("\nlast message <", 15);
    if (desktop.debugCount > 0 && desktop.debugCount <= fake::kMaxDebugMessages) {
        const char* message = desktop.debug[desktop.debugCount - 1];
        for (const char* c = message; *c; ++c) {
            if (*c != '\n') {
                Write(c, 1);
            }
        }
    }
    Write(">\n", 2);
}

std::string WithoutLineBreaks(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != '\n') {
            out += c;
        }
    }
    return out;
}

class AssertionTest : public DeviceLayerTest, public ::testing::WithParamInterface<SetupFailure> {};

TEST_P(AssertionTest, StopsRightAfterTheFirstMessage) {
    const SetupFailure& failure = GetParam();
    di.Answer(failure.op, failure.target, failure.result);
    const std::string expected = "diutils\\.cpp.*Assertion `0' failed(.|\n)*last message <" +
                                 WithoutLineBreaks(failure.messages.front()) + ">";
    EXPECT_DEATH(
        {
            std::signal(SIGABRT, ReportLastMessage);
            Init();
        },
        expected);
}

INSTANTIATE_TEST_SUITE_P(EachStep, AssertionTest, ::testing::ValuesIn(SetupFailures()),
                         SetupFailureName);

TEST_F(DeviceLayerTest, SuccessfulSetUpAndFailingPollsRaiseNothing) {
    ASSERT_TRUE(Init());
    di.Answer(fake::Op::GetDeviceState, fake::Target::Joystick, DIERR_NOTACQUIRED);
    di.Answer(fake::Op::GetDeviceState, fake::Target::Keyboard, DIERR_INPUTLOST);
    Input input;
    EXPECT_FALSE(PollInput(&input));
    ReleaseInput();
    EXPECT_FALSE(PollInput(&input));
    DIMOUSESTATE mouse;
    EXPECT_FALSE(PollMouse(&mouse));
    AcquireAllDevices();
    UnacquireAllDevices();
    ReleaseInput();
    EXPECT_EQ(Messages().size(), 12u) << "every failure above was reported";
}

} // namespace
