// Shared by the device layer's tests: a fresh fake machine per test, and the ways set-up can fail.
#pragma once

#include "input/diutils.h"

#include "fake_dinput.h"
#include "fake_windows.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using Strings = std::vector<std::string>;

class DeviceLayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ReleaseInput(); // whatever an earlier test left, released against its own fake state
        fake::TheDesktop().Reset();
        di.Reset();
    }
    void TearDown() override {
        ReleaseInput();
        EXPECT_EQ(di.Held(), 0) << "objects or devices never released";
    }

    static HWND Window() { return fake::TheDesktop().Dialog(); }
    static BOOL Init() { return InitInput(fake::Instance(), Window()); }
    static Strings Messages() { return fake::TheDesktop().DebugMessages(); }
    // Sets up the layer and forgets the calls and messages of the set-up.
    void InitAndClear() {
        ASSERT_TRUE(Init());
        di.ClearRecord();
    }

    fake::DirectInput& di = fake::TheDirectInput();
};

// One way for InitInput to fail: the scripted answer, the messages written, in order, and what
// is still held then.
struct SetupFailure {
    const char* what;
    fake::Op op;
    fake::Target target;
    HRESULT result;
    Strings messages;
    int held = 0; // kKeyboardMouseAndObject when only the joystick goes
};

// A joystick that fails is released alone: the DirectInput object, keyboard and mouse stay.
constexpr int kKeyboardMouseAndObject = 3;

inline void PrintTo(const SetupFailure& failure, std::ostream* out) {
    *out << failure.what;
}

inline const std::vector<SetupFailure>& SetupFailures() {
    using fake::Op;
    using fake::Target;
    static const std::vector<SetupFailure> failures = {
        {"DirectInput8Create fails",
         Op::Create,
         Target::DirectInput,
         DIERR_GENERIC,
         {"\nDirectInputオブジェクト生成失敗\n\n"}},
        {"DirectInput8Create answers other than DI_OK",
         Op::Create,
         Target::DirectInput,
         DI_NOEFFECT,
         {"\nDirectInputオブジェクト生成失敗\n\n"}},
        {"joystick enumeration fails",
         Op::EnumDevices,
         Target::DirectInput,
         DIERR_GENERIC,
         {"\nジョイスティック初期化失敗\n\n"},
         kKeyboardMouseAndObject},
        {"joystick data format fails",
         Op::SetDataFormat,
         Target::Joystick,
         DIERR_INVALIDPARAM,
         {"\nジョイスティック初期化失敗\n\n"},
         kKeyboardMouseAndObject},
        {"joystick cooperative level fails",
         Op::SetCooperativeLevel,
         Target::Joystick,
         DIERR_GENERIC,
         {"\nジョイスティック初期化失敗\n\n"},
         kKeyboardMouseAndObject},
        {"joystick object enumeration fails",
         Op::EnumObjects,
         Target::Joystick,
         DIERR_GENERIC,
         {"\nジョイスティック初期化失敗\n\n"},
         kKeyboardMouseAndObject},
        {"keyboard creation fails",
         Op::CreateDevice,
         Target::Keyboard,
         DIERR_DEVICENOTREG,
         {"\nDirectInputデバイスオブジェクト生成失敗\n\n", "\nキーボード初期化失敗\n\n"}},
        {"keyboard creation answers other than DI_OK",
         Op::CreateDevice,
         Target::Keyboard,
         DI_NOEFFECT,
         {"\nDirectInputデバイスオブジェクト生成失敗\n\n", "\nキーボード初期化失敗\n\n"}},
        {"keyboard data format fails",
         Op::SetDataFormat,
         Target::Keyboard,
         DIERR_INVALIDPARAM,
         {"\nDirectInputデータフォーマット設定失敗\n\n", "\nキーボード初期化失敗\n\n"}},
        {"keyboard data format answers other than DI_OK",
         Op::SetDataFormat,
         Target::Keyboard,
         DI_NOEFFECT,
         {"\nDirectInputデータフォーマット設定失敗\n\n", "\nキーボード初期化失敗\n\n"}},
        {"keyboard cooperative level fails",
         Op::SetCooperativeLevel,
         Target::Keyboard,
         DIERR_GENERIC,
         {"\nDirectInput協調レベル設定失敗\n\n", "\nキーボード初期化失敗\n\n"}},
        {"mouse creation fails",
         Op::CreateDevice,
         Target::Mouse,
         DIERR_DEVICENOTREG,
         {"\nDirectInputデバイスオブジェクト生成失敗\n\n", "\nマウス初期化失敗\n\n"}},
        {"mouse data format fails",
         Op::SetDataFormat,
         Target::Mouse,
         DIERR_INVALIDPARAM,
         {"\nDirectInputデータフォーマット設定失敗\n\n", "\nマウス初期化失敗\n\n"}},
        {"mouse cooperative level fails",
         Op::SetCooperativeLevel,
         Target::Mouse,
         DIERR_OTHERAPPHASPRIO,
         {"\nDirectInput協調レベル設定失敗\n\n", "\nマウス初期化失敗\n\n"}},
    };
    return failures;
}

// "keyboard data format fails" -> "keyboard_data_format_fails", for test names.
inline std::string SetupFailureName(const ::testing::TestParamInfo<SetupFailure>& failure) {
    std::string name;
    for (const char* c = failure.param.what; *c; ++c) {
        const bool letter =
            (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9');
        if (letter || *c == ' ') {
            name += letter ? *c : '_';
        }
    }
    return name;
}
