#include "input/data_formats.h"

#include <cstddef>

// The layouts are those of DirectInput's documentation of the predefined formats and of
// MinGW-w64's libdinput8, which defines them (dinput_joy.c, dinput_kbd.c, dinput_mouse.c):
// every object of DIJOYSTATE, DIMOUSESTATE and the 256-byte keyboard state, in order, with its
// type GUID, offset, type and flags. keyconfig_format_check (tests/input/data_format_check.cpp)
// compares the built formats with MinGW's, field by field.

namespace {

// Object type GUIDs, as dinput.h defines GUID_XAxis and the others. The program's own copies in
// one array: an object points into it without a relocation per GUID.
enum ObjectGuid : BYTE {
    X_AXIS,
    Y_AXIS,
    Z_AXIS,
    RX_AXIS,
    RY_AXIS,
    RZ_AXIS,
    SLIDER,
    POV,
    KEY,
    NO_GUID
};

const GUID kObjectGuids[] = {
    /* X_AXIS */ {0xA36D02E0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    /* Y_AXIS */ {0xA36D02E1, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    /* Z_AXIS */ {0xA36D02E2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    /* RX_AXIS */ {0xA36D02F4, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    /* RY_AXIS */ {0xA36D02F5, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    /* RZ_AXIS */ {0xA36D02E3, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    /* SLIDER */ {0xA36D02E4, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    /* POV */ {0xA36D02F2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    /* KEY */ {0x55728220, 0xD33C, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
};
static_assert(sizeof kObjectGuids / sizeof kObjectGuids[0] == NO_GUID, "one GUID per name");

// Objects of one kind that lie one after the other in the device state: buttons and keys one
// byte each, axes and POVs four. The type's instance is DIDFT_ANYINSTANCE, or kNumbered for
// objects numbered 0, 1, 2... in the run's order.
struct ObjectRun {
    WORD count;
    BYTE offset; // of the first object in the state
    ObjectGuid guid;
    DWORD type;
};

constexpr DWORD kNumbered = DIDFT_MAKEINSTANCE(0);
constexpr DWORD kOptional = DIDFT_OPTIONAL;
constexpr DWORD kAxis = DIDFT_AXIS | DIDFT_ANYINSTANCE;
constexpr DWORD kButton = DIDFT_BUTTON | DIDFT_ANYINSTANCE;
constexpr DWORD kPov = DIDFT_POV | DIDFT_ANYINSTANCE;
constexpr DWORD kKeyboardStateBytes = 256;

// c_dfDIJoystick: six axes and two sliders, four POVs, 32 buttons, all optional. Its axes are the
// only objects of the three formats with flags: DIDOI_ASPECTPOSITION.
constexpr ObjectRun kJoystickRuns[] = {
    {1, offsetof(DIJOYSTATE, lX), X_AXIS, kOptional | kAxis},
    {1, offsetof(DIJOYSTATE, lY), Y_AXIS, kOptional | kAxis},
    {1, offsetof(DIJOYSTATE, lZ), Z_AXIS, kOptional | kAxis},
    {1, offsetof(DIJOYSTATE, lRx), RX_AXIS, kOptional | kAxis},
    {1, offsetof(DIJOYSTATE, lRy), RY_AXIS, kOptional | kAxis},
    {1, offsetof(DIJOYSTATE, lRz), RZ_AXIS, kOptional | kAxis},
    {2, offsetof(DIJOYSTATE, rglSlider), SLIDER, kOptional | kAxis},
    {4, offsetof(DIJOYSTATE, rgdwPOV), POV, kOptional | kPov},
    {32, offsetof(DIJOYSTATE, rgbButtons), NO_GUID, kOptional | kButton},
};

// c_dfDIKeyboard: one optional button per key code, the key code its offset and instance.
constexpr ObjectRun kKeyboardRuns[] = {
    {kKeyboardStateBytes, 0, KEY, kOptional | DIDFT_BUTTON | kNumbered},
};

// c_dfDIMouse: X and Y, an optional wheel, two buttons and two optional ones.
constexpr ObjectRun kMouseRuns[] = {
    {1, offsetof(DIMOUSESTATE, lX), X_AXIS, kAxis},
    {1, offsetof(DIMOUSESTATE, lY), Y_AXIS, kAxis},
    {1, offsetof(DIMOUSESTATE, lZ), Z_AXIS, kOptional | kAxis},
    {2, offsetof(DIMOUSESTATE, rgbButtons), NO_GUID, kButton},
    {2, offsetof(DIMOUSESTATE, rgbButtons) + 2, NO_GUID, kOptional | kButton},
};

struct FormatRecipe {
    DWORD flags;    // DIDF_
    DWORD dataSize; // bytes of the device state
    const ObjectRun* runs;
    DWORD runCount;
};

template <std::size_t N>
constexpr FormatRecipe Recipe(DWORD flags, DWORD dataSize, const ObjectRun (&runs)[N]) {
    return {flags, dataSize, runs, N};
}

constexpr FormatRecipe kRecipes[FORMAT_COUNT] = {
    /* FORMAT_JOYSTICK */ Recipe(DIDF_ABSAXIS, sizeof(DIJOYSTATE), kJoystickRuns),
    /* FORMAT_KEYBOARD */ Recipe(DIDF_RELAXIS, kKeyboardStateBytes, kKeyboardRuns),
    /* FORMAT_MOUSE */ Recipe(DIDF_RELAXIS, sizeof(DIMOUSESTATE), kMouseRuns),
};

constexpr DWORD CountObjects(const FormatRecipe& recipe) {
    DWORD count = 0;
    for (DWORD run = 0; run < recipe.runCount; ++run) {
        count += recipe.runs[run].count;
    }
    return count;
}
static_assert(CountObjects(kRecipes[FORMAT_JOYSTICK]) == 44, "c_dfDIJoystick has 44 objects");
static_assert(CountObjects(kRecipes[FORMAT_KEYBOARD]) == 256, "c_dfDIKeyboard has 256 objects");
static_assert(CountObjects(kRecipes[FORMAT_MOUSE]) == 7, "c_dfDIMouse has 7 objects");

constexpr DWORD kObjectCount = CountObjects(kRecipes[FORMAT_JOYSTICK]) +
                               CountObjects(kRecipes[FORMAT_KEYBOARD]) +
                               CountObjects(kRecipes[FORMAT_MOUSE]);

DIDATAFORMAT g_formats[FORMAT_COUNT];
DIOBJECTDATAFORMAT g_objects[kObjectCount];

DWORD ObjectBytes(DWORD type) {
    return (type & DIDFT_BUTTON) ? sizeof(BYTE) : sizeof(DWORD);
}

} // namespace

void BuildDataFormats() {
    DIOBJECTDATAFORMAT* object = g_objects;
    for (int id = 0; id < FORMAT_COUNT; ++id) {
        const FormatRecipe& recipe = kRecipes[id];
        DIDATAFORMAT& format = g_formats[id];
        format.dwSize = sizeof(DIDATAFORMAT);
        format.dwObjSize = sizeof(DIOBJECTDATAFORMAT);
        format.dwFlags = recipe.flags;
        format.dwDataSize = recipe.dataSize;
        format.rgodf = object;
        for (DWORD r = 0; r < recipe.runCount; ++r) {
            const ObjectRun& run = recipe.runs[r];
            const bool numbered = (run.type & DIDFT_ANYINSTANCE) != DIDFT_ANYINSTANCE;
            for (DWORD i = 0; i < run.count; ++i, ++object) {
                object->pguid = run.guid == NO_GUID ? nullptr : &kObjectGuids[run.guid];
                object->dwOfs = run.offset + i * ObjectBytes(run.type);
                object->dwType = numbered ? run.type | DIDFT_MAKEINSTANCE(i) : run.type;
                object->dwFlags = id == FORMAT_JOYSTICK && (run.type & DIDFT_AXIS) != 0
                                      ? DIDOI_ASPECTPOSITION
                                      : 0;
            }
        }
        format.dwNumObjs = static_cast<DWORD>(object - format.rgodf);
    }
}

LPCDIDATAFORMAT DataFormat(DataFormatId id) {
    return &g_formats[id];
}
