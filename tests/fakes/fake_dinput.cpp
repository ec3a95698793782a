#include "fake_dinput.h"

#include "fake_windows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

// DirectInput's published GUIDs (dinput.h). DIPROP_RANGE is the small integer 4 cast to a GUID
// reference there; here it is an object of its own.
const GUID IID_IDirectInput8A = {
    0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
const GUID GUID_SysKeyboard = {
    0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_SysMouse = {
    0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID DIPROP_RANGE_GUID = {4, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const GUID DIPROP_BUFFERSIZE_GUID = {1, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

namespace fake {

namespace {

bool SameGuid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

constexpr DWORD kGameControllerType = 0x14; // DI8DEVTYPE_JOYSTICK

// What EnumDevices and GetDeviceInfo tell of controller i.
void Describe(const Controller& controller, std::size_t i, DIDEVICEINSTANCEA& instance) {
    instance.guidInstance = controller.guidInstance;
    instance.guidProduct = controller.guidInstance;
    instance.dwDevType = kGameControllerType;
    std::snprintf(instance.tszInstanceName, sizeof instance.tszInstanceName, "Controller %zu", i);
    std::snprintf(instance.tszProductName, sizeof instance.tszProductName, "Controller %zu", i);
}

class FakeObject final : public IDirectInput8A {
  public:
    std::size_t index = 0;

    ULONG Release() override;
    HRESULT CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN outer) override;
    HRESULT EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID context,
                        DWORD flags) override;

  private:
    bool Usable(Op op);
};

class FakeDevice final : public IDirectInputDevice8A {
  public:
    std::size_t index = 0;

    ULONG Release() override;
    HRESULT SetDataFormat(LPCDIDATAFORMAT format) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA callback, LPVOID context,
                        DWORD flags) override;
    HRESULT SetProperty(REFGUID property, LPCDIPROPHEADER header) override;
    HRESULT Acquire() override;
    HRESULT Unacquire() override;
    HRESULT Poll() override;
    HRESULT GetDeviceState(DWORD size, LPVOID data) override;
    HRESULT GetDeviceData(DWORD size, LPDIDEVICEOBJECTDATA data, DWORD* count,
                          DWORD flags) override;
    HRESULT GetDeviceInfo(LPDIDEVICEINSTANCEA instance) override;

  private:
    Device& Self() { return TheDirectInput().DeviceAt(index); }
    // Records the call; false (and a violation) when the device was released already.
    Call* Begin(Op op, DWORD arg, bool* usable);
};

FakeObject g_objects[kMaxObjects];
FakeDevice g_devices[kMaxDevices];

HRESULT Finish(Call* call, HRESULT result) {
    if (call) {
        call->result = result;
    }
    return result;
}

// --- The DirectInput object -------------------------------------------------------------------

bool FakeObject::Usable(Op op) {
    DirectInput& di = TheDirectInput();
    if (di.ObjectAt(index).refs > 0) {
        return true;
    }
    char what[96];
    std::snprintf(what, sizeof what, "DirectInput object used after its release (%s)", Name(op));
    di.Violation(what);
    return false;
}

ULONG FakeObject::Release() {
    DirectInput& di = TheDirectInput();
    Call* call = di.Record(Op::Release, Target::DirectInput, -1, 0);
    int& refs = di.ObjectAt(index).refs;
    if (refs <= 0) {
        di.Violation("DirectInput object released twice");
        return static_cast<ULONG>(Finish(call, 0));
    }
    --refs;
    return static_cast<ULONG>(Finish(call, refs));
}

HRESULT FakeObject::CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN outer) {
    DirectInput& di = TheDirectInput();
    Target kind = Target::DirectInput;
    int controller = -1;
    HRESULT natural = DIERR_DEVICENOTREG;
    if (SameGuid(guid, GUID_SysKeyboard)) {
        kind = Target::Keyboard;
        natural = DI_OK;
    } else if (SameGuid(guid, GUID_SysMouse)) {
        kind = Target::Mouse;
        natural = DI_OK;
    } else {
        for (std::size_t i = 0; i < di.controllerCount; ++i) {
            if (SameGuid(guid, di.controllers[i].guidInstance)) {
                kind = Target::Joystick;
                controller = static_cast<int>(i);
                natural = di.controllers[i].attached ? di.controllers[i].createResult
                                                     : DIERR_DEVICENOTREG;
                break;
            }
        }
    }
    Call* call = di.Record(Op::CreateDevice, kind, controller, 0);
    if (!Usable(Op::CreateDevice)) {
        return Finish(call, DIERR_NOTINITIALIZED);
    }
    if (device == nullptr || outer != nullptr) {
        natural = DIERR_INVALIDPARAM;
    } else {
        *device = nullptr;
    }
    HRESULT result = di.Resolve(Op::CreateDevice, kind, natural);
    if (SUCCEEDED(result) && device != nullptr && kind != Target::DirectInput) {
        const int created = di.NewDevice(kind, controller);
        if (created < 0) {
            result = DIERR_GENERIC;
        } else {
            *device = &g_devices[created];
        }
    }
    return Finish(call, result);
}

HRESULT FakeObject::EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID context,
                                DWORD flags) {
    DirectInput& di = TheDirectInput();
    Call* call = di.Record(Op::EnumDevices, Target::DirectInput, -1, type);
    if (!Usable(Op::EnumDevices)) {
        return Finish(call, DIERR_NOTINITIALIZED);
    }
    const HRESULT result =
        di.Resolve(Op::EnumDevices, Target::DirectInput, callback ? DI_OK : DIERR_INVALIDPARAM);
    if (FAILED(result) || type != DI8DEVCLASS_GAMECTRL) {
        return Finish(call, result);
    }
    for (std::size_t i = 0; i < di.controllerCount; ++i) {
        const Controller& controller = di.controllers[i];
        if (!controller.attached && (flags & DIEDFL_ATTACHEDONLY)) {
            continue;
        }
        DIDEVICEINSTANCEA instance = {};
        instance.dwSize = sizeof instance;
        Describe(controller, i, instance);
        const BOOL answer = callback(&instance, context);
        if (answer == DIENUM_STOP) {
            break;
        }
        if (answer != DIENUM_CONTINUE) {
            di.Violation("EnumDevices callback answered neither DIENUM_CONTINUE nor DIENUM_STOP");
        }
    }
    return Finish(call, result);
}

// --- Devices ----------------------------------------------------------------------------------

Call* FakeDevice::Begin(Op op, DWORD arg, bool* usable) {
    DirectInput& di = TheDirectInput();
    const Device& self = Self();
    Call* call = di.Record(op, self.kind, self.controller, arg);
    *usable = self.refs > 0;
    if (!*usable) {
        char what[96];
        std::snprintf(what, sizeof what, "%s device used after its release (%s)", Name(self.kind),
                      Name(op));
        di.Violation(what);
    }
    return call;
}

ULONG FakeDevice::Release() {
    DirectInput& di = TheDirectInput();
    Device& self = Self();
    Call* call = di.Record(Op::Release, self.kind, self.controller, 0);
    if (self.refs <= 0) {
        char what[96];
        std::snprintf(what, sizeof what, "%s device released twice", Name(self.kind));
        di.Violation(what);
        return static_cast<ULONG>(Finish(call, 0));
    }
    --self.refs;
    if (self.refs == 0) {
        self.acquired = false;
    }
    return static_cast<ULONG>(Finish(call, self.refs));
}

HRESULT FakeDevice::SetDataFormat(LPCDIDATAFORMAT format) {
    bool usable = false;
    Call* call = Begin(Op::SetDataFormat, format ? format->dwDataSize : 0, &usable);
    if (!usable) {
        return Finish(call, DIERR_NOTINITIALIZED);
    }
    Device& self = Self();
    HRESULT natural = DI_OK;
    if (format == nullptr || format->dwSize != sizeof(DIDATAFORMAT)) {
        natural = DIERR_INVALIDPARAM;
    } else if (self.acquired) {
        natural = DIERR_ACQUIRED;
    }
    const HRESULT result = TheDirectInput().Resolve(Op::SetDataFormat, self.kind, natural);
    if (SUCCEEDED(result)) {
        self.format = format;
    }
    return Finish(call, result);
}

HRESULT FakeDevice::SetCooperativeLevel(HWND window, DWORD flags) {
    bool usable = false;
    Call* call = Begin(Op::SetCooperativeLevel, flags, &usable);
    if (!usable) {
        return Finish(call, DIERR_NOTINITIALIZED);
    }
    Device& self = Self();
    const DWORD sharing = flags & (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE);
    const DWORD focus = flags & (DISCL_FOREGROUND | DISCL_BACKGROUND);
    HRESULT natural = DI_OK;
    if (window == nullptr || sharing == 0 || sharing == (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE) ||
        focus == 0 || focus == (DISCL_FOREGROUND | DISCL_BACKGROUND)) {
        natural = DIERR_INVALIDPARAM;
    } else if (self.acquired) {
        natural = DIERR_ACQUIRED;
    }
    const HRESULT result = TheDirectInput().Resolve(Op::SetCooperativeLevel, self.kind, natural);
    if (SUCCEEDED(result)) {
        self.window = window;
        self.cooperativeLevel = flags;
    }
    return Finish(call, result);
}

HRESULT FakeDevice::EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA callback, LPVOID context,
                                DWORD flags) {
    bool usable = false;
    Call* call = Begin(Op::EnumObjects, flags, &usable);
    if (!usable) {
        return Finish(call, DIERR_NOTINITIALIZED);
    }
    DirectInput& di = TheDirectInput();
    const Target kind = Self().kind;
    const HRESULT result = di.Resolve(Op::EnumObjects, kind, callback ? DI_OK : DIERR_INVALIDPARAM);
    if (FAILED(result) || kind != Target::Joystick) {
        return Finish(call, result);
    }
    for (std::size_t i = 0; i < di.objectCount; ++i) {
        const DWORD type = di.objects[i].dwType;
        if (flags != DIDFT_ALL && (type & flags & 0xFF) == 0) {
            continue;
        }
        DIDEVICEOBJECTINSTANCEA object = {};
        object.dwSize = sizeof object;
        object.dwType = type;
        object.dwOfs = static_cast<DWORD>(i * sizeof(LONG));
        std::snprintf(object.tszName, sizeof object.tszName, "Object %zu", i);
        const BOOL answer = callback(&object, context);
        if (answer == DIENUM_STOP) {
            break;
        }
        if (answer != DIENUM_CONTINUE) {
            di.Violation("EnumObjects callback answered neither DIENUM_CONTINUE nor DIENUM_STOP");
        }
    }
    return Finish(call, result);
}

HRESULT FakeDevice::SetProperty(REFGUID property, LPCDIPROPHEADER header) {
    bool usable = false;
    Call* call = Begin(Op::SetProperty, header ? header->dwObj : 0, &usable);
    if (!usable) {
        return Finish(call, DIERR_NOTINITIALIZED);
    }
    DirectInput& di = TheDirectInput();
    const Target kind = Self().kind;
    if (&property == &DIPROP_BUFFERSIZE_GUID) {
        Device& self = Self();
        const bool valid = header && header->dwSize == sizeof(DIPROPDWORD) &&
                           header->dwHeaderSize == sizeof(DIPROPHEADER) &&
                           header->dwHow == DIPH_DEVICE && header->dwObj == 0;
        const HRESULT result = di.Resolve(Op::SetProperty, kind,
                                          !valid          ? DIERR_INVALIDPARAM
                                          : self.acquired ? DIERR_ACQUIRED
                                                          : DI_OK);
        if (SUCCEEDED(result) && valid) {
            const DWORD size = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
            self.bufferSize = std::min<DWORD>(size, kMaxBuffered);
            self.buffered = 0;
            self.overflow = false;
        }
        return Finish(call, result);
    }
    JoystickObject* object = nullptr;
    HRESULT natural = DI_OK;
    if (&property != &DIPROP_RANGE_GUID || header == nullptr ||
        header->dwSize != sizeof(DIPROPRANGE) || header->dwHeaderSize != sizeof(DIPROPHEADER) ||
        header->dwHow != DIPH_BYID) {
        natural = DIERR_INVALIDPARAM;
    } else {
        const DIPROPRANGE* range = reinterpret_cast<const DIPROPRANGE*>(header);
        object = kind == Target::Joystick
                     ? const_cast<JoystickObject*>(di.FindObject(header->dwObj))
                     : nullptr;
        if (object == nullptr) {
            natural = DIERR_OBJECTNOTFOUND;
        } else if ((object->dwType & DIDFT_AXIS) == 0 || range->lMin >= range->lMax) {
            natural = DIERR_INVALIDPARAM;
        }
    }
    const HRESULT result = di.Resolve(Op::SetProperty, kind, natural);
    if (SUCCEEDED(result) && object != nullptr) {
        const DIPROPRANGE* range = reinterpret_cast<const DIPROPRANGE*>(header);
        object->rangeSet = true;
        object->lMin = range->lMin;
        object->lMax = range->lMax;
    }
    return Finish(call, result);
}

HRESULT FakeDevice::Acquire() {
    bool usable = false;
    Call* call = Begin(Op::Acquire, 0, &usable);
    if (!usable) {
        return Finish(call, DIERR_NOTINITIALIZED);
    }
    DirectInput& di = TheDirectInput();
    Device& self = Self();
    HRESULT natural = DI_OK;
    if (self.format == nullptr) {
        natural = DIERR_INVALIDPARAM;
    } else if (di.Behind(self)) {
        natural = DIERR_OTHERAPPHASPRIO;
    } else if (di.Unplugged(self)) {
        natural = DIERR_UNPLUGGED;
    } else if (self.acquired) {
        natural = DI_NOEFFECT;
    }
    const HRESULT result = di.Resolve(Op::Acquire, self.kind, natural);
    if (SUCCEEDED(result)) {
        self.acquired = true;
        self.inputLost = false;
    }
    return Finish(call, result);
}

HRESULT FakeDevice::Unacquire() {
    bool usable = false;
    Call* call = Begin(Op::Unacquire, 0, &usable);
    if (!usable) {
        return Finish(call, DIERR_NOTINITIALIZED);
    }
    Device& self = Self();
    const HRESULT result =
        TheDirectInput().Resolve(Op::Unacquire, self.kind, self.acquired ? DI_OK : DI_NOEFFECT);
    if (SUCCEEDED(result)) {
        self.acquired = false;
    }
    return Finish(call, result);
}

// What a read of the device answers, in DirectInput's order; own is the answer of the read's checks
// of its arguments, DI_OK when they pass.
HRESULT ReadAnswer(Device& self, HRESULT own) {
    if (TheDirectInput().Behind(self)) {
        return DIERR_INPUTLOST;
    }
    if (self.inputLost) {
        self.inputLost = false;
        return DIERR_INPUTLOST;
    }
    if (FAILED(own) || !self.acquired) {
        return FAILED(own) ? own : DIERR_NOTACQUIRED;
    }
    return TheDirectInput().Unplugged(self) ? DIERR_UNPLUGGED : own;
}

HRESULT FakeDevice::Poll() {
    bool usable = false;
    Call* call = Begin(Op::Poll, 0, &usable);
    if (!usable) {
        return Finish(call, DIERR_NOTINITIALIZED);
    }
    Device& self = Self();
    const HRESULT natural = ReadAnswer(self, self.kind == Target::Joystick ? DI_OK : DI_NOEFFECT);
    return Finish(call, TheDirectInput().Resolve(Op::Poll, self.kind, natural));
}

HRESULT FakeDevice::GetDeviceState(DWORD size, LPVOID data) {
    bool usable = false;
    Call* call = Begin(Op::GetDeviceState, size, &usable);
    if (!usable) {
        return Finish(call, DIERR_NOTINITIALIZED);
    }
    DirectInput& di = TheDirectInput();
    Device& self = Self();
    const bool valid = data != nullptr && self.format != nullptr && size == self.format->dwDataSize;
    const HRESULT result = di.Resolve(Op::GetDeviceState, self.kind,
                                      ReadAnswer(self, valid ? DI_OK : DIERR_INVALIDPARAM));
    if (SUCCEEDED(result) && data != nullptr) {
        const void* source = nullptr;
        std::size_t available = 0;
        // Laid out as the device's predefined format lays it out, the only one the program sets.
        if (self.kind == Target::Keyboard) {
            source = di.keyboard;
            available = sizeof di.keyboard;
        } else if (self.kind == Target::Mouse) {
            source = &di.mouse;
            available = sizeof di.mouse;
        } else if (self.kind == Target::Joystick) {
            source = &di.joystick;
            available = sizeof di.joystick;
        }
        if (source != nullptr) {
            std::memcpy(data, source, size < available ? size : available);
        }
    }
    return Finish(call, result);
}

// Buffered data: the answers of a read of the state, and the changes recorded since the last read
// (DI_BUFFEROVERFLOW when some were lost), oldest first, as many as there is room for.
HRESULT FakeDevice::GetDeviceData(DWORD size, LPDIDEVICEOBJECTDATA data, DWORD* count,
                                  DWORD flags) {
    bool usable = false;
    Call* call = Begin(Op::GetDeviceData, count ? *count : 0, &usable);
    if (!usable) {
        return Finish(call, DIERR_NOTINITIALIZED);
    }
    Device& self = Self();
    const bool valid = size == sizeof(DIDEVICEOBJECTDATA) && count != nullptr && flags == 0;
    const HRESULT read = ReadAnswer(self, !valid             ? DIERR_INVALIDPARAM
                                          : !self.bufferSize ? DIERR_NOTBUFFERED
                                          : self.overflow    ? DI_BUFFEROVERFLOW
                                                             : DI_OK);
    // A controller pulled out answers a buffered read as Wine's does: input lost.
    const HRESULT natural = read == DIERR_UNPLUGGED ? DIERR_INPUTLOST : read;
    const HRESULT result = TheDirectInput().Resolve(Op::GetDeviceData, self.kind, natural);
    const DWORD taken = SUCCEEDED(natural) && SUCCEEDED(result) && data != nullptr
                            ? std::min<DWORD>(*count, self.buffered)
                            : 0;
    std::copy_n(self.buffer, taken, data);
    std::copy(self.buffer + taken, self.buffer + self.buffered, self.buffer);
    self.buffered -= taken;
    self.overflow = self.overflow && FAILED(natural);
    if (count != nullptr) {
        *count = taken;
    }
    return Finish(call, result);
}

// DirectInput fills the structure only when dwSize names it.
HRESULT FakeDevice::GetDeviceInfo(LPDIDEVICEINSTANCEA instance) {
    bool usable = false;
    Call* call = Begin(Op::GetDeviceInfo, 0, &usable);
    if (!usable) {
        return Finish(call, DIERR_NOTINITIALIZED);
    }
    DirectInput& di = TheDirectInput();
    const Device& self = Self();
    const bool valid = instance != nullptr && instance->dwSize == sizeof(DIDEVICEINSTANCEA);
    const HRESULT result =
        di.Resolve(Op::GetDeviceInfo, self.kind, valid ? DI_OK : DIERR_INVALIDPARAM);
    if (SUCCEEDED(result) && valid) {
        *instance = {};
        instance->dwSize = sizeof *instance;
        if (self.controller >= 0) {
            Describe(di.controllers[self.controller], static_cast<std::size_t>(self.controller),
                     *instance);
        } else {
            std::snprintf(instance->tszProductName, sizeof instance->tszProductName, "%s",
                          Name(self.kind));
        }
    }
    return Finish(call, result);
}

} // namespace

