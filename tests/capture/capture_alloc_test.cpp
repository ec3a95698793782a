// The capture tick allocates nothing: this test binary replaces the global operator new to count
// every heap allocation, then runs many ticks with keys and buttons going down and up.
#include "capture/capture.h"

#include "fake_dinput.h"
#include "fake_windows.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

TEST(CaptureStep, AllocatesNothingTickAfterTick) {
    fake::DirectInput& di = fake::TheDirectInput();
    fake::Desktop& desktop = fake::TheDesktop();
    ReleaseInput();
    di.Reset();
    desktop.Reset();
    ASSERT_TRUE(InitInput(fake::Instance(), desktop.Dialog()));
    desktop.Focus(1003);

    const long before = g_allocations;
    constexpr int kTicks = 10000;
    for (int tick = 0; tick < kTicks; ++tick) {
        std::memset(di.keyboard, 0, sizeof di.keyboard);
        di.joystick = fake::kJoystickAtRest;
        switch (tick % 5) {
        case 1:
            di.keyboard[DIK_A + tick % 7] = 0x80;
            break;
        case 2:
            di.joystick.rgbButtons[tick % 32] = 0x80;
            break;
        case 3:
            di.joystick.lX = tick % 2 == 0 ? 1000 : -1000;
            break;
        case 4:
            di.keyboard[DIK_TAB] = 0x80;
            break;
        default:
            if (tick % 500 == 0) {
                di.joystick.rgdwPOV[0] = 9000; // the controller line says it cannot be bound
            }
            break;
        }
        CaptureStep(desktop.Dialog());
    }
    const long during = g_allocations - before;
    EXPECT_EQ(during, 0) << "heap allocations over " << kTicks << " ticks";
    // The loop did bind: the counter would have seen any allocation on the storing path.
    EXPECT_NE(g_bindingTable[0], kNoBinding);
    EXPECT_GT(desktop.SetTextCalls(IDC_CONTROLLER), 2) << "the hat's message came and went";
    ReleaseInput();
}

} // namespace
