// The data formats the device layer gives its devices: DirectInput's predefined c_dfDIJoystick,
// c_dfDIKeyboard and c_dfDIMouse, object for object. They are built at start-up into memory that
// takes no room in the program file; linked from the import library, their 307 objects and the
// relocations of their GUID pointers cost the 32-bit program some 5 KiB.
#pragma once

#include "platform/win.h"

enum DataFormatId {
    FORMAT_JOYSTICK,
    FORMAT_KEYBOARD,
    FORMAT_MOUSE,
    FORMAT_COUNT,
};

// Builds the three formats; the device layer calls it before it sets up any device.
void BuildDataFormats();

// A format that BuildDataFormats built, for SetDataFormat.
LPCDIDATAFORMAT DataFormat(DataFormatId id);