// --- The scripted machine ---------------------------------------------------------------------

DirectInput& TheDirectInput() {
    static DirectInput directInput;
    return directInput;
}

HINSTANCE Instance() {
    static char module;
    return reinterpret_cast<HINSTANCE>(&module);
}

void DirectInput::Reset() {
    controllerCount = 0;
    objectCount = 0;
    std::memset(keyboard, 0, sizeof keyboard);
    mouse = {};
    joystick = kJoystickAtRest;
    violations = 0;
    foreground_ = true;
    for (auto& row : scripts_) {
        for (Script& script : row) {
            script = Script{};
        }
    }
    objectCount_ = 0;
    for (ObjectRecord& record : objectRecords_) {
        record = ObjectRecord{};
    }
    deviceCount_ = 0;
    for (Device& device : devices_) {
        device = Device{};
    }
    ClearRecord();

    SetControllers({DI_OK});
    SetObjects({
        DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(0),   // X
        DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(1),   // Y
        DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(2),   // Z
        DIDFT_PSHBUTTON | DIDFT_MAKEINSTANCE(0), // buttons 0..3
        DIDFT_PSHBUTTON | DIDFT_MAKEINSTANCE(1),
        DIDFT_PSHBUTTON | DIDFT_MAKEINSTANCE(2),
        DIDFT_PSHBUTTON | DIDFT_MAKEINSTANCE(3),
        DIDFT_POV | DIDFT_MAKEINSTANCE(0),
    });
}

