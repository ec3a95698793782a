// The fake DirectInput catches the misuse the device layer's tests rely on it to catch.
#include "fake_dinput.h"
#include "fake_windows.h"
#include "input/data_formats.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

using fake::Op;
using fake::Target;

class FakeDirectInputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::TheDesktop().Reset();
        di.Reset();
        void* created = nullptr;
        ASSERT_EQ(DirectInput8Create(fake::Instance(), DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                     &created, nullptr),
                  DI_OK);
        object = static_cast<IDirectInput8A*>(created);
        ASSERT_EQ(object->CreateDevice(GUID_SysKeyboard, &keyboard, nullptr), DI_OK);
        BuildDataFormats();
        ASSERT_EQ(keyboard->SetDataFormat(DataFormat(FORMAT_KEYBOARD)), DI_OK);
        ASSERT_EQ(keyboard->SetCooperativeLevel(fake::TheDesktop().Dialog(),
                                                DISCL_NONEXCLUSIVE | DISCL_FOREGROUND),
                  DI_OK);
    }

    fake::DirectInput& di = fake::TheDirectInput();
    IDirectInput8A* object = nullptr;
    IDirectInputDevice8A* keyboard = nullptr;
};

TEST_F(FakeDirectInputTest, DoubleReleaseIsAFailure) {
    object->Release();
    keyboard->Release();
    EXPECT_NONFATAL_FAILURE(keyboard->Release(), "Keyboard device released twice");
    EXPECT_NONFATAL_FAILURE(object->Release(), "DirectInput object released twice");
    EXPECT_EQ(di.violations, 2);
}

TEST_F(FakeDirectInputTest, UseAfterReleaseIsAFailure) {
    keyboard->Release();
    BYTE state[256];
    HRESULT result = DI_OK;
    EXPECT_NONFATAL_FAILURE(result = keyboard->GetDeviceState(sizeof state, state),
                            "Keyboard device used after its release (GetDeviceState)");
    EXPECT_TRUE(FAILED(result));
    object->Release();
    IDirectInputDevice8A* mouse = nullptr;
    EXPECT_NONFATAL_FAILURE(object->CreateDevice(GUID_SysMouse, &mouse, nullptr),
                            "DirectInput object used after its release (CreateDevice)");
    EXPECT_EQ(mouse, nullptr);
}

TEST_F(FakeDirectInputTest, ReadsNeedAcquisitionAndTheFormatsByteCount) {
    BYTE state[256] = {};
    di.keyboard[DIK_A] = 0x80;
    EXPECT_EQ(keyboard->GetDeviceState(sizeof state, state), DIERR_NOTACQUIRED);
    EXPECT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(keyboard->Acquire(), DI_NOEFFECT);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof state - 1, state), DIERR_INVALIDPARAM);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof state, state), DI_OK);
    EXPECT_EQ(state[DIK_A], 0x80);
    EXPECT_EQ(keyboard->SetDataFormat(DataFormat(FORMAT_KEYBOARD)), DIERR_ACQUIRED);
    keyboard->Release();
    object->Release();
}

TEST_F(FakeDirectInputTest, ForegroundDevicesFollowTheWindow) {
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    di.SetForeground(false);
    EXPECT_FALSE(di.Find(Target::Keyboard)->acquired);
    BYTE state[256];
    EXPECT_EQ(keyboard->GetDeviceState(sizeof state, state), DIERR_INPUTLOST);
    EXPECT_EQ(keyboard->Acquire(), DIERR_OTHERAPPHASPRIO);
    di.SetForeground(true);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof state, state), DIERR_NOTACQUIRED);
    EXPECT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof state, state), DI_OK);
    keyboard->Release();
    object->Release();
}

} // namespace
