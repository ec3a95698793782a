// A scripted DirectInput 8 for the Linux tests: DirectInput8Create, the GUIDs, a DirectInput
// object and devices that answer as the real ones do, and a record of every call.
//
//   fake::DirectInput& di = fake::TheDirectInput();
//   ReleaseInput();                  // first let the layer drop what an earlier test left it
//   di.Reset();                      // keyboard, mouse, one game controller; everything succeeds
//   InitInput(fake::Instance(), fake::TheDesktop().Dialog());
//   di.keyboard[DIK_A] = 0x80;       // what the following reads return
//   di.joystick.lX = -1000;
//   di.joystick.rgbButtons[0] = 0x80;
//   di.Change(fake::Target::Keyboard, DIK_S, 0x80);  // S goes down: the state and the buffer
//   di.Answer(fake::Op::GetDeviceState, fake::Target::Keyboard, DIERR_INPUTLOST);  // next call
//   di.AnswerAlways(fake::Op::Acquire, fake::Target::Joystick, DIERR_INPUTLOST);
//   di.SetForeground(false);         // another window comes in front of the dialog
//   di.Count(fake::Op::Acquire, fake::Target::Keyboard);
//   di.Trace();                      // every call and debugger message in order, as text
//   di.Held();                       // objects and devices not released yet
//
// Without a scripted answer every operation answers as DirectInput does: a foreground device
// loses acquisition when the window loses the foreground; while the window is behind, Acquire
// answers DIERR_OTHERAPPHASPRIO and Poll and GetDeviceState DIERR_INPUTLOST before anything else
// (an unplugged controller's too), and once it is in front again reads answer DIERR_NOTACQUIRED
// until Acquire succeeds; Poll and GetDeviceState need an acquired device,
// GetDeviceState the byte count of the device's data format; SetProperty needs DIPROP_RANGE with a
// well-formed DIPROPRANGE naming one of the joystick's objects, or DIPROP_BUFFERSIZE for the device
// while it is not acquired; GetDeviceData needs a buffer and answers its reads as the state's (an
// unplugged controller's DIERR_INPUTLOST, as Wine's), with DI_BUFFEROVERFLOW once after the buffer
// filled; GetDeviceInfo needs dwSize set and names controller N "Controller N".
//
// Reference counting is checked on every call: a second Release, or any call on a released
// object or device, is a test failure. Reads, Poll, Acquire, Unacquire and the call record
// allocate nothing, so a test can count heap allocations over many ticks.
#pragma once