void DirectInput::SetControllers(std::initializer_list<HRESULT> createResults) {
    controllerCount = 0;
    for (HRESULT result : createResults) {
        if (controllerCount == kMaxControllers) {
            Violation("too many controllers for the fake");
            break;
        }
        Controller& controller = controllers[controllerCount];
        controller.guidInstance = {0x6A0C0000u + static_cast<uint32_t>(controllerCount),
                                   0x1234,
                                   0x5678,
                                   {0x80, 0, 0, 0, 0, 0, 0, 0}};
        controller.createResult = result;
        controller.attached = true;
        ++controllerCount;
    }
}

void DirectInput::SetObjects(std::initializer_list<DWORD> types) {
    objectCount = 0;
    for (DWORD type : types) {
        if (objectCount == kMaxJoystickObjects) {
            Violation("too many joystick objects for the fake");
            break;
        }
        objects[objectCount++] = JoystickObject{type, false, 0, 0};
    }
}

const JoystickObject* DirectInput::FindObject(DWORD type) const {
    for (std::size_t i = 0; i < objectCount; ++i) {
        if (objects[i].dwType == type) {
            return &objects[i];
        }
    }
    return nullptr;
}

void DirectInput::Answer(Op op, Target target, HRESULT result, int times) {
    Script& script = scripts_[Index(op)][Index(target)];
    if (script.size == kMaxScripted) {
        Violation("too many scripted answers for the fake");
        return;
    }
    script.queue[(script.head + script.size) % kMaxScripted] = Scripted{result, times};
    ++script.size;
}

