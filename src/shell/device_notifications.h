// The dialog's notifications of game controllers arriving and leaving.
#pragma once

#include "platform/win.h"

// Asks for WM_DEVICECHANGE when a HID device interface arrives or leaves. Failing is no error:
// a top-level window gets DBT_DEVNODES_CHANGED without asking, and the dialog works without
// either.
void RegisterForDeviceChanges(HWND dialog);

void UnregisterForDeviceChanges();

// A device came or went: a hint to look for a controller later, never here.
void OnDeviceChange(HWND dialog, WPARAM event, LPARAM data);