#include "platform/win.h"

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace fake {

// The platform operations; Release is the object's or a device's.
enum class Op {
    Create, // DirectInput8Create
    EnumDevices,
    CreateDevice,
    SetDataFormat,
    SetCooperativeLevel,
    EnumObjects,
    SetProperty,
    Acquire,
    Unacquire,
    Poll,
    GetDeviceState,
    GetDeviceData,
    GetDeviceInfo,
    Release,
};

// What a call went to: the DirectInput object or a device of one kind. CreateDevice calls go to
// the kind of device asked for (DirectInput when the GUID names no device).
enum class Target { DirectInput, Keyboard, Mouse, Joystick };

constexpr std::size_t kMaxCalls = 512;
constexpr std::size_t kMaxControllers = 8;
constexpr std::size_t kMaxJoystickObjects = 48;
constexpr std::size_t kMaxObjects = 8;
constexpr std::size_t kMaxDevices = 16;
constexpr std::size_t kMaxScripted = 8;
constexpr std::size_t kMaxBuffered = 1024; // DirectInput under Wine holds no more

struct Call {
    Op op;
    Target target;
    int controller; // the game controller (index) for joystick calls, -1 for the others
    HRESULT result; // what the fake answered
    // The number passed that matters: Create: version; EnumDevices: device class;
    // SetDataFormat: the format's data size; SetCooperativeLevel and EnumObjects: flags;
    // SetProperty: dwObj; GetDeviceState: byte count; GetDeviceData: room given; 0 otherwise.
    DWORD arg;
    std::size_t debugCount; // debugger messages written before this call
};

// An attached game controller, in enumeration order.
struct Controller {
    GUID guidInstance;
    HRESULT createResult; // CreateDevice's answer for it
    bool attached;        // installed but unplugged when false
};

// A game controller at rest: stick centred, no button down, every hat centred.
constexpr DIJOYSTATE kJoystickAtRest = {
    0, 0, 0, 0, 0, 0, {0, 0}, {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}, {}};

// An object of the joystick (axis, button, hat) as EnumObjects reports it, and the range the
// program gave it.
struct JoystickObject {
    DWORD dwType;
    bool rangeSet;
    LONG lMin;
    LONG lMax;
};

// A device the fake created.
struct Device {
    Target kind;
    int controller; // -1 for keyboard and mouse
    int refs;       // 1 while the program holds it
    bool acquired;
    bool inputLost; // the next read or Poll answers DIERR_INPUTLOST
    const DIDATAFORMAT* format;
    HWND window;
    DWORD cooperativeLevel;
    DWORD bufferSize = 0;  // DIPROP_BUFFERSIZE, 0 for none
    DWORD buffered = 0;    // changes recorded and not read yet
    bool overflow = false; // changes were lost since the last read
    DIDEVICEOBJECTDATA buffer[kMaxBuffered] = {};
};

class DirectInput {
  public:
    // Back to a machine with a keyboard, a mouse and one game controller with X, Y and Z axes,
    // four buttons and a hat; the window in front; no scripted answers; nothing recorded.
    void Reset();

    // Installed game controllers. A test plugs one in or pulls it out while the program runs by
    // setting `attached`, or gives the machine a new list with SetControllers. A joystick whose
    // controller is pulled out answers DIERR_UNPLUGGED to Acquire and, while acquired, to Poll
    // and GetDeviceState (unless the window is behind, see above).
    std::size_t controllerCount = 0;
    Controller controllers[kMaxControllers] = {};
    void SetControllers(std::initializer_list<HRESULT> createResults);

    // The joystick's objects in EnumObjects order (every controller has the same).
    std::size_t objectCount = 0;
    JoystickObject objects[kMaxJoystickObjects] = {};
    void SetObjects(std::initializer_list<DWORD> types);
    const JoystickObject* FindObject(DWORD type) const;

    // What reads of an acquired device return.
    BYTE keyboard[256] = {};
    DIMOUSESTATE mouse = {};
    DIJOYSTATE joystick = kJoystickAtRest;
    // A key (offset: its key code) or a joystick button (DIJOFS_BUTTON(n)) goes down (0x80) or up
    // (0): its byte of the state changes, and every device of that kind that is acquired with a
    // buffer records the change, or overflows when the buffer is full and loses it.
    void Change(Target kind, DWORD offset, BYTE value);

    // The next `times` calls of op on target answer result; queued answers are used in order,
    // ahead of everything else.
    void Answer(Op op, Target target, HRESULT result, int times = 1);
    // From now on, after the queued answers, op on target answers result.
    void AnswerAlways(Op op, Target target, HRESULT result);

    // Whether the dialog window is in front. Going behind takes every foreground device's
    // acquisition away.
    void SetForeground(bool inFront);
    bool Foreground() const { return foreground_; }

    // The device of that kind the program holds (the latest created), or null.
    const Device* Find(Target kind) const;
    // The device's input is lost: its next read answers DIERR_INPUTLOST, later ones
    // DIERR_NOTACQUIRED until Acquire succeeds (as Windows does when the window loses the
    // foreground).
    void LoseInput(Target kind);

    // The record. Past kMaxCalls calls are only counted.
    std::size_t callCount = 0;
    Call calls[kMaxCalls] = {};
    int Count(Op op, Target target) const { return counts_[Index(op)][Index(target)]; }
    // Calls as "Keyboard.Acquire", "DirectInput8Create", "CreateDevice(Controller 1)", with the
    // debugger messages in between, verbatim.
    std::vector<std::string> Trace() const;
    // Forgets the calls so far (and the debugger output, which the trace interleaves).
    void ClearRecord();

    // Objects and devices created and not released.
    int Held() const;
    int ObjectsCreated() const { return static_cast<int>(objectCount_); }
    int DevicesCreated() const { return static_cast<int>(deviceCount_); }

    // Misuse seen: double release, use after release, too many objects. Each is also reported
    // to the running test as a failure.
    int violations = 0;

    // For the fake objects.
    struct ObjectRecord {
        int refs;
    };
    ObjectRecord& ObjectAt(std::size_t index) { return objectRecords_[index]; }
    Device& DeviceAt(std::size_t index) { return devices_[index]; }
    int NewObject();                            // index, or -1 when the pool is used up
    int NewDevice(Target kind, int controller); // index, or -1 when the pool is used up
    HRESULT Resolve(Op op, Target target, HRESULT natural);
    bool Unplugged(const Device& device) const;
    bool Behind(const Device& device) const; // a foreground device while the window is behind
    // Records a call as it starts (so that calls made from its callbacks follow it); the caller
    // fills in the result. Null past kMaxCalls.
    Call* Record(Op op, Target target, int controller, DWORD arg);
    void Violation(const char* what);

  private:
    struct Scripted {
        HRESULT result;
        int times;
    };
    struct Script {
        Scripted queue[kMaxScripted];
        std::size_t head;
        std::size_t size;
        bool always;
        HRESULT alwaysResult;
    };
    static std::size_t Index(Op op) { return static_cast<std::size_t>(op); }
    static std::size_t Index(Target target) { return static_cast<std::size_t>(target); }
    static constexpr std::size_t kOps = static_cast<std::size_t>(Op::Release) + 1;
    static constexpr std::size_t kTargets = static_cast<std::size_t>(Target::Joystick) + 1;

    bool foreground_ = true;
    Script scripts_[kOps][kTargets] = {};
    int counts_[kOps][kTargets] = {};
    std::size_t objectCount_ = 0;
    ObjectRecord objectRecords_[kMaxObjects] = {};
    std::size_t deviceCount_ = 0;
    Device devices_[kMaxDevices] = {};
};

DirectInput& TheDirectInput();

// An instance handle for DirectInput8Create, which refuses a null one.
HINSTANCE Instance();

// Names for messages and traces.
const char* Name(Op op);
const char* Name(Target target);

} // namespace fake