void DirectInput::AnswerAlways(Op op, Target target, HRESULT result) {
    Script& script = scripts_[Index(op)][Index(target)];
    script.always = true;
    script.alwaysResult = result;
}

HRESULT DirectInput::Resolve(Op op, Target target, HRESULT natural) {
    Script& script = scripts_[Index(op)][Index(target)];
    while (script.size > 0) {
        Scripted& next = script.queue[script.head];
        if (next.times <= 0) {
            script.head = (script.head + 1) % kMaxScripted;
            --script.size;
            continue;
        }
        --next.times;
        return next.result;
    }
    return script.always ? script.alwaysResult : natural;
}

void DirectInput::Change(Target kind, DWORD offset, BYTE value) {
    (kind == Target::Keyboard ? keyboard : reinterpret_cast<BYTE*>(&joystick))[offset] = value;
    for (std::size_t i = 0; i < deviceCount_; ++i) {
        Device& device = devices_[i];
        if (device.kind != kind || device.refs <= 0 || !device.acquired || device.overflow ||
            device.bufferSize == 0) {
            continue;
        }
        device.overflow = device.buffered == device.bufferSize;
        if (!device.overflow) {
            device.buffer[device.buffered++] = {offset, value, GetTickCount(), 0, 0};
        }
    }
}

