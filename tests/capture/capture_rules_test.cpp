// The capture rules one by one, on hand-made snapshots.
#include "capture/capture.h"

#include "fake_windows.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

namespace {

constexpr BYTE kDown = 0x80;

struct Snapshot {
    Input input;
    Snapshot() { std::memset(&input, 0, sizeof input); }
    Snapshot& Keys(std::initializer_list<int> codes) {
        for (int code : codes) {
            input.keyboard[code] = kDown;
        }
        return *this;
    }
    Snapshot& Buttons(std::initializer_list<int> buttons) {
        for (int n : buttons) {
            input.joystick.rgbButtons[n] = kDown;
        }
        return *this;
    }
    Snapshot& Stick(LONG x, LONG y) {
        input.joystick.lX = x;
        input.joystick.lY = y;
        return *this;
    }
};

// The Binding a snapshot offers, or (0, 0) for none.
Binding Offered(const Snapshot& s) {
    UpdateJoystickPresses(s.input);
    Binding b = kNoBinding;
    ChooseBinding(b, s.input);
    return b;
}

TEST(IsForbiddenKeyDown, SuspendsOnExactlyTheReservedKeys) {
    const int forbidden[] = {15, 56, 58,  59,  60,  61,  62,  63,  64,  65,  66,  67,  68, 69,
                             87, 88, 100, 101, 102, 112, 148, 184, 219, 220, 221, 222, 223};
    bool expected[256] = {};
    for (int code : forbidden) {
        expected[code] = true;
    }
    for (int code = 0; code < 256; ++code) {
        Snapshot s;
        s.Keys({code});
        EXPECT_EQ(IsForbiddenKeyDown(s.input), expected[code]) << "key code " << code;
    }
    // Only bit 7 means down.
    Snapshot low;
    low.input.keyboard[DIK_TAB] = 0x7F;
    EXPECT_FALSE(IsForbiddenKeyDown(low.input));
    // A forbidden key among ordinary ones still suspends.
    EXPECT_TRUE(IsForbiddenKeyDown(Snapshot().Keys({DIK_A, DIK_S, DIK_RWIN}).input));
}

TEST(ChooseBinding, NothingDownLeavesTheOfferUntouched) {
    Snapshot s;
    s.Stick(999, -999);
    UpdateJoystickPresses(s.input);
    Binding b = {7, 7};
    EXPECT_FALSE(ChooseBinding(b, s.input));
    EXPECT_EQ(b, (Binding{7, 7}));
}

TEST(ChooseBinding, PriorityButtonsThenStickThenKeys) {
    struct Case {
        const char* what;
        Snapshot snapshot;
        Binding offered;
    };
    const Case cases[] = {
        {"A alone", Snapshot().Keys({DIK_A}), {0, 30}},
        {"A and S: the lower code", Snapshot().Keys({DIK_S, DIK_A}), {0, 30}},
        {"Escape", Snapshot().Keys({DIK_ESCAPE}), {0, 1}},
        {"Enter", Snapshot().Keys({DIK_RETURN}), {0, 28}},
        {"Space", Snapshot().Keys({DIK_SPACE}), {0, 57}},
        {"right Ctrl", Snapshot().Keys({DIK_RCONTROL}), {0, 157}},
        {"key code 255", Snapshot().Keys({255}), {0, 255}},
        {"button 0", Snapshot().Buttons({0}), {1, 4}},
        {"button 31", Snapshot().Buttons({31}), {1, 35}},
        {"buttons 2 and 5", Snapshot().Buttons({5, 2}), {1, 6}},
        {"button beats key", Snapshot().Buttons({9}).Keys({DIK_A}), {1, 13}},
        {"button beats stick", Snapshot().Buttons({3}).Stick(-1000, 0), {1, 7}},
        {"stick up", Snapshot().Stick(0, -1000), {1, 0}},
        {"stick down", Snapshot().Stick(0, 1000), {1, 1}},
        {"stick left", Snapshot().Stick(-1000, 0), {1, 2}},
        {"stick right", Snapshot().Stick(1000, 0), {1, 3}},
        {"down-right is DOWN", Snapshot().Stick(1000, 1000), {1, 1}},
        {"down-left is DOWN", Snapshot().Stick(-1000, 1000), {1, 1}},
        {"up-right is RIGHT", Snapshot().Stick(1000, -1000), {1, 3}},
        {"up-left is LEFT", Snapshot().Stick(-1000, -1000), {1, 2}},
        {"stick beats key", Snapshot().Stick(1000, 0).Keys({DIK_ESCAPE}), {1, 3}},
        {"999 is not a deflection", Snapshot().Stick(999, 999).Keys({DIK_S}), {0, 31}},
        {"-999 is not a deflection", Snapshot().Stick(-999, -999), {0, 0}},
        {"beyond the range is not a deflection", Snapshot().Stick(1001, -1001), {0, 0}},
        {"button byte without bit 7", Snapshot(), {0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Offered(c.snapshot), c.offered) << c.what;
    }
    Snapshot lowBit;
    lowBit.input.joystick.rgbButtons[0] = 0x7F;
    lowBit.input.keyboard[DIK_A] = 0x01;
    EXPECT_EQ(Offered(lowBit), kNoBinding) << "only bit 7 means down";
}

TEST(UpdateJoystickPresses, RebuildsTheTableFromScratch) {
    UpdateJoystickPresses(Snapshot().Buttons({0, 31}).Stick(-1000, 1000).input);
    EXPECT_EQ(g_joystickPresses[0][0], 1);
    EXPECT_EQ(g_joystickPresses[0][31], 1);
    EXPECT_EQ(g_joystickPresses[0][kPressLeft], 1);
    EXPECT_EQ(g_joystickPresses[0][kPressDown], 1);
    EXPECT_EQ(g_joystickPresses[0][kPressUp], 0);
    EXPECT_EQ(g_joystickPresses[0][kPressRight], 0);

    UpdateJoystickPresses(Snapshot().input);
    for (int flag = 0; flag < kPressFlagCount; ++flag) {
        EXPECT_EQ(g_joystickPresses[0][flag], 0) << "flag " << flag;
    }
}

TEST(HoldFilter, OffersEachChangeOnceAndReArmsOnNothing) {
    HoldFilter filter;
    const Binding a = {0, 30};
    const Binding s = {0, 31};
    struct Tick {
        Binding offered;
        bool held;
    };
    const Tick ticks[] = {
        {kNoBinding, true}, // a fresh filter already holds (0, 0)
        {a, false},         {a, true},           {a, true},          {s, false},
        {a, false},         {kNoBinding, false}, {kNoBinding, true}, {a, false},
    };
    int i = 0;
    for (const Tick& t : ticks) {
        filter.Update(t.offered);
        EXPECT_EQ(filter.IsHeld(), t.held) << "tick " << i;
        ++i;
    }
}

class StoreBindingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        desktop.Reset();
        std::memset(g_bindingTable, 0, sizeof g_bindingTable);
    }
    bool Store(Binding b) { return StoreBinding(b, GetFocus(), desktop.Dialog()); }
    fake::Desktop& desktop = fake::TheDesktop();
};