void DirectInput::SetForeground(bool inFront) {
    foreground_ = inFront;
    if (inFront) {
        return;
    }
    for (std::size_t i = 0; i < deviceCount_; ++i) {
        Device& device = devices_[i];
        if (device.refs > 0 && (device.cooperativeLevel & DISCL_FOREGROUND)) {
            device.acquired = false;
        }
    }
}

const Device* DirectInput::Find(Target kind) const {
    for (std::size_t i = deviceCount_; i > 0; --i) {
        const Device& device = devices_[i - 1];
        if (device.kind == kind && device.refs > 0) {
            return &device;
        }
    }
    return nullptr;
}

void DirectInput::LoseInput(Target kind) {
    for (std::size_t i = 0; i < deviceCount_; ++i) {
        Device& device = devices_[i];
        if (device.kind == kind && device.refs > 0) {
            device.acquired = false;
            device.inputLost = true;
        }
    }
}

Call* DirectInput::Record(Op op, Target target, int controller, DWORD arg) {
    ++counts_[Index(op)][Index(target)];
    const std::size_t at = callCount++;
    if (at >= kMaxCalls) {
        return nullptr;
    }
    calls[at] = Call{op, target, controller, DI_OK, arg, TheDesktop().debugCount};
    return &calls[at];
}