TEST_F(StoreBindingTest, FocusRunsThroughTheSixFieldsAndWraps) {
    const int order[] = {1003, 1004, 1005, 1006, 1007, 1008, 1003};
    for (int i = 0; i + 1 < 7; ++i) {
        desktop.Focus(order[i]);
        const Binding b = {0, static_cast<uint8_t>(16 + i)};
        EXPECT_TRUE(Store(b));
        EXPECT_EQ(g_bindingTable[order[i] - 1003], b);
        EXPECT_EQ(desktop.FocusedId(), order[i + 1]);
    }
    EXPECT_STREQ(desktop.Text(1003), "KEY_Q");
    EXPECT_STREQ(desktop.Text(1008), "KEY_Y");
}

TEST_F(StoreBindingTest, RefusesOtherFocusAndNothingOffered) {
    for (int id : {0, IDOK, IDCANCEL, IDC_OPTION1, 1009, 1010, IDC_READOUT}) {
        desktop.Focus(id);
        EXPECT_FALSE(Store({0, 30})) << id;
        EXPECT_EQ(desktop.FocusedId(), id);
    }
    desktop.Focus(1003);
    EXPECT_FALSE(Store(kNoBinding));
    EXPECT_EQ(desktop.FocusedId(), 1003);
    for (const Binding& b : g_bindingTable) {
        EXPECT_EQ(b, kNoBinding);
    }
    for (int id = 1003; id <= 1010; ++id) {
        EXPECT_EQ(desktop.SetTextCalls(id), 0) << id;
    }
}

TEST_F(StoreBindingTest, AnUnchangedBindingMovesTheFocusWithoutShowingAgain) {
    g_bindingTable[2] = {1, 4};
    desktop.Focus(1005);
    EXPECT_TRUE(Store({1, 4}));
    EXPECT_EQ(desktop.SetTextCalls(1005), 0);
    EXPECT_EQ(desktop.FocusedId(), 1006);

    desktop.Focus(1005);
    EXPECT_TRUE(Store({1, 5}));
    EXPECT_EQ(desktop.SetTextCalls(1005), 1);
    EXPECT_STREQ(desktop.Text(1005), "JOY1_B2");
}

} // namespace