void DirectInput::ClearRecord() {
    callCount = 0;
    for (auto& row : counts_) {
        for (int& count : row) {
            count = 0;
        }
    }
    TheDesktop().ClearDebug();
}

std::vector<std::string> DirectInput::Trace() const {
    const Desktop& desktop = TheDesktop();
    const std::size_t messages =
        desktop.debugCount < kMaxDebugMessages ? desktop.debugCount : kMaxDebugMessages;
    std::vector<std::string> out;
    std::size_t message = 0;
    const std::size_t recorded = callCount < kMaxCalls ? callCount : kMaxCalls;
    for (std::size_t i = 0; i < recorded; ++i) {
        const Call& call = calls[i];
        for (; message < call.debugCount && message < messages; ++message) {
            out.emplace_back(desktop.debug[message]);
        }
        if (call.op == Op::Create) {
            out.emplace_back("DirectInput8Create");
        } else if (call.op == Op::CreateDevice) {
            char text[48];
            if (call.controller >= 0) {
                std::snprintf(text, sizeof text, "CreateDevice(Controller %d)", call.controller);
            } else {
                std::snprintf(text, sizeof text, "CreateDevice(%s)", Name(call.target));
            }
            out.emplace_back(text);
        } else {
            out.push_back(std::string(Name(call.target)) + "." + Name(call.op));
        }
    }
    for (; message < messages; ++message) {
        out.emplace_back(desktop.debug[message]);
    }
    return out;
}

int DirectInput::Held() const {
    int held = 0;
    for (std::size_t i = 0; i < objectCount_; ++i) {
        held += objectRecords_[i].refs > 0;
    }
    for (std::size_t i = 0; i < deviceCount_; ++i) {
        held += devices_[i].refs > 0;
    }
    return held;
}

int DirectInput::NewObject() {
    if (objectCount_ == kMaxObjects) {
        Violation("more DirectInput objects than the fake holds");
        return -1;
    }
    const std::size_t index = objectCount_++;
    objectRecords_[index] = ObjectRecord{1};
    g_objects[index].index = index;
    return static_cast<int>(index);
}

bool DirectInput::Unplugged(const Device& device) const {
    return device.controller >= 0 && !controllers[device.controller].attached;
}

bool DirectInput::Behind(const Device& device) const {
    return (device.cooperativeLevel & DISCL_FOREGROUND) && !foreground_;
}

int DirectInput::NewDevice(Target kind, int controller) {
    if (deviceCount_ == kMaxDevices) {
        Violation("more devices than the fake holds");
        return -1;
    }
    const std::size_t index = deviceCount_++;
    devices_[index] = Device{kind, controller, 1, false, false, nullptr, nullptr, 0};
    g_devices[index].index = index;
    return static_cast<int>(index);
}

void DirectInput::Violation(const char* what) {
    ++violations;
    ADD_FAILURE() << "DirectInput misuse: " << what;
}

const char* Name(Op op) {
    switch (op) {
    case Op::Create:
        return "DirectInput8Create";
    case Op::EnumDevices:
        return "EnumDevices";
    case Op::CreateDevice:
        return "CreateDevice";
    case Op::SetDataFormat:
        return "SetDataFormat";
    case Op::SetCooperativeLevel:
        return "SetCooperativeLevel";
    case Op::EnumObjects:
        return "EnumObjects";
    case Op::SetProperty:
        return "SetProperty";
    case Op::Acquire:
        return "Acquire";
    case Op::Unacquire:
        return "Unacquire";
    case Op::Poll:
        return "Poll";
    case Op::GetDeviceState:
        return "GetDeviceState";
    case Op::GetDeviceData:
        return "GetDeviceData";
    case Op::GetDeviceInfo:
        return "GetDeviceInfo";
    case Op::Release:
        return "Release";
    }
    return "?";
}

const char* Name(Target target) {
    switch (target) {
    case Target::DirectInput:
        return "DirectInput";
    case Target::Keyboard:
        return "Keyboard";
    case Target::Mouse:
        return "Mouse";
    case Target::Joystick:
        return "Joystick";
    }
    return "?";
}

} // namespace fake

using fake::TheDirectInput;

HRESULT DirectInput8Create(HINSTANCE instance, DWORD version, REFIID iid, LPVOID* out,
                           LPUNKNOWN outer) {
    fake::DirectInput& di = TheDirectInput();
    fake::Call* call = di.Record(fake::Op::Create, fake::Target::DirectInput, -1, version);
    HRESULT natural = DI_OK;
    if (out == nullptr) {
        return fake::Finish(call, DIERR_INVALIDPARAM);
    }
    *out = nullptr;
    if (instance == nullptr || version != DIRECTINPUT_VERSION || outer != nullptr) {
        natural = DIERR_INVALIDPARAM;
    } else if (!fake::SameGuid(iid, IID_IDirectInput8A)) {
        natural = DIERR_NOINTERFACE;
    }
    HRESULT result = di.Resolve(fake::Op::Create, fake::Target::DirectInput, natural);
    if (SUCCEEDED(result)) {
        const int created = di.NewObject();
        if (created < 0) {
            result = DIERR_GENERIC;
        } else {
            *out = static_cast<IDirectInput8A*>(&fake::g_objects[created]);
        }
    }
    return fake::Finish(call, result);
}
